#pragma once

#include "utilities/Sleeper.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tw {

class AppEnvironment;
class FormSection;

// The sheet in which the user writes to the maker, optionally with a picture
// of the window it was opened from and a reply address. Sending only stores
// the report in the feedback service's queue, so it confirms and closes even
// offline. Opened only where the service has somewhere to send to.
class FeedbackSheet : public QDialog
{
    Q_OBJECT

public:
    static inline const QString kOrigin = QStringLiteral("TidewellMesh");
    static inline const QString kSettingsOrigin = QStringLiteral("TidewellMesh \u2013 Settings");
    static inline const QString kMenuTitle = QStringLiteral("Send Feedback\u2026");
    static inline const QString kSend = QStringLiteral("Send Feedback");
    static inline const QString kSending = QStringLiteral("Sending \u2026");
    static inline const QString kCapturing = QStringLiteral("Capturing screenshot \u2026");
    static inline const QString kTextHint = QStringLiteral("What's broken, what would help, where are you stuck?");
    static inline const QString kThanks =
        QStringLiteral("Thanks! Feedback saved \u2014 sending now (or as soon as you're back online).");
    static constexpr QSize sheetSize{540, 540};
    static constexpr std::chrono::milliseconds confirmationTime{1500};

    // `screenshotSource` is the window the picture is taken of; none, no picture.
    FeedbackSheet(AppEnvironment &env, QString origin, QWidget *screenshotSource, QWidget *parent,
                  Sleeper sleeper = realSleeper());

    const QString &origin() const { return m_origin; }
    const std::optional<QByteArray> &screenshotData() const { return m_screenshotData; }
    bool isSending() const { return m_sending; }
    const QString &status() const { return m_status; }

    // The engine's name of this Mac, else the account's.
    QString userName() const;
    QString collectDiagnostics() const;
    // Grabs the source window now and encodes the picture off the main
    // thread; each call replaces what an earlier one brings.
    void captureScreenshot();
    // Starts sending; the send button's action.
    void send();

signals:
    // A capture came back, with or without a picture.
    void screenshotArrived();

private:
    static QCoro::Task<void> runCapture(QPointer<FeedbackSheet> self, QImage image, quint64 generation);
    static QCoro::Task<void> runSend(QPointer<FeedbackSheet> self);
    QWidget *buildForm();
    void includeScreenshotToggled(bool on);
    void updateScreenshotRows();
    void updateSendButton();

    AppEnvironment &m_env;
    const QString m_origin;
    const QPointer<QWidget> m_screenshotSource;
    const Sleeper m_sleeper;
    std::optional<QByteArray> m_screenshotData;
    quint64 m_captureGeneration = 0;
    bool m_sending = false;
    QString m_status;

    QPlainTextEdit *m_text;
    QCheckBox *m_includeScreenshot;
    QLabel *m_preview;
    QLabel *m_size;
    QLabel *m_capturing;
    QLineEdit *m_email;
    FormSection *m_statusSection;
    QLabel *m_statusText;
    QPushButton *m_sendButton;
};

} // namespace tw
