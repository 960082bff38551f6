#pragma once

#include "app/HealthInputs.h"
#include "app/ProjectDeviceRef.h"

#include <QWidget>

class QLabel;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class DeviceSyncRing;

// One Mac of a sync on its overview card: name, health ring and, while that
// Mac is syncing and its transfer has an estimate, the time left.
class DeviceMini : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceMini(QWidget *parent = nullptr);

    void refresh(AppEnvironment &env, const Project &project, const ProjectDeviceRef &device, const HealthInputs &in);
    QString etaText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ElidedLabel *m_name;
    DeviceSyncRing *m_ring;
    QLabel *m_eta;
};

} // namespace tw
