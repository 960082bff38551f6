#include "views/feedback/FeedbackSheet.h"

#include "app/texts/FeedbackDiagnostics.h"
#include "controllers/EngineController.h"
#include "services/FeedbackService.h"

#include "HeldGlobalPool.h"
#include "QtPrinters.h"
#include "QueuedPause.h"
#include "SaveShot.h"
#include "ViewTestEnv.h"
#include "WaitUntil.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace tw {
namespace {

// A sleeper that waits until the test lets it go, and notes what it was asked.
struct HeldSleeper
{
    Sleeper sleeper()
    {
        return [this](std::chrono::milliseconds delay) -> QCoro::Task<void> {
            asked.append(delay);
            QueuedPause parked{&sleeping};
            co_await parked;
        };
    }
    void releaseAll()
    {
        auto handles = std::exchange(sleeping, {});
        for (std::coroutine_handle<> handle : handles)
            handle.resume();
    }

    std::vector<std::coroutine_handle<>> sleeping;
    QList<std::chrono::milliseconds> asked;
};

class FeedbackSheetTest : public ViewTestEnv
{
protected:
    std::unique_ptr<FeedbackSheet> sheet(QString origin = FeedbackSheet::kOrigin, QWidget *source = nullptr)
    {
        auto made = std::make_unique<FeedbackSheet>(app(), std::move(origin), source, nullptr, held.sleeper());
        made->show();
        return made;
    }
    template <typename T> static T *part(const FeedbackSheet &s, const char *name)
    {
        T *found = s.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QPushButton *sendButton(const FeedbackSheet &s) { return part<QPushButton>(s, "send"); }
    const QList<FeedbackPayload> stored() const
    {
        QList<FeedbackPayload> payloads;
        for (const auto &entry : feedback.retryQueue().pending())
            payloads.append(entry.operation);
        return payloads;
    }
    // Types, sends, and lets the confirmation's wait pass.
    void sendAndFinish(FeedbackSheet &s)
    {
        sendButton(s)->click();
        ASSERT_EQ(held.sleeping.size(), 1u);
        held.releaseAll();
    }

    HeldSleeper held;
};

TEST_F(FeedbackSheetTest, SendIsOfferedOnlyForTextThatIsNotBlank)
{
    auto s = sheet();
    EXPECT_EQ(s->size(), QSize(540, 540));
    EXPECT_EQ(FeedbackSheet::kMenuTitle, QString::fromUtf16(u"Send Feedback\u2026"));
    EXPECT_EQ(FeedbackSheet::kTextHint, QString::fromUtf16(u"What's broken, what would help, where are you stuck?"));
    EXPECT_EQ(FeedbackSheet::kCapturing, QString::fromUtf16(u"Capturing screenshot \u2026"));
    const std::pair<const char *, bool> rows[] = {{"", false}, {"  \n ", false}, {"\t", false}, {" x", true}};
    for (const auto &[text, enabled] : rows) {
        part<QPlainTextEdit>(*s, "text")->setPlainText(QString::fromUtf8(text));
        EXPECT_EQ(sendButton(*s)->isEnabled(), enabled) << text;
        EXPECT_EQ(sendButton(*s)->text(), QString::fromUtf16(u"Send Feedback"));
    }
}

TEST_F(FeedbackSheetTest, SendingStoresTheReportConfirmsAndCloses)
{
    struct Row
    {
        const char *name;
        QString origin;
        QString deviceName;
        QString email;
        std::optional<QString> sentEmail;
        QString sender;
    };
    const QString origin = QString::fromUtf16(u"TidewellMesh");
    const QString settingsOrigin = QString::fromUtf16(u"TidewellMesh \u2013 Settings");
    const QList<Row> rows = {
        {"spaces only: no address; no device name: the account", origin, {}, "   ", std::nullopt, accountShortName()},
        {"address trimmed; the device's name", settingsOrigin, "Studio Mac", " a@b.example \n", "a@b.example",
         "Studio Mac"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        app().engineState().storeDeviceName(row.deviceName);
        const qsizetype before = stored().size();
        auto s = sheet(row.origin);
        EXPECT_EQ(part<QLabel>(*s, "from")->text(), row.sender);
        part<QPlainTextEdit>(*s, "text")->setPlainText(" x");
        part<QLineEdit>(*s, "email")->setText(row.email);
        QSignalSpy finished(s.get(), &QDialog::finished);

        sendButton(*s)->click();
        EXPECT_EQ(sendButton(*s)->text(), QString::fromUtf16(u"Sending \u2026"));
        EXPECT_FALSE(sendButton(*s)->isEnabled());
        EXPECT_EQ(part<QLabel>(*s, "status")->text(),
                  QString::fromUtf16(u"Thanks! Feedback saved \u2014 sending now (or as soon as you're back online)."));
        EXPECT_TRUE(part<QLabel>(*s, "status")->isVisible());
        ASSERT_EQ(stored().size(), before + 1);
        const FeedbackPayload payload = stored().last();
        EXPECT_EQ(payload.text, " x");
        EXPECT_EQ(payload.appModule, row.origin);
        EXPECT_EQ(payload.submitterEmail, row.sentEmail);
        EXPECT_EQ(payload.userName, row.sender);
        EXPECT_EQ(payload.osVersion, FeedbackService::osVersion());
        EXPECT_TRUE(payload.diagnose.startsWith("=== TidewellMesh Diagnostics ===\n"));
        EXPECT_EQ(payload.screenshotPNG, std::nullopt);
        EXPECT_EQ(finished.size(), 0);

        ASSERT_EQ(held.sleeping.size(), 1u);
        EXPECT_EQ(held.asked.last(), std::chrono::milliseconds(1500));
        held.releaseAll();
        EXPECT_EQ(finished.size(), 1);
        EXPECT_EQ(s->result(), QDialog::Accepted);
        EXPECT_FALSE(s->isVisible());
    }
}

TEST_F(FeedbackSheetTest, CancelStoresNothing)
{
    auto s = sheet();
    part<QPlainTextEdit>(*s, "text")->setPlainText("lost");
    QTest::keyClick(s.get(), Qt::Key_Escape);
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(s->result(), QDialog::Rejected);
    auto again = sheet();
    part<QPlainTextEdit>(*again, "text")->setPlainText("lost too");
    part<QPushButton>(*again, "cancel")->click();
    EXPECT_FALSE(again->isVisible());
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(FeedbackSheetTest, DeletedWhileConfirmingDoesNothingMore)
{
    auto s = sheet();
    part<QPlainTextEdit>(*s, "text")->setPlainText("x");
    sendButton(*s)->click();
    s.reset();
    held.releaseAll();
    EXPECT_EQ(stored().size(), 1);
}

TEST_F(FeedbackSheetTest, ScreenshotOfTheOpeningWindow)
{
    QWidget window;
    window.resize(320, 200);
    window.show();
    auto s = sheet(FeedbackSheet::kOrigin, &window);
    QSignalSpy arrived(s.get(), &FeedbackSheet::screenshotArrived);
    HeldGlobalPool encoding;
    ASSERT_TRUE(encoding.hold());
    part<QCheckBox>(*s, "includeScreenshot")->setChecked(true);
    EXPECT_TRUE(part<QLabel>(*s, "capturing")->isVisible());
    encoding.release();
    ASSERT_TRUE(waitUntil([&] { return arrived.size() == 1; }));
    ASSERT_TRUE(s->screenshotData());
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(*s->screenshotData(), "PNG"));
    EXPECT_EQ(decoded.size(), window.size() * window.devicePixelRatioF());
    EXPECT_TRUE(part<QLabel>(*s, "preview")->isVisible());
    // Its corners are rounded off: the corner pixel is clear, the middle not.
    const QImage preview = part<QLabel>(*s, "preview")->pixmap().toImage();
    EXPECT_EQ(preview.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(preview.pixelColor(preview.width() / 2, preview.height() / 2).alpha(), 255);
    EXPECT_FALSE(part<QLabel>(*s, "capturing")->isVisible());
    EXPECT_EQ(part<QLabel>(*s, "size")->text(), "Size: " + formatBytes(s->screenshotData()->size()));
    saveShot(*s, "feedback-sheet-screenshot");

    part<QPlainTextEdit>(*s, "text")->setPlainText("with a picture");
    sendAndFinish(*s);
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored().last().screenshotPNG, s->screenshotData());
}

TEST_F(FeedbackSheetTest, ACaptureArrivingAfterTheSwitchWentOffIsNotSent)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    auto s = sheet(FeedbackSheet::kOrigin, &window);
    QSignalSpy arrived(s.get(), &FeedbackSheet::screenshotArrived);
    auto *include = part<QCheckBox>(*s, "includeScreenshot");
    // The picture is still being encoded when the switch goes off.
    HeldGlobalPool encoding;
    ASSERT_TRUE(encoding.hold());
    include->setChecked(true);
    include->setChecked(false);
    EXPECT_EQ(arrived.size(), 0);
    encoding.release();
    ASSERT_TRUE(waitUntil([&] { return arrived.size() == 1; }));
    EXPECT_TRUE(s->screenshotData());
    EXPECT_FALSE(part<QLabel>(*s, "preview")->isVisible());
    part<QPlainTextEdit>(*s, "text")->setPlainText("no picture");
    sendAndFinish(*s);
    EXPECT_EQ(stored().last().screenshotPNG, std::nullopt);
}

TEST_F(FeedbackSheetTest, WithoutAWindowTheRowKeepsWaitingAndTheReportGoesWithout)
{
    auto s = sheet();
    QSignalSpy arrived(s.get(), &FeedbackSheet::screenshotArrived);
    part<QCheckBox>(*s, "includeScreenshot")->setChecked(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(arrived.size(), 0);
    EXPECT_TRUE(part<QLabel>(*s, "capturing")->isVisible());
    EXPECT_EQ(s->screenshotData(), std::nullopt);
    part<QPlainTextEdit>(*s, "text")->setPlainText("x");
    sendAndFinish(*s);
    EXPECT_EQ(stored().last().screenshotPNG, std::nullopt);
}

} // namespace
} // namespace tw
