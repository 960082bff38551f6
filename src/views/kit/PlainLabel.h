#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace tw {

// A label that shows its text as it is. QLabel would guess rich text from
// anything that looks like a tag, and the texts of these screens carry
// names typed on other Macs, folder names and Syncthing's messages.
QLabel *plainLabel(const QString &text = {}, QWidget *parent = nullptr);
QLabel *plainLabel(QWidget *parent);

} // namespace tw
