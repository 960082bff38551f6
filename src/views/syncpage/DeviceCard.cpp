#include "views/syncpage/DeviceCard.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "app/texts/SyncPageTexts.h"
#include "design/CardFrame.h"
#include "design/DeviceSyncRing.h"
#include "design/ElidedLabel.h"
#include "design/ElidedLine.h"
#include "design/ShownSymbol.h"
#include "design/StatusDot.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/FocusRing.h"
#include "views/kit/KeyActivation.h"
#include "views/kit/PlainLabel.h"
#include "views/syncpage/SyncPageParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tw {

namespace {

constexpr int kDotSize = 7;
constexpr int kDotSpacing = 4;
constexpr int kPairSpacing = 10;

CardStyle cardStyle(bool selected, bool isThisMac)
{
    CardStyle style{.radius = 12, .padding = CardStyle::even(16)};
    if (selected) {
        style.strokeWidth = 2;
        style.stroke = Theme::accent();
    } else if (isThisMac) {
        QColor faint = Theme::accent();
        faint.setAlphaF(0.35);
        style.stroke = faint;
    } else {
        style.stroke = FrameColour::ofPalette(QPalette::WindowText, 0.18);
    }
    return style;
}

std::optional<ProjectDeviceRef> findDevice(const Project &project, const QString &id, const HealthInputs &in)
{
    for (const ProjectDeviceRef &ref : projectDevices(project, in))
        if (ref.id == id)
            return ref;
    return std::nullopt;
}

bool isPausedTeammate(const ProjectDeviceRef &device, const HealthInputs &in)
{
    if (device.isThisMac)
        return false;
    for (const SyncDevice &known : in.devices)
        if (known.id == device.id)
            return known.isPaused;
    return false;
}

// The widest a label may be so that all fit the room: short names whole,
// the long ones cut alike to what is left. A fixed share cut a long name
// while the row still had room to its end.
int fairShare(QList<int> widths, int room)
{
    std::sort(widths.begin(), widths.end());
    for (qsizetype i = 0; i < widths.size(); ++i) {
        const qsizetype left = widths.size() - i;
        if (widths[i] * left > room)
            return std::max(0, room / int(left));
        room -= widths[i];
    }
    return QWIDGETSIZE_MAX;
}

} // namespace

DeviceCard::DeviceCard(AppEnvironment &env, QString projectID, QString deviceID, QWidget *parent)
    : QWidget(parent)
    , m_env(env)
    , m_projectID(std::move(projectID))
    , m_deviceID(std::move(deviceID))
    , m_symbol(plainLabel())
    , m_name(new ElidedLabel(Qt::ElideRight))
    , m_status(new ElidedLabel(Qt::ElideRight))
    , m_badge(new QStackedWidget)
    , m_pause(plainLabel())
    , m_ring(new DeviceSyncRing(SyncHealth::allSynced(), 30))
    , m_dotRow(new QWidget)
    , m_dots(new QHBoxLayout(m_dotRow))
{
    setObjectName(QStringLiteral("deviceCard"));
    // Opened from the keyboard as by a click; the ring runs inside the
    // selected card's edge, so a chosen card still shows where the focus is.
    KeyActivation::install(*this, [this] { emit clicked(); });
    FocusRing::setShape(*this, 3, 12 - 3);
    setAttribute(Qt::WA_Hover);
    setMinimumHeight(92);
    m_name->setObjectName(QStringLiteral("name"));
    m_status->setObjectName(QStringLiteral("status"));
    m_pause->setObjectName(QStringLiteral("pauseMark"));
    m_ring->setObjectName(QStringLiteral("ring"));
    m_symbol->setObjectName(QStringLiteral("symbol"));
    m_name->setFont(pointsFont(15, QFont::Medium));
    m_status->setFont(pointsFont(12));
    showSymbol(*m_pause, Symbol::PauseCircleFill, 22, Theme::syncing());
    m_badge->addWidget(m_ring);
    m_badge->addWidget(m_pause);
    // The ring's stroke reaches beyond its circle: the badge holds all of it.
    m_badge->setFixedSize(m_ring->sizeHint());

    auto *names = new QVBoxLayout;
    names->setSpacing(1);
    names->addWidget(m_name);
    names->addWidget(m_status);
    auto *top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(m_symbol);
    top->addLayout(names, 1);
    top->addWidget(m_badge);
    m_dots->setContentsMargins(0, 0, 0, 0);
    m_dots->setSpacing(kPairSpacing);
    m_dotRow->installEventFilter(this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    column->addLayout(top);
    column->addWidget(m_dotRow);
    // Made as tall as its row by the grid, it keeps its content at the top.
    column->addStretch(1);
    refresh();
}

void DeviceCard::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void DeviceCard::refresh()
{
    const HealthInputs in = m_env.healthInputs();
    const std::optional<Project> project = m_env.projects().project(m_projectID);
    const std::optional<ProjectDeviceRef> device =
        project ? findDevice(*project, m_deviceID, in) : std::nullopt;
    if (!device)
        return;
    if (m_isThisMac != device->isThisMac) {
        m_isThisMac = device->isThisMac;
        update();
    }
    const std::optional<DeviceConnection> conn = m_env.devices().connection(device->id);
    const bool online = device->isThisMac || (conn && conn->connected);
    const bool paused = isPausedTeammate(*device, in);
    const SyncHealth health = deviceHealth(*project, device->id, in);

    if (shownSymbol(*m_symbol) != deviceSymbol(*device))
        showSymbol(*m_symbol, deviceSymbol(*device), 19, deviceSymbolColor(*device));
    m_name->setFullText(device->name);
    setTextIfChanged(*m_status, paused ? SyncPageTexts::paused
                                       : SyncPageTexts::deviceCardSubtitle(device->isThisMac, online, conn));
    if (online && !paused)
        setSecondaryForeground(*m_status);
    else
        setForeground(*m_status, paused ? Theme::syncing() : Theme::offline());
    m_badge->setCurrentWidget(paused ? static_cast<QWidget *>(m_pause) : m_ring);
    m_ring->setHealth(health);

    QStringList labels;
    QList<SyncHealth> dots;
    for (const ProjectFolder &folder : project->folders.mid(0, maxDots)) {
        labels.append(folder.label);
        dots.append(folderHealthOnDevice(folder, device->id, in));
    }
    refreshDots(labels, dots);
}

void DeviceCard::refreshDots(const QStringList &labels, const QList<SyncHealth> &health)
{
    m_dotRow->setVisible(!labels.isEmpty());
    if (labels != m_dotLabels) {
        m_dotLabels = labels;
        while (QLayoutItem *item = m_dots->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const QString &label : labels) {
            auto *pair = new QWidget;
            auto *row = new QHBoxLayout(pair);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(kDotSpacing);
            auto *dot = new StatusDot(Theme::offline(), kDotSize);
            dot->setObjectName(QStringLiteral("folderDot"));
            auto *text = new ElidedLabel(Qt::ElideRight);
            text->setObjectName(QStringLiteral("folderLabel"));
            text->setFont(pointsFont(12));
            text->setFullText(label);
            setSecondaryForeground(*text);
            row->addWidget(dot);
            row->addWidget(text);
            m_dots->addWidget(pair);
            showNow(*pair);
        }
        m_dots->addStretch();
        fitDotLabels();
    }
    const QList<StatusDot *> shown = m_dotRow->findChildren<StatusDot *>();
    for (qsizetype i = 0; i < shown.size() && i < health.size(); ++i)
        shown[i]->setColor(Theme::healthColor(health[i]));
}

bool DeviceCard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_dotRow && event->type() == QEvent::Resize)
        fitDotLabels();
    return QWidget::eventFilter(watched, event);
}

// One long name leaves room for the others, and takes what they leave.
void DeviceCard::fitDotLabels()
{
    const QList<ElidedLabel *> labels = m_dotRow->findChildren<ElidedLabel *>(QStringLiteral("folderLabel"));
    if (labels.isEmpty())
        return;
    QList<int> widths;
    for (const ElidedLabel *label : labels)
        widths.append(oneLineWidth(label->fullText(), label->font()));
    const int pairs = int(labels.size());
    const int room = m_dotRow->width() - (pairs - 1) * kPairSpacing - pairs * (kDotSize + kDotSpacing);
    const int share = fairShare(widths, room);
    for (ElidedLabel *label : labels)
        label->setMaximumWidth(share);
}

void DeviceCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCard(painter, rect(), cardStyle(m_selected, m_isThisMac), palette());
}

void DeviceCard::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace tw
