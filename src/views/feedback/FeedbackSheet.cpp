#include "views/feedback/FeedbackSheet.h"

#include "app/AppEnvironment.h"
#include "app/texts/FeedbackDiagnostics.h"
#include "controllers/EngineController.h"
#include "design/ButtonTint.h"
#include "design/ShownSymbol.h"
#include "design/Symbol.h"
#include "design/Theme.h"
#include "engine/SyncEngine.h"
#include "services/FeedbackService.h"
#include "utilities/Detach.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FormSection.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/PlainTextEditor.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/StyledLabel.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

const QString kTitle = QStringLiteral("Send Feedback");
const QString kSubtitle = QStringLiteral("Goes straight to Tamsel. Nothing to copy.");
const QString kEmailHint =
    QStringLiteral("Reply goes here if we have a question \u2014 optional, leave blank to stay anonymous.");
const QString kAlso = QStringLiteral("Also: project/folder/device counts + sync status. No file names or contents.");
constexpr int kPreviewHeight = 160;
constexpr qreal kPreviewRadius = 6;

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QByteArray encodePNG(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

} // namespace

FeedbackSheet::FeedbackSheet(AppEnvironment &env, QString origin, QWidget *screenshotSource, QWidget *parent,
                             Sleeper sleeper)
    : QDialog(parent), m_env(env), m_origin(std::move(origin)), m_screenshotSource(screenshotSource),
      m_sleeper(std::move(sleeper))
{
    setWindowTitle(kTitle);
    setFixedSize(sheetSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    header->setSpacing(10);
    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::EnvelopeBadge, 22, QColor(0, 122, 255));
    header->addWidget(icon);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(styledLabel(kTitle, TextRole::Headline));
    titles->addWidget(styledLabel(kSubtitle, TextRole::Caption, TextTone::Secondary));
    header->addLayout(titles, 1);
    layout->addLayout(header);
    layout->addWidget(divider());

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidget(buildForm());
    layout->addWidget(scroll, 1);
    layout->addWidget(divider());

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(16, 12, 16, 12);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    footer->addWidget(cancel);
    footer->addStretch();
    m_sendButton = new QPushButton(kSend);
    m_sendButton->setObjectName(QStringLiteral("send"));
    m_sendButton->setDefault(true);
    bindReturnKey(*this, *m_sendButton);
    TintedButtonPainter::apply(*m_sendButton, ButtonTint::Prominent);
    connect(m_sendButton, &QPushButton::clicked, this, &FeedbackSheet::send);
    footer->addWidget(m_sendButton);
    layout->addLayout(footer);

    updateScreenshotRows();
    updateSendButton();
}

QWidget *FeedbackSheet::buildForm()
{
    auto *form = new QWidget;
    auto *sections = new QVBoxLayout(form);

    auto *feedback = new FormSection(QStringLiteral("Your feedback"));
    m_text = plainTextEditor(QStringLiteral("text"));
    m_text->setMinimumHeight(140);
    connect(m_text, &QPlainTextEdit::textChanged, this, &FeedbackSheet::updateSendButton);
    feedback->rows()->addWidget(m_text);
    feedback->addCaption(kTextHint);
    sections->addWidget(feedback);

    auto *optional = new FormSection(QStringLiteral("Optional"));
    m_includeScreenshot = new RingedCheckBox(QStringLiteral("Include current screenshot"));
    m_includeScreenshot->setObjectName(QStringLiteral("includeScreenshot"));
    connect(m_includeScreenshot, &QCheckBox::toggled, this, &FeedbackSheet::includeScreenshotToggled);
    optional->rows()->addWidget(m_includeScreenshot);
    m_preview = plainLabel();
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setAlignment(Qt::AlignCenter);
    optional->rows()->addWidget(m_preview);
    m_size = styledLabel({}, TextRole::Caption2, TextTone::Secondary);
    m_size->setObjectName(QStringLiteral("size"));
    optional->rows()->addWidget(m_size);
    m_capturing = styledLabel(kCapturing, TextRole::Caption, TextTone::Secondary);
    m_capturing->setObjectName(QStringLiteral("capturing"));
    optional->rows()->addWidget(m_capturing);
    m_email = new QLineEdit;
    m_email->setObjectName(QStringLiteral("email"));
    m_email->setPlaceholderText(QStringLiteral("you@example.com"));
    optional->rows()->addWidget(m_email);
    QLabel *emailHint = optional->addCaption(kEmailHint);
    applyTextRole(emailHint, TextRole::Caption2);
    sections->addWidget(optional);

    auto *automatic = new FormSection(QStringLiteral("Sent automatically (for diagnosis)"));
    QLabel *from = styledLabel(userName(), TextRole::Body);
    from->setObjectName(QStringLiteral("from"));
    automatic->addLabelledRow(QStringLiteral("From"), from);
    automatic->addLabelledRow(QStringLiteral("App version"), styledLabel(FeedbackService::appVersion(), TextRole::Body));
    automatic->addLabelledRow(QStringLiteral("Linux"), styledLabel(FeedbackService::osVersion(), TextRole::Body));
    applyTextRole(automatic->addCaption(kAlso), TextRole::Caption2);
    sections->addWidget(automatic);

    m_statusSection = new FormSection;
    auto *statusRow = new QHBoxLayout;
    auto *check = plainLabel();
    showSymbol(*check, Symbol::CheckmarkCircleFill, 16, Theme::synced());
    statusRow->addWidget(check);
    m_statusText = styledLabel({}, TextRole::Callout);
    m_statusText->setObjectName(QStringLiteral("status"));
    statusRow->addWidget(m_statusText, 1);
    m_statusSection->rows()->addLayout(statusRow);
    m_statusSection->hide();
    sections->addWidget(m_statusSection);
    sections->addStretch();
    return form;
}

QString FeedbackSheet::userName() const
{
    return feedbackUserName(m_env.engineState().deviceName());
}

QString FeedbackSheet::collectDiagnostics() const
{
    return FeedbackDiagnostics::from(m_env.healthInputs(), m_env.engine().engineName(), m_env.now()).text();
}

void FeedbackSheet::includeScreenshotToggled(bool on)
{
    if (on)
        captureScreenshot();
    else
        m_screenshotData.reset();
    updateScreenshotRows();
}

void FeedbackSheet::captureScreenshot()
{
    const quint64 generation = ++m_captureGeneration;
    // Without a window there is nothing to draw; the row keeps saying so.
    if (!m_screenshotSource)
        return;
    // Widgets draw only on the GUI thread; only the encoding goes elsewhere.
    detach(runCapture(this, m_screenshotSource->grab().toImage(), generation));
}

QCoro::Task<void> FeedbackSheet::runCapture(QPointer<FeedbackSheet> self, QImage image, quint64 generation)
{
    QByteArray png = co_await QtConcurrent::run(encodePNG, std::move(image));
    if (!self || generation != self->m_captureGeneration)
        co_return;
    if (png.isEmpty())
        self->m_screenshotData.reset();
    else
        self->m_screenshotData = std::move(png);
    self->updateScreenshotRows();
    emit self->screenshotArrived();
}

void FeedbackSheet::updateScreenshotRows()
{
    const bool on = m_includeScreenshot->isChecked();
    QImage image;
    if (on && m_screenshotData)
        image.loadFromData(*m_screenshotData, "PNG");
    const bool shown = !image.isNull();
    if (shown) {
        const qreal dpr = devicePixelRatioF();
        const QImage scaled =
            image.scaled(QSize(460, kPreviewHeight) * dpr, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // Filled through a rounded outline: corners of radius 6.
        QImage rounded(scaled.size(), QImage::Format_ARGB32_Premultiplied);
        rounded.fill(Qt::transparent);
        QPainter painter(&rounded);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(scaled);
        painter.drawRoundedRect(QRectF(rounded.rect()), kPreviewRadius * dpr, kPreviewRadius * dpr);
        painter.end();
        QPixmap pixmap = QPixmap::fromImage(rounded);
        pixmap.setDevicePixelRatio(dpr);
        m_preview->setPixmap(pixmap);
        m_size->setText(QStringLiteral("Size: ") + formatBytes(m_screenshotData->size()));
    }
    m_preview->setVisible(shown);
    m_size->setVisible(shown);
    m_capturing->setVisible(on && !shown);
}

void FeedbackSheet::updateSendButton()
{
    m_sendButton->setText(m_sending ? kSending : kSend);
    setEnabledKeepingFocus(*m_sendButton, !m_sending && !m_text->toPlainText().trimmed().isEmpty());
}

void FeedbackSheet::send()
{
    if (m_sending || m_text->toPlainText().trimmed().isEmpty())
        return;
    detach(runSend(this));
}

QCoro::Task<void> FeedbackSheet::runSend(QPointer<FeedbackSheet> self)
{
    self->m_sending = true;
    self->updateSendButton();
    FeedbackPayload payload;
    payload.text = self->m_text->toPlainText();
    payload.userName = self->userName();
    payload.appVersion = FeedbackService::appVersion();
    payload.osVersion = FeedbackService::osVersion();
    payload.appModule = self->m_origin;
    payload.diagnose = self->collectDiagnostics();
    const QString email = self->m_email->text().trimmed();
    if (!email.isEmpty())
        payload.submitterEmail = email;
    if (self->m_includeScreenshot->isChecked())
        payload.screenshotPNG = self->m_screenshotData;
    if (FeedbackService *service = self->m_env.feedback())
        service->enqueue(std::move(payload));

    self->m_status = kThanks;
    self->m_statusText->setText(kThanks);
    self->m_statusSection->show();
    const Sleeper sleeper = self->m_sleeper;
    co_await sleeper(confirmationTime);
    if (!self)
        co_return;
    self->accept();
    if (!self)
        co_return;
    self->m_sending = false;
    self->updateSendButton();
}

} // namespace tw
