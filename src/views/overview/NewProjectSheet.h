#pragma once

#include "app/AppEnvironment.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class ProjectController;
template <typename Child>
class KeyedList;

// The sheet that creates a sync: a name and, optionally, the known Macs to
// add as editors (those the engine knows while it is open). "Create" makes the sync, hands its ID to the caller and
// closes; the members are added afterwards, one after another, outliving the
// sheet.
class NewProjectSheet : public QDialog
{
    Q_OBJECT

public:
    static const QString titleText;
    static const QString placeholderText;
    static const QString peopleHeading;
    static const QString peopleNote;
    static const QString noPeopleHint;
    static const QString createText;
    static const QString cancelText;
    static constexpr int sheetWidth = 460;

    using OnCreate = std::function<void(QString projectID)>;

    NewProjectSheet(AppEnvironment &env, OnCreate onCreate, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_name; }
    QPushButton *createButton() const { return m_create; }
    // The toggle of a known Mac, by device ID.
    QCheckBox *personToggle(const QString &deviceID) const;

private:
    QWidget *buildPeople();
    // The people section for the Macs the engine knows now; a toggle stays
    // as it was switched while its Mac stays known.
    void showPeople();
    void create();
    static QCoro::Task<void> addMembers(QPointer<ProjectController> projects, QString projectID,
                                        QList<AppEnvironment::PeerDevice> people);

    AppEnvironment &m_env;
    OnCreate m_onCreate;
    QLineEdit *m_name;
    QPushButton *m_create;
    QLabel *m_noPeopleHint = nullptr;
    QLabel *m_peopleHeading = nullptr;
    QWidget *m_peopleList = nullptr;
    QLabel *m_peopleNote = nullptr;
    KeyedList<QCheckBox> *m_toggles = nullptr;
};

} // namespace tw
