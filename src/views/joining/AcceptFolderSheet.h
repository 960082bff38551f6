#pragma once

#include "engine/model/PendingFolder.h"
#include "projects/FolderPlacement.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class QLabel;
class QPushButton;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class ProjectController;
class AppPreferences;

// Where one offered folder goes on this Mac: the user picks a location, the
// sheet shows the folder that will be synced and the sync it joins, and
// "Place" creates the folder and hands the offer to the project controller.
// The offer is the sheet's own copy: it stays when the offer leaves the
// pending lists meanwhile.
class AcceptFolderSheet : public QDialog
{
    Q_OBJECT

public:
    using PickFolder = std::function<QCoro::Task<std::optional<QString>>(QWidget *parent)>;
    static constexpr int width = 480;

    AcceptFolderSheet(AppEnvironment &env, PendingFolder folder, PickFolder pickFolder, QWidget *parent = nullptr);

    const PendingFolder &folder() const { return m_folder; }
    const std::optional<QString> &location() const { return m_location; }
    FolderPlacement placement() const;
    // What lies at the target, as the file system last answered for the
    // current target; nothing until it has. It is asked off the main thread
    // (the location may be on a network mount), again on every refresh.
    enum class TargetState { None, Missing, Folder, InTheWay };
    std::optional<TargetState> targetState() const;

    void setLocation(const QString &location);
    // "Choose…" and "Place".
    void choose();
    void place();

private:
    struct Target
    {
        std::optional<QString> path;
        TargetState state = TargetState::None;
    };

    void refresh();
    void render();
    // One question at a time: a stat on a vanished mount holds its thread
    // for minutes, and a pile of them would fill the global pool.
    void askTarget();
    static TargetState stateAt(const std::optional<QString> &target);
    static QCoro::Task<void> readTarget(QPointer<AcceptFolderSheet> self);
    static QCoro::Task<void> createAndAccept(QPointer<AcceptFolderSheet> self, QString path,
                                             std::optional<QString> intoProjectID, QString syncName);
    static QCoro::Task<void> chooseLocation(QPointer<AcceptFolderSheet> self, PickFolder pickFolder);
    static QCoro::Task<void> acceptOffer(QPointer<AcceptFolderSheet> self, QPointer<ProjectController> projects,
                                         QPointer<AppPreferences> preferences, PendingFolder folder, QString path,
                                         std::optional<QString> intoProjectID, QString syncName);

    AppEnvironment &m_env;
    const PendingFolder m_folder;
    const PickFolder m_pickFolder;
    std::optional<QString> m_location;
    std::optional<QString> m_creationFailed;
    std::optional<Target> m_target;
    bool m_asking = false;
    bool m_askAgain = false;
    // Set from the press until the sheet closes: the engine takes its time
    // and a second press would place the offer twice.
    bool m_placing = false;
    ElidedLabel *m_locationLabel = nullptr;
    QWidget *m_targetLine = nullptr;
    ElidedLabel *m_targetPath = nullptr;
    QLabel *m_explanation = nullptr;
    QLabel *m_syncLine = nullptr;
    QPushButton *m_place = nullptr;
    QPushButton *m_choose = nullptr;
};

} // namespace tw
