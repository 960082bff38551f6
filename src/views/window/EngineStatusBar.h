#pragma once

#include "views/kit/RefreshingView.h"

#include <QPointer>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class QLabel;
class QToolButton;

namespace tw {

class AppEnvironment;
class EngineController;
class FolderController;
class StatusDot;

// The bar along the bottom of the window: the engine's state, the transfer
// in progress (of one sync, or of all) or the current rates, and a button
// pausing or resuming all syncing.
class EngineStatusBar : public RefreshingView
{
    Q_OBJECT

public:
    static const QString stoppedText;
    static const QString pausedText;
    static const QString upToDateText;
    static const QString syncingText;
    static const QString resumeHelp;
    static const QString pauseHelp;

    explicit EngineStatusBar(AppEnvironment &environment, QWidget *parent = nullptr);

    // The sync whose transfers the bar sums up; none for all syncs.
    const std::optional<QString> &projectID() const { return m_projectID; }
    void setProjectID(std::optional<QString> projectID);

protected:
    void refreshContents() override;

private:
    static QCoro::Task<void> togglePause(QPointer<EngineController> engine, QPointer<FolderController> folders);
    void showPaused(bool paused);

    AppEnvironment &m_environment;
    std::optional<QString> m_projectID;
    StatusDot *m_dot;
    QLabel *m_title;
    QLabel *m_detail;
    QToolButton *m_pauseButton;
    std::optional<bool> m_shownPaused;
    std::optional<bool> m_detailVisible;
};

} // namespace tw
