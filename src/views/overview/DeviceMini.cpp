#include "views/overview/DeviceMini.h"

#include "app/AppEnvironment.h"
#include "app/HealthRules.h"
#include "controllers/ETAEstimator.h"
#include "controllers/FormatDuration.h"
#include "design/CardFrame.h"
#include "design/DerivedForeground.h"
#include "design/DeviceSyncRing.h"
#include "design/ElidedLabel.h"
#include "design/TextStyle.h"
#include "views/kit/PlainLabel.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tw {

namespace {

void setTextIfChanged(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

} // namespace

DeviceMini::DeviceMini(QWidget *parent)
    : QWidget(parent), m_name(new ElidedLabel(Qt::ElideRight, this)), m_ring(new DeviceSyncRing(SyncHealth::allSynced(), 26, this)),
      m_eta(plainLabel(this))
{
    setMinimumHeight(52);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(11, 11, 11, 11);
    column->setSpacing(5);
    m_name->setFont(pointsFont(12));
    m_name->setAlignment(Qt::AlignCenter);
    m_eta->setFont(pointsFont(10));
    m_eta->setAlignment(Qt::AlignCenter);
    m_eta->hide();
    DerivedForeground::apply(*m_name, windowTextAt(secondaryStrength));
    DerivedForeground::apply(*m_eta, windowTextAt(secondaryStrength));
    m_eta->setObjectName(QStringLiteral("eta"));
    column->addWidget(m_name);
    column->addWidget(m_ring, 0, Qt::AlignHCenter);
    column->addWidget(m_eta);
}

void DeviceMini::refresh(AppEnvironment &env, const Project &project, const ProjectDeviceRef &device,
                         const HealthInputs &in)
{
    m_name->setFullText(device.name);
    const SyncHealth health = deviceHealth(project, device.id, in);
    if (!(m_ring->health() == health))
        m_ring->setHealth(health);
    std::optional<double> seconds;
    if (!device.isThisMac && health.kind == SyncHealth::Kind::Syncing)
        seconds = env.eta().eta(QStringLiteral("dev:") + device.id, env.now());
    if (seconds)
        setTextIfChanged(m_eta, formatDuration(*seconds));
    m_eta->setVisible(seconds.has_value());
}

QString DeviceMini::etaText() const
{
    return m_eta->isVisibleTo(this) ? m_eta->text() : QString();
}

void DeviceMini::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCard(painter, rect(), CardStyle{9, {}, 0, FrameColour::ofPalette(QPalette::WindowText, 0.05), {}}, palette());
}

} // namespace tw
