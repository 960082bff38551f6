#pragma once

#include "app/SyncHealth.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QStackedWidget;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class DeviceSyncRing;

// One Mac of a sync on the sync's page: which Mac, how it is connected, how
// far it is in step, and a dot per folder (the first five). It only shows;
// the page owns the selection and acts on clicked().
class DeviceCard : public QWidget
{
    Q_OBJECT

public:
    static constexpr int maxDots = 5;

    DeviceCard(AppEnvironment &env, QString projectID, QString deviceID, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // Looks the sync and the Mac up again and updates what changed.
    void refresh();

signals:
    void clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void refreshDots(const QStringList &labels, const QList<SyncHealth> &health);
    void fitDotLabels();

    AppEnvironment &m_env;
    QString m_projectID;
    QString m_deviceID;
    bool m_selected = false;
    bool m_isThisMac = false;
    QLabel *m_symbol;
    ElidedLabel *m_name;
    ElidedLabel *m_status;
    QStackedWidget *m_badge;
    QLabel *m_pause;
    DeviceSyncRing *m_ring;
    QWidget *m_dotRow;
    QHBoxLayout *m_dots;
    QStringList m_dotLabels;
};

} // namespace tw
