#include "views/window/ErrorBanner.h"

#include "design/CardFrame.h"
#include "design/ContrastRatio.h"
#include "design/MoveFadeTransition.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "design/WrappingLabel.h"
#include "views/kit/PlainLabel.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tw {

namespace {

CardStyle bannerStyle()
{
    // The red dark enough for its white text to read at 4.5 : 1.
    const QColor fill = readableShade(Theme::danger(), Qt::white, textContrast);
    return {.radius = 8, .padding = CardStyle::even(10), .strokeWidth = 0, .fill = fill, .stroke = {}};
}

QLabel *warningSymbol(const QFont &font)
{
    const int side = QFontMetrics(font).height();
    auto *label = plainLabel();
    label->setPixmap(tintedSymbol(Symbol::ExclamationTriangle, side, Qt::white, label->devicePixelRatioF()));
    label->setAlignment(Qt::AlignTop);
    return label;
}

} // namespace

ErrorBanner::ErrorBanner(QWidget *parent)
    : QWidget(parent)
    , m_text(new WrappingLabel)
{
    setObjectName(QStringLiteral("errorBanner"));
    const QFont font = styledFont(TextStyle::Caption);
    m_text->setObjectName(QStringLiteral("errorText"));
    m_text->setFont(font);
    // Top to top with the symbol, also when the text wraps.
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette white = m_text->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    m_text->setPalette(white);

    auto *content = new QWidget;
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(warningSymbol(font));
    row->addWidget(m_text, 1);
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->addWidget(new CardFrame(content, bannerStyle()));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    hide();
}

void ErrorBanner::setMessage(const std::optional<QString> &message)
{
    setMessages({message});
}

// One line a message: a break inside one (a name it quotes) is no new line.
void ErrorBanner::setMessages(const QList<std::optional<QString>> &messages)
{
    QStringList said;
    for (const std::optional<QString> &message : messages) {
        if (message && !message->isEmpty())
            said.append(*message);
    }
    m_text->setLines(said);
    setVisibleWithTransition(*this, !said.isEmpty());
}

QString ErrorBanner::message() const
{
    return m_text->text();
}

} // namespace tw
