#pragma once

#include <QUrl>

namespace tw {

// Hands the address to the desktop (the default browser for web pages).
// A loopback-only run opens no web page beyond loopback. Answers whether the
// desktop took it.
bool openExternal(const QUrl &url);

} // namespace tw
