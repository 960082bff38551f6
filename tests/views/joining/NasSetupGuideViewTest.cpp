// The node set-up guide offscreen: when it shows a command, which one, what
// it copies and what it opens.

#include "views/joining/NasSetupGuideView.h"

#include "design/Theme.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScreenChecks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <gtest/gtest.h>

#include <string_view>

namespace tw {

// Stands in for the browser: records the addresses handed to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

namespace {

using Field = NodeSetupCommand::Field;

// The installer on a loopback host, so that a loopback-only run opens it too.
const QUrl kInstaller("https://127.0.0.1/tidewellmediasync-updates/install-on-synology.sh");

class NasSetupGuideViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NodeSetupCommand::overrideInstallerHost("127.0.0.1");
        QDesktopServices::setUrlHandler("https", &catcher, "open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler("https");
        NodeSetupCommand::overrideInstallerHost(std::nullopt);
    }

    template <typename T = QWidget>
    T *child(NasSetupGuideView &guide, const char *name)
    {
        T *found = guide.findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void type(NasSetupGuideView &guide, const char *field, const QString &text)
    {
        child<QLineEdit>(guide, field)->setText(text);
    }
    bool shown(NasSetupGuideView &guide, const char *name) { return child(guide, name)->isVisibleTo(&guide); }
    QString commandText(NasSetupGuideView &guide) { return child(guide, "commandText")->property("text").toString(); }
    QStringList fieldErrorsShown(NasSetupGuideView &guide)
    {
        QStringList texts;
        for (QLabel *label : guide.findChildren<QLabel *>("fieldError"))
            if (label->isVisibleTo(&guide))
                texts.append(label->text());
        return texts;
    }

    UrlCatcher catcher;
};

TEST_F(NasSetupGuideViewTest, TheHintShowsUntilAddressAndUserAreFilledIn)
{
    NasSetupGuideView guide;
    EXPECT_EQ(guide.size(), QSize(620, 720));
    EXPECT_TRUE(shown(guide, "formHint"));
    guide.show();
    const QImage empty = saveShot(guide, QStringLiteral("nas-guide-empty"));
    ASSERT_FALSE(empty.isNull());
    EXPECT_EQ(empty.size(), guide.size() * guide.devicePixelRatio());
    type(guide, "nasUser", "u");
    type(guide, "nasAddress", "  \t ");
    EXPECT_FALSE(guide.formFilledIn());
    EXPECT_TRUE(shown(guide, "formHint"));
    EXPECT_FALSE(shown(guide, "codeBlock"));
    EXPECT_EQ(fieldErrorsShown(guide), QStringList());

    type(guide, "nasAddress", " 192.168.1.50");
    type(guide, "sshPort", "");
    type(guide, "sharePath", "");
    EXPECT_FALSE(shown(guide, "formHint"));
    EXPECT_TRUE(shown(guide, "codeBlock"));
    EXPECT_FALSE(shown(guide, "unavailable"));
    const QString expected =
        NodeSetupCommand::build({"192.168.1.50", "22", "u", "/volume1/TidewellSync"}, kInstaller);
    EXPECT_EQ(guide.generatedCommand(), expected);
    EXPECT_EQ(commandText(guide), expected);
    // The preview keeps the field as typed.
    EXPECT_EQ(child<QLabel>(guide, "installingLine")->text(),
              u"\u25b6 Installing Tidewell Sync Node into: /volume1/\u2026"_qs);
    type(guide, "sharePath", "  ");
    EXPECT_EQ(child<QLabel>(guide, "installingLine")->text(), u"\u25b6 Installing Tidewell Sync Node into:   "_qs);
    EXPECT_EQ(guide.generatedCommand(), expected);

    EXPECT_FALSE(shown(guide, "terminalPreview"));
    child<QToolButton>(guide, "previewToggle")->click();
    EXPECT_TRUE(shown(guide, "terminalPreview"));

    const QImage filled = saveShot(guide, QStringLiteral("nas-guide-filled"));
    ASSERT_FALSE(filled.isNull());
    // The terminal's check mark is drawn, not left to an emoji font; the
    // texts as written stay readable to assistive tools.
    QStringList marked;
    for (const QLabel *label : guide.findChildren<QLabel *>()) {
        if (!label->accessibleName().contains(u'\u2705'))
            continue;
        marked << label->accessibleName().left(12);
        const QImage shot = const_cast<QLabel *>(label)->grab().toImage();
        EXPECT_TRUE(shotShowsColour(shot, shot.rect(), Theme::synced(), 8)) << label->accessibleName().toStdString();
    }
    EXPECT_EQ(marked.size(), 3) << marked.join(" | ").toStdString();
    // The guide's own emphasis is drawn as such, never as its marks.
    QStringList bold;
    QStringList italic;
    for (const QLabel *label : guide.findChildren<QLabel *>()) {
        const QTextDocument *document = label->findChild<QTextDocument *>();
        const QString drawn = document ? document->toPlainText() : label->text();
        EXPECT_FALSE(drawn.contains(u'*')) << drawn.toStdString();
        for (QTextBlock block = document ? document->begin() : QTextBlock(); block.isValid(); block = block.next())
            for (auto part = block.begin(); !part.atEnd(); ++part) {
                const QTextCharFormat format = part.fragment().charFormat();
                if (format.fontWeight() >= QFont::Bold)
                    bold << part.fragment().text();
                if (format.fontItalic())
                    italic << part.fragment().text();
            }
    }
    for (const char *strong : {"Package Center", "Enable SSH service", "Password:", "Connect"})
        EXPECT_TRUE(bold.contains(strong)) << strong;
    EXPECT_EQ(italic, QStringList{"Running"});
    EXPECT_EQ(filled.size(), guide.size() * guide.devicePixelRatio());
    // The long command wraps in its block, beside the copy button, and shows
    // whole; the page keeps the dialog's width.
    const QScrollArea *page = child<QScrollArea>(guide, "guideScroll");
    EXPECT_LE(page->widget()->width(), page->viewport()->width());
    const QWidget *block = child(guide, "codeBlock");
    EXPECT_LE(block->mapTo(page->viewport(), QPoint(block->width(), 0)).x(), page->viewport()->width());
    QWidget *command = child(guide, "commandText");
    const QWidget *copy = child(guide, "copyCommand");
    const QRect commandArea(command->mapTo(block, QPoint(0, 0)), command->size());
    EXPECT_EQ(screenchecks::visibleRectIn(*command, *block), commandArea);
    EXPECT_LT(commandArea.right(), copy->mapTo(block, QPoint(0, 0)).x());
    EXPECT_GE(command->height(), command->heightForWidth(command->width()));
    // Its 18 lines, some of them wrapped.
    EXPECT_GT(command->height(), 18 * command->fontMetrics().lineSpacing());
}

TEST_F(NasSetupGuideViewTest, ARefusedFieldShowsItsLineAndNoCommand)
{
    struct Row
    {
        const char *field;
        QString value;
        QString line;
    };
    const QList<Row> rows = {
        {"nasAddress", "fe80::1", "NAS address: an IP address like 192.168.1.50 or a host name."},
        {"sshPort", "70000", "Port: a number from 1 to 65535."},
        {"nasUser", "-oProxyCommand=x",
         u"Username: no spaces, apostrophes or control characters, and not starting with \u201c-\u201d."_qs},
        {"sharePath", "/volume1/$(reboot)",
         u"Shared folder: a path starting with \u201c/\u201d, with no quotes, backticks, dollar signs, backslashes or "
         u"control characters and no \u201c..\u201d step."_qs},
    };
    for (const Row &row : rows) {
        NasSetupGuideView guide;
        type(guide, "nasAddress", "192.168.1.50");
        type(guide, "nasUser", "u");
        type(guide, row.field, row.value);
        EXPECT_EQ(fieldErrorsShown(guide), QStringList(row.line)) << row.field;
        EXPECT_EQ(guide.generatedCommand(), std::nullopt) << row.field;
        EXPECT_FALSE(shown(guide, "codeBlock")) << row.field;
        EXPECT_FALSE(shown(guide, "previewToggle")) << row.field;
        EXPECT_FALSE(shown(guide, "formHint")) << row.field;
        if (row.field == std::string_view("sshPort")) {
            guide.show();
            const QImage refused = saveShot(guide, QStringLiteral("nas-guide-field-error"));
            ASSERT_FALSE(refused.isNull());
            EXPECT_EQ(refused.size(), guide.size() * guide.devicePixelRatio());
            QLabel *error = nullptr;
            for (QLabel *label : guide.findChildren<QLabel *>("fieldError"))
                if (label->isVisibleTo(&guide))
                    error = label;
            ASSERT_NE(error, nullptr);
            EXPECT_TRUE(shotShowsColour(refused, shotArea(refused, guide, *error), Theme::danger()));
        }
    }
}

TEST_F(NasSetupGuideViewTest, CopyPutsTheBlocksTextOnTheClipboardAndStaysCopied)
{
    NasSetupGuideView guide;
    type(guide, "nasAddress", "nas.local");
    type(guide, "nasUser", "admin");
    auto *copy = child<QToolButton>(guide, "copyCommand");
    EXPECT_EQ(copy->accessibleName(), "Copy command");
    copy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), commandText(guide));
    EXPECT_EQ(QApplication::clipboard()->text(), guide.generatedCommand());
    EXPECT_EQ(copy->accessibleName(), "Copied");
    type(guide, "nasUser", "other");
    EXPECT_TRUE(commandText(guide).contains("TW_USER='other'"));
    EXPECT_EQ(copy->accessibleName(), "Copied");
}

TEST_F(NasSetupGuideViewTest, TheInstallerScriptOpensOnlyWithAHost)
{
    {
        NasSetupGuideView guide;
        child<QToolButton>(guide, "viewInstaller")->click();
        EXPECT_EQ(catcher.opened, QList<QUrl>({kInstaller}));
    }
    catcher.opened.clear();
    NodeSetupCommand::overrideInstallerHost("");
    NasSetupGuideView guide;
    type(guide, "nasAddress", "192.168.1.50");
    type(guide, "nasUser", "u");
    child<QToolButton>(guide, "viewInstaller")->click();
    EXPECT_EQ(catcher.opened, QList<QUrl>());
    EXPECT_TRUE(shown(guide, "unavailable"));
    EXPECT_EQ(child<QLabel>(guide, "unavailable")->text(),
              u"Automatic setup isn't available in this build \u2014 use \u201cConnect manually (advanced)\u201d in "
              u"Settings \u2192 Team."_qs);
    EXPECT_FALSE(shown(guide, "codeBlock"));
    EXPECT_FALSE(shown(guide, "formHint"));
    EXPECT_EQ(guide.generatedCommand(), std::nullopt);
}

} // namespace
} // namespace tw

#include "NasSetupGuideViewTest.moc"
