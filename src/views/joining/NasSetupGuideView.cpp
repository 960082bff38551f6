#include "views/joining/NasSetupGuideView.h"

#include "design/CardFrame.h"
#include "design/CodeBlockText.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "utilities/TrimSpacesAndTabs.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/OpenExternal.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/StyledLabel.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tw {
namespace {

using Field = NodeSetupCommand::Field;

const QString kTitle = u"Set up an always-on backup"_qs;
const QString kIntro =
    u"One person on the team does this once \u2014 everyone else benefits automatically. It's for a NAS or server "
    u"that's always on, so a full copy with version history stays available even when every Mac is off."_qs;
const QString kStep1Text =
    u"On the Synology open **Package Center**, search **Container Manager**, click **Install**, wait until it's "
    u"*Running*. (That's Synology's Docker. Accept the default bridge network.)"_qs;
const QString kStep2Text = u"Open **Control Panel \u2192 Terminal & SNMP \u2192 Terminal**, tick **Enable SSH "
                           u"service**, note the **Port** number, click **Apply**."_qs;
const QString kStep3Intro = u"We'll build the exact command for you \u2014 no need to edit anything yourself."_qs;
const QString kPasteNote = u"Paste this into a terminal on your Mac and press Enter. It connects to your NAS and "
                           u"installs everything automatically \u2014 that takes about 2\u20133 minutes."_qs;
const QString kPreviewTitle = u"What you'll see in the terminal while this runs"_qs;
const QString kHint = u"Fill in at least the address and username above to get your command."_qs;
const QString kUnavailable = u"Automatic setup isn't available in this build \u2014 use \u201cConnect manually "
                             u"(advanced)\u201d in Settings \u2192 Team."_qs;
const QString kStep4Text = u"When you see \u2705 in the terminal, TidewellMesh opens by itself and shows what it "
                           u"found \u2014 just click **Connect**. No need to visit the NAS's own web page."_qs;
const QString kWarning = u"Keep the backup's web page (port 8384) on your LAN only \u2014 set a password, never "
                         u"forward it to the internet."_qs;
const QString kPasswordNote =
    u"If your NAS account needs it, the terminal may show a **Password:** prompt once \u2014 type your NAS password "
    u"and press Enter (nothing shows as you type, that's normal)."_qs;
const QString kInstallingPrefix = u"\u25b6 Installing Tidewell Sync Node into: "_qs;
const QString kShareElided = u"/volume1/\u2026"_qs;

QString fieldError(Field field)
{
    switch (field) {
    case Field::Address:
        return u"NAS address: an IP address like 192.168.1.50 or a host name."_qs;
    case Field::Port:
        return u"Port: a number from 1 to 65535."_qs;
    case Field::User:
        return u"Username: no spaces, apostrophes or control characters, and not starting with \u201c-\u201d."_qs;
    case Field::Share:
        return u"Shared folder: a path starting with \u201c/\u201d, with no quotes, backticks, dollar signs, "
               u"backslashes or control characters and no \u201c..\u201d step."_qs;
    }
    return {};
}

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel *symbolLabel(Symbol symbol, int side, const QColor &color)
{
    auto *label = plainLabel();
    showSymbol(*label, symbol, side, color);
    label->setFixedSize(side, side);
    return label;
}

// The check mark the terminal prints ("\u2705"), drawn by the guide: a green
// rounded square with a white tick, so it shows without a colour emoji font.
QString checkMarkImage(int side, qreal ratio)
{
    QImage image(QSize(side, side) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::synced());
    const QRectF box(0.5, 0.5, side - 1, side - 1);
    painter.drawRoundedRect(box, side * 0.22, side * 0.22);
    QPen tick(Qt::white, std::max(1.5, side * 0.13), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tick);
    painter.setBrush(Qt::NoBrush);
    const QPolygonF path{{side * 0.27, side * 0.52}, {side * 0.43, side * 0.68}, {side * 0.74, side * 0.34}};
    painter.drawPolyline(path);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("<img src=\"data:image/png;base64,%1\" width=\"%2\" height=\"%2\">")
        .arg(QString::fromLatin1(png.toBase64()))
        .arg(side);
}

// Shows the label's "\u2705" as the drawn mark; the text as written stays
// its accessible name.
QLabel *withCheckMarks(QLabel *label)
{
    const QString written = label->text();
    QString html = written.toHtmlEscaped();
    // The guide's texts mark nothing but strong words.
    if (label->textFormat() == Qt::MarkdownText) {
        static const QRegularExpression strong(QStringLiteral("\\*\\*([^*]+)\\*\\*"));
        html.replace(strong, QStringLiteral("<b>\\1</b>"));
    } else {
        html = QStringLiteral("<span style=\"white-space:pre\">") + html + QStringLiteral("</span>");
    }
    const int side = QFontMetrics(label->font()).ascent();
    html.replace(QStringLiteral("\u2705"), checkMarkImage(side, label->devicePixelRatioF()));
    label->setTextFormat(Qt::RichText);
    label->setText(html);
    label->setAccessibleName(written);
    return label;
}

QLabel *terminalLine(const QString &text)
{
    QLabel *label = styledLabel(text, TextRole::Monospaced11);
    label->setWordWrap(false);
    // A long typed share path is cut at the page's edge, not widening it.
    label->setMinimumWidth(1);
    return label;
}

QLabel *terminalComment(const QString &text)
{
    return styledLabel(text, TextRole::Caption2, TextTone::Tertiary);
}

QLineEdit *textField(const QString &objectName, const QString &placeholder, const QString &text)
{
    auto *field = new QLineEdit(text);
    field->setObjectName(objectName);
    field->setPlaceholderText(placeholder);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    field->setFont(font);
    return field;
}

} // namespace

NasSetupGuideView::NasSetupGuideView(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(kTitle);
    // Lowered on screens shorter than the guide; the body scrolls.
    const int available = screen() ? screen()->availableGeometry().height() : height;
    setFixedSize(width, std::min(height, available));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(header());
    layout->addWidget(divider());
    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("guideScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(body());
    layout->addWidget(scroll, 1);
    refresh();
}

bool NasSetupGuideView::formFilledIn() const
{
    return !trimSpacesAndTabs(m_address->text()).isEmpty() && !trimSpacesAndTabs(m_user->text()).isEmpty();
}

std::optional<QString> NasSetupGuideView::generatedCommand() const
{
    const std::optional<QUrl> installer = NodeSetupCommand::installerURL();
    if (!installer || !formFilledIn())
        return std::nullopt;
    const std::optional<NodeSetupCommand::Fields> values = NodeSetupCommand::validate(typed()).values;
    if (!values)
        return std::nullopt;
    return NodeSetupCommand::build(*values, *installer);
}

QWidget *NasSetupGuideView::header()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel *title = styledLabel(kTitle, TextRole::Title3);
    title->setFont(styledFont(TextStyle::Title3, QFont::Bold));
    title->setWordWrap(false);
    auto *mark = new QLabel;
    showSymbol(*mark, Symbol::ExternaldriveBadgeCheckmark, 20, windowTextAt(1));
    layout->addWidget(mark);
    layout->addWidget(title);
    layout->addStretch();
    auto *done = new QPushButton(tr("Done"));
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    bindReturnKey(*this, *done);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(done);
    return row;
}

QWidget *NasSetupGuideView::body()
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setSpacing(16);
    layout->addWidget(styledLabel(kIntro, TextRole::Callout, TextTone::Secondary));
    layout->addWidget(step(1, u"Install Container Manager"_qs, kStep1Text));
    layout->addWidget(step(2, u"Turn on SSH"_qs, kStep2Text));
    layout->addWidget(stepView(3, u"Fill in your NAS's details"_qs, detailsStep()));
    layout->addWidget(stepView(
        4, u"That's it"_qs,
        withCheckMarks(markdownLabel(kStep4Text, TextRole::Callout, TextTone::Secondary))));
    layout->addWidget(divider());
    layout->addWidget(footer());
    layout->addStretch();
    return column;
}

QWidget *NasSetupGuideView::step(int number, const QString &title, const QString &markdown)
{
    return stepView(number, title, markdownLabel(markdown, TextRole::Callout, TextTone::Secondary));
}

QWidget *NasSetupGuideView::stepView(int number, const QString &title, QWidget *content)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto *badge = plainLabel(QString::number(number));
    badge->setFixedSize(24, 24);
    badge->setAlignment(Qt::AlignCenter);
    badge->setStyleSheet(QStringLiteral("background: %1; color: white; border-radius: 12px; font-weight: bold; "
                                        "font-size: 13pt;")
                             .arg(readableShade(Theme::accent(), Qt::white, textContrast).name()));
    layout->addWidget(badge, 0, Qt::AlignTop);
    auto *column = new QVBoxLayout;
    column->setSpacing(6);
    QLabel *heading = styledLabel(title, TextRole::Headline);
    column->addWidget(heading);
    column->addWidget(content);
    layout->addLayout(column, 1);
    return row;
}

QWidget *NasSetupGuideView::detailsStep()
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(styledLabel(kStep3Intro, TextRole::Callout, TextTone::Secondary));
    layout->addWidget(form());
    for (const Field field : {Field::Address, Field::Port, Field::User, Field::Share}) {
        QLabel *error = styledLabel(fieldError(field), TextRole::Caption);
        error->setObjectName(QStringLiteral("fieldError"));
        tintText(*error, Theme::danger());
        m_fieldErrors.insert(field, error);
        layout->addWidget(error);
    }
    layout->addWidget(codeBlock());
    m_pasteNote = styledLabel(kPasteNote, TextRole::Callout, TextTone::Secondary);
    layout->addWidget(m_pasteNote);
    m_previewToggle = new QToolButton;
    m_previewToggle->setObjectName(QStringLiteral("previewToggle"));
    m_previewToggle->setText(kPreviewTitle);
    m_previewToggle->setCheckable(true);
    m_previewToggle->setAutoRaise(true);
    m_previewToggle->setArrowType(Qt::RightArrow);
    m_previewToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    applyTextRole(m_previewToggle, TextRole::Caption);
    connect(m_previewToggle, &QToolButton::toggled, this, [this](bool open) {
        m_previewToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        refresh();
    });
    layout->addWidget(m_previewToggle);
    layout->addWidget(terminalPreview());
    m_hint = styledLabel(kHint, TextRole::Caption, TextTone::Tertiary);
    m_hint->setObjectName(QStringLiteral("formHint"));
    layout->addWidget(m_hint);
    m_unavailable = styledLabel(kUnavailable, TextRole::Caption, TextTone::Secondary);
    m_unavailable->setObjectName(QStringLiteral("unavailable"));
    layout->addWidget(m_unavailable);
    return content;
}

QWidget *NasSetupGuideView::form()
{
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    m_address = textField(QStringLiteral("nasAddress"), u"192.168.1.50"_qs, {});
    m_port = textField(QStringLiteral("sshPort"), NodeSetupCommand::defaultPort, NodeSetupCommand::defaultPort);
    m_port->setFixedWidth(80);
    m_user = textField(QStringLiteral("nasUser"), u"your Synology login"_qs, {});
    m_share = textField(QStringLiteral("sharePath"), NodeSetupCommand::defaultShare, NodeSetupCommand::defaultShare);
    const QList<QPair<QString, QLineEdit *>> rows = {
        {u"NAS address"_qs, m_address}, {u"Port"_qs, m_port}, {u"Username"_qs, m_user}, {u"Shared folder"_qs, m_share}};
    for (int row = 0; row < rows.size(); ++row) {
        QLabel *label = styledLabel(rows[row].first, TextRole::Caption, TextTone::Secondary);
        label->setWordWrap(false);
        layout->addWidget(label, row, 0);
        layout->addWidget(rows[row].second, row, 1, row == 1 ? Qt::AlignLeft : Qt::Alignment());
        connect(rows[row].second, &QLineEdit::textChanged, this, &NasSetupGuideView::refresh);
    }
    layout->setColumnStretch(1, 1);
    return grid;
}

QWidget *NasSetupGuideView::codeBlock()
{
    auto *body = new QWidget;
    auto *layout = new QHBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    // The command wraps to the block, beside the copy button: its long
    // words (the installer's address, the log's path) anywhere.
    m_commandText = new CodeBlockText;
    m_commandText->setObjectName(QStringLiteral("commandText"));
    applyTextRole(m_commandText, TextRole::Monospaced11);
    layout->addWidget(m_commandText, 1);
    m_copyButton = new QToolButton;
    m_copyButton->setObjectName(QStringLiteral("copyCommand"));
    m_copyButton->setAutoRaise(true);
    connect(m_copyButton, &QToolButton::clicked, this, &NasSetupGuideView::copyCommand);
    layout->addWidget(m_copyButton, 0, Qt::AlignTop);
    showCopied();
    m_codeBlock = new CardFrame(body, {.radius = 8, .padding = CardStyle::even(9), .strokeWidth = 0,
                                       .fill = FrameColour::ofPalette(QPalette::WindowText, 0.06)});
    m_codeBlock->setObjectName(QStringLiteral("codeBlock"));
    return m_codeBlock;
}

QWidget *NasSetupGuideView::terminalPreview()
{
    m_preview = new QWidget;
    m_preview->setObjectName(QStringLiteral("terminalPreview"));
    auto *layout = new QVBoxLayout(m_preview);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(
        styledLabel(u"A few status lines appear \u2014 that's all normal, nothing to do:"_qs, TextRole::Caption,
                    TextTone::Secondary));
    m_installingLine = terminalLine({});
    m_installingLine->setObjectName(QStringLiteral("installingLine"));
    layout->addWidget(m_installingLine);
    layout->addWidget(terminalComment(u"\u2014 it's setting things up on the NAS."_qs));
    layout->addWidget(markdownLabel(kPasswordNote, TextRole::Caption, TextTone::Secondary));
    layout->addWidget(terminalLine(u"\u25b6 Starting container \u2026"_qs));
    layout->addWidget(terminalComment(u"\u2014 downloads and starts the sync engine on the NAS. Can take a minute "
                                      u"or two, especially the first time."_qs));
    layout->addWidget(terminalLine(u"\u25b6 Waiting for Syncthing to initialise \u2026"_qs));
    layout->addWidget(terminalLine(u"\u25b6 Waiting for the API \u2026"_qs));
    layout->addWidget(terminalLine(u"\u25b6 Applying conventions \u2026"_qs));
    layout->addWidget(withCheckMarks(terminalLine(u"\u2705 Done. Tidewell Sync Node is running."_qs)));
    layout->addWidget(withCheckMarks(terminalComment(
        u"\u2014 when you see the \u2705, it's finished. TidewellMesh opens automatically right after."_qs)));
    return m_preview;
}

QWidget *NasSetupGuideView::footer()
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *warning = new QHBoxLayout;
    QLabel *shield = symbolLabel(Symbol::LockShield, 16, Theme::synced());
    shield->setAccessibleName(QString());
    shield->setFocusPolicy(Qt::NoFocus);
    warning->addWidget(shield, 0, Qt::AlignTop);
    warning->addWidget(styledLabel(kWarning, TextRole::Caption, TextTone::Secondary), 1);
    layout->addLayout(warning);

    auto *script = new QToolButton;
    script->setObjectName(QStringLiteral("viewInstaller"));
    script->setText(u"View the installer script"_qs);
    script->setIcon(symbolIcon(Symbol::DocTextMagnifyingglass));
    script->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    script->setAutoRaise(true);
    script->setCursor(Qt::PointingHandCursor);
    applyTextRole(script, TextRole::Caption);
    DerivedForeground::apply(*script, linkText());
    connect(script, &QToolButton::clicked, this, [] {
        if (const std::optional<QUrl> url = NodeSetupCommand::installerURL())
            openExternal(*url);
    });
    layout->addWidget(script, 0, Qt::AlignLeft);
    return column;
}

NodeSetupCommand::Fields NasSetupGuideView::typed() const
{
    return {m_address->text(), m_port->text(), m_user->text(), m_share->text()};
}

void NasSetupGuideView::refresh()
{
    const bool available = NodeSetupCommand::installerURL().has_value();
    const bool filled = formFilledIn();
    const QList<Field> refused = NodeSetupCommand::validate(typed()).refused;
    for (auto it = m_fieldErrors.cbegin(); it != m_fieldErrors.cend(); ++it)
        it.value()->setVisible(available && filled && refused.contains(it.key()));
    m_hint->setVisible(available && !filled);
    m_unavailable->setVisible(!available);

    const std::optional<QString> command = generatedCommand();
    if (command) {
        m_commandText->setText(*command);
    }
    m_codeBlock->setVisible(command.has_value());
    m_pasteNote->setVisible(command.has_value());
    m_previewToggle->setVisible(command.has_value());
    m_preview->setVisible(command.has_value() && m_previewToggle->isChecked());
    // As typed: spaces stay, only an empty field shows the elision.
    const QString share = m_share->text();
    m_installingLine->setText(kInstallingPrefix + (share.isEmpty() ? kShareElided : share));
}

void NasSetupGuideView::copyCommand()
{
    copyPlainText(m_commandText->text());
    m_commandCopied = true;
    showCopied();
}

void NasSetupGuideView::showCopied()
{
    m_copyButton->setIcon(symbolIcon(m_commandCopied ? Symbol::Checkmark : Symbol::DocOnDoc));
    const QString name = m_commandCopied ? u"Copied"_qs : u"Copy command"_qs;
    m_copyButton->setAccessibleName(name);
    m_copyButton->setToolTip(name);
}

} // namespace tw
