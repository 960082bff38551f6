#pragma once

#include "app/HealthInputs.h"
#include "app/texts/CardPresentation.h"
#include "views/kit/KeyedList.h"

#include <QWidget>

class QLabel;

class QProgressBar;

namespace tw {

class AdaptiveGrid;
class AppEnvironment;
class ElidedLabel;
class DeviceMini;
class StatusDot;

// A sync on the overview: name, counts and size, health, its Macs as minis
// and a progress line. Holds the sync's ID and looks it up on each refresh.
// A click, or Return, Enter or Space while it has the focus, asks to open
// the sync; its context menu asks to remove it.
class ProjectCard : public QWidget
{
    Q_OBJECT

public:
    static const QString removeItemText;

    ProjectCard(AppEnvironment &env, QString projectID, QWidget *parent = nullptr);

    const QString &projectID() const { return m_projectID; }
    void refresh(const HealthInputs &in);

    // What the card shows now; for tests.
    const CardPresentation &presentation() const { return m_shown; }
    QString subtitle() const;
    const KeyedList<DeviceMini> &minis() const { return *m_minis; }
    AdaptiveGrid *miniGrid() const { return m_miniGrid; }

signals:
    void clicked();
    void removeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void showMenu(const QPoint &position);
    void showPresentation(const CardPresentation &shown);

    AppEnvironment &m_env;
    QString m_projectID;
    ElidedLabel *m_name;
    QLabel *m_subtitle;
    StatusDot *m_dot;
    QLabel *m_status;
    AdaptiveGrid *m_miniGrid;
    KeyedList<DeviceMini> *m_minis;
    QProgressBar *m_progress;
    QLabel *m_healthLine;
    CardPresentation m_shown;
    bool m_presented = false;
};

// The design's colour of a card tone.
QColor cardToneColor(CardTone tone);

} // namespace tw
