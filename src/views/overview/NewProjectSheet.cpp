#include "views/overview/NewProjectSheet.h"

#include "app/texts/CardPresentation.h"
#include "design/ButtonTint.h"
#include "design/ElidedLine.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "views/kit/KeyedList.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/OneLineField.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QStyle>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

const QString NewProjectSheet::titleText = QStringLiteral("New sync");
const QString NewProjectSheet::placeholderText = QStringLiteral("Sync name (e.g. your film)");
const QString NewProjectSheet::peopleHeading = QStringLiteral("ADD PEOPLE YOU SYNC WITH (optional)");
const QString NewProjectSheet::peopleNote =
    QStringLiteral("Selected people get this sync automatically \u2014 it pops up in their app (they tap Allow). "
                   "Brand-new people: invite them afterwards via the sync's \u201CInvite\u201D button.");
const QString NewProjectSheet::noPeopleHint = QStringLiteral("Next: add the drive to sync, then invite your team.");
const QString NewProjectSheet::createText = QStringLiteral("Create");
const QString NewProjectSheet::cancelText = QStringLiteral("Cancel");

NewProjectSheet::NewProjectSheet(AppEnvironment &env, OnCreate onCreate, QWidget *parent)
    : QDialog(parent), m_env(env), m_onCreate(std::move(onCreate)), m_name(new QLineEdit(this)),
      m_create(new QPushButton(createText, this))
{
    setObjectName(QStringLiteral("newProjectSheet"));
    setWindowTitle(titleText);
    setSheetWidth(*this, sheetWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    QLabel *title = styledLabel(titleText, TextRole::Title2);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    column->addWidget(title);
    m_name->setObjectName(QStringLiteral("name"));
    keepOnOneLine(*m_name);
    m_name->setPlaceholderText(placeholderText);
    column->addWidget(m_name);

    column->addWidget(buildPeople());

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *cancel = new QPushButton(cancelText, this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    m_create->setObjectName(QStringLiteral("create"));
    m_create->setDefault(true);
    bindReturnKey(*this, *m_create);
    TintedButtonPainter::apply(*m_create, ButtonTint::Prominent);
    m_create->setEnabled(false);
    buttons->addWidget(cancel);
    buttons->addWidget(m_create);
    column->addLayout(buttons);

    connect(m_name, &QLineEdit::textChanged, this,
            [this](const QString &name) { m_create->setEnabled(syncNameCanCreate(name)); });
    // A Mac the engine learns of while the sheet is open is offered too.
    connect(&m_env, &AppEnvironment::stateChanged, this, &NewProjectSheet::showPeople);
    showPeople();
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_create, &QPushButton::clicked, this, &NewProjectSheet::create);
}

QWidget *NewProjectSheet::buildPeople()
{
    auto *section = new QWidget(this);
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    m_noPeopleHint = styledLabel(noPeopleHint, TextRole::Caption, TextTone::Secondary);
    m_noPeopleHint->setObjectName(QStringLiteral("noPeopleHint"));
    layout->addWidget(m_noPeopleHint);
    m_peopleHeading = styledLabel(peopleHeading, TextRole::Caption2, TextTone::Tertiary);
    m_peopleHeading->setObjectName(QStringLiteral("peopleHeading"));
    m_peopleHeading->setFont(pointsFont(10, QFont::Medium));
    layout->addWidget(m_peopleHeading);
    auto *toggles = m_peopleList = new QWidget(section);
    auto *togglesLayout = new QVBoxLayout(toggles);
    togglesLayout->setContentsMargins(0, 0, 0, 0);
    togglesLayout->setSpacing(4);
    m_toggles = new KeyedList<QCheckBox>(togglesLayout, [toggles](const QString &deviceID) {
        auto *toggle = new RingedCheckBox(toggles);
        toggle->setObjectName(deviceID);
        showSymbol(*toggle, Symbol::Laptopcomputer);
        return toggle;
    });
    m_toggles->setParent(this);
    layout->addWidget(toggles);
    m_peopleNote = styledLabel(peopleNote, TextRole::Caption2, TextTone::Secondary);
    layout->addWidget(m_peopleNote);
    return section;
}

void NewProjectSheet::showPeople()
{
    const QList<AppEnvironment::PeerDevice> people = m_env.knownPeerDevices();
    QStringList ids;
    for (const AppEnvironment::PeerDevice &person : people)
        ids.append(person.deviceID);
    m_toggles->setIDs(ids);
    for (const AppEnvironment::PeerDevice &person : people) {
        QCheckBox *toggle = m_toggles->child(person.deviceID);
        if (!toggle)
            continue;
        // A long name ends in "…" within the sheet's margins, the toggle's room, the box and the symbol.
        const QStyle &style = *toggle->style();
        const int room = sheetWidth - 40 - 2 * (RingedCheckBox::room + style.pixelMetric(QStyle::PM_IndicatorWidth)) -
                         toggle->iconSize().width() - style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        const QString text = literalAmpersands(elidedToFit(person.name, toggle->font(), Qt::ElideRight, room));
        if (toggle->text() != text)
            toggle->setText(text);
    }
    m_noPeopleHint->setVisible(people.isEmpty());
    m_peopleHeading->setVisible(!people.isEmpty());
    m_peopleList->setVisible(!people.isEmpty());
    m_peopleNote->setVisible(!people.isEmpty());
}

QCheckBox *NewProjectSheet::personToggle(const QString &deviceID) const
{
    return m_toggles->child(deviceID);
}

void NewProjectSheet::create()
{
    if (!syncNameCanCreate(m_name->text()))
        return;
    ProjectController &projects = m_env.projects();
    const Project project = projects.createProject(m_name->text(), std::nullopt);
    QList<AppEnvironment::PeerDevice> chosen;
    for (const AppEnvironment::PeerDevice &person : m_env.knownPeerDevices()) {
        const QCheckBox *toggle = m_toggles->child(person.deviceID);
        if (toggle && toggle->isChecked())
            chosen.append(person);
    }
    if (m_onCreate)
        m_onCreate(project.id);
    accept();
    if (!chosen.isEmpty())
        detach(addMembers(&projects, project.id, chosen));
}

QCoro::Task<void> NewProjectSheet::addMembers(QPointer<ProjectController> projects, QString projectID,
                                              QList<AppEnvironment::PeerDevice> people)
{
    for (qsizetype i = 0; i < people.size(); ++i) {
        if (!projects)
            co_return;
        co_await projects->addMember(projectID, people[i].deviceID, people[i].name, MemberRole::Editor, false,
                                     std::nullopt);
    }
}

} // namespace tw
