#pragma once

#include <QString>
#include <Qt>

class QLabel;
class QWidget;

namespace tw {

// The roles the sheets' labels take: the shared text styles, plus the
// terminal lines' fixed-pitch face, and how strongly a text stands out.
enum class TextRole { Body, Title2, Title3, Headline, Callout, Caption, Caption2, Monospaced11, MonospacedCaption };
enum class TextTone { Primary, Secondary, Tertiary };

void applyTextRole(QWidget *widget, TextRole role);
void applyTextTone(QWidget *widget, TextTone tone);

// A wrapping label in that role and tone, of plain text: most texts carry
// something from elsewhere.
QLabel *styledLabel(const QString &text, TextRole role, TextTone tone = TextTone::Primary);
// The same for one of the product's own texts, bold and italic marked as in
// Markdown and drawn so.
QLabel *markdownLabel(const QString &markdown, TextRole role, TextTone tone = TextTone::Primary);

} // namespace tw
