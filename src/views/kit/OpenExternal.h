#pragma once

#include <QUrl>

namespace tw {

// Opens a web page, mail draft or file in the desktop's handler for it
// (QDesktopServices::openUrl, which tests capture with setUrlHandler).
// A loopback-only run opens no http(s) address whose host is not on
// loopback. Answers whether the address was handed on and accepted.
bool openExternal(const QUrl &url);

} // namespace tw
