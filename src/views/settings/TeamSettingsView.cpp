#include "views/settings/TeamSettingsView.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "cluster/ClusterConfig.h"
#include "cluster/NasNodeController.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/StatusDot.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/joining/NasSetupGuideView.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FormSection.h"
#include "views/kit/KeyboardFocus.h"
#include "views/kit/MessageRow.h"
#include "views/kit/OneLineField.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/StyledLabel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {
namespace {

QFont monospaced(TextStyle style)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(textStyleFont(style).pointSizeF());
    return font;
}

QPushButton *button(const QString &text, const char *name)
{
    auto *button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLabel *namedLabel(const char *name)
{
    auto *label = plainLabel();
    label->setObjectName(QString::fromLatin1(name));
    return label;
}


// A label in the caption font and secondary colour over its field, 3 apart.
void addLabelledField(QVBoxLayout *rows, const QString &label, QLineEdit *field)
{
    auto *pair = new QVBoxLayout;
    pair->setSpacing(3);
    pair->addWidget(styledLabel(label, TextRole::Caption, TextTone::Secondary));
    pair->addWidget(field);
    rows->addLayout(pair);
}

// Sections that come and go together.
QWidget *sectionGroup(std::initializer_list<FormSection *> sections)
{
    auto *group = new QWidget;
    auto *layout = new QVBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    for (FormSection *section : sections)
        layout->addWidget(section);
    return group;
}

// What the tab's actions leave running; their failures end in the
// controllers' own texts, shown elsewhere.
QCoro::Task<void> applyClusterSync(QPointer<AppEnvironment> env)
{
    try {
        co_await env->applyClusterSync();
    } catch (...) {
    }
}

QCoro::Task<void> pingNode(QPointer<AppEnvironment> env)
{
    try {
        co_await env->nasNode().ping();
    } catch (...) {
    }
}

QCoro::Task<void> removeNode(QPointer<AppEnvironment> env)
{
    try {
        co_await env->nasNode().remove();
    } catch (...) {
    }
    if (env)
        co_await applyClusterSync(env);
}

} // namespace

TeamSettingsView::TeamSettingsView(AppEnvironment &env, QWidget *parent) : SettingsForm(parent), m_env(env)
{
    addPart(joiningSection());
    addPart(nodePart());
    addPart(setupPart());
    addPart(teamSection());
    finish();

    const AppPreferences &preferences = m_env.preferences();
    const NasNodeController &node = m_env.nasNode();
    connect(&preferences, &AppPreferences::autoJoinNodeChanged, this, &TeamSettingsView::showJoining);
    connect(&m_env.projects(), &ProjectController::dismissedFolderIDsChanged, this, &TeamSettingsView::showJoining);
    connect(&node, &NasNodeController::nodesChanged, this, &TeamSettingsView::showNodes);
    connect(&node, &NasNodeController::reachableChanged, this, &TeamSettingsView::showReachability);
    connect(&node, &NasNodeController::lastErrorChanged, this, &TeamSettingsView::showConnect);
    connect(&node, &NasNodeController::teamKeyChanged, this, &TeamSettingsView::showTeamKey);
    connect(&preferences, &AppPreferences::clusterSyncEnabledChanged, this, &TeamSettingsView::showTeamKey);
    showJoining();
    showNodes();
    showReachability();
    showConnect();
    showTeamKey();
}

QWidget *TeamSettingsView::joiningSection()
{
    auto *section = new FormSection(texts::sectionJoining);
    m_autoJoin = new RingedCheckBox(texts::autoJoinNode);
    m_autoJoin->setObjectName(QStringLiteral("autoJoinNode"));
    section->rows()->addWidget(m_autoJoin);
    m_autoJoinCaption = section->addCaption({});
    m_autoJoinCaption->setObjectName(QStringLiteral("autoJoinCaption"));
    m_reset = button({}, "resetIgnored");
    section->rows()->addWidget(m_reset, 0, Qt::AlignLeft);
    m_resetCaption = section->addCaption(texts::resetIgnoredCaption);
    m_resetCaption->setObjectName(QStringLiteral("resetIgnoredCaption"));
    connect(m_autoJoin, &QCheckBox::clicked, &m_env.preferences(), &AppPreferences::setAutoJoinNode);
    connect(m_reset, &QPushButton::clicked, &m_env.projects(), &ProjectController::resetIgnoredInvitations);
    return section;
}

QWidget *TeamSettingsView::nodePart()
{
    auto *node = new FormSection(texts::sectionBackup);
    m_nodeName = new ElidedLabel(Qt::ElideRight);
    m_nodeName->setObjectName(QStringLiteral("nodeName"));
    node->addLabelledRow(texts::nodeName, m_nodeName);
    m_nodeAddress = new ElidedLabel;
    m_nodeAddress->setObjectName(QStringLiteral("nodeAddress"));
    node->addLabelledRow(texts::nodeAddress, m_nodeAddress);
    m_nodeDeviceID = new ElidedLabel;
    m_nodeDeviceID->setObjectName(QStringLiteral("nodeDeviceID"));
    m_nodeDeviceID->setFont(monospaced(TextStyle::Caption));
    m_nodeDeviceID->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *idRow = new QHBoxLayout;
    idRow->addWidget(plainLabel(texts::deviceID));
    idRow->addWidget(m_nodeDeviceID, 1);
    node->rows()->addLayout(idRow);

    auto *reachRow = new QHBoxLayout;
    m_dot = new StatusDot(Theme::syncing(), 9);
    m_dot->setObjectName(QStringLiteral("reachableDot"));
    reachRow->addWidget(m_dot);
    m_reachability = namedLabel("reachable");
    reachRow->addWidget(m_reachability);
    reachRow->addStretch();
    QPushButton *check = button(texts::check, "check");
    reachRow->addWidget(check);
    node->rows()->addLayout(reachRow);
    node->addCaption(texts::backupCaption);

    auto *removal = new FormSection;
    QPushButton *remove = button(texts::removeBackup, "removeBackup");
    tintText(*remove, Theme::danger());
    removal->rows()->addWidget(remove, 0, Qt::AlignLeft);

    // Each press is a task of its own, as the controller allows.
    connect(check, &QPushButton::clicked, this, [this] { pingNode(QPointer(&m_env)); });
    connect(remove, &QPushButton::clicked, this, [this] { removeNode(QPointer(&m_env)); });
    m_nodePart = sectionGroup({node, removal});
    m_nodePart->setObjectName(QStringLiteral("nodePart"));
    return m_nodePart;
}

QWidget *TeamSettingsView::setupPart()
{
    auto *optional = new FormSection(texts::sectionOptionalBackup);
    optional->addCaption(texts::optionalBackupCaption);
    QPushButton *setUp = button(texts::setUpAutomatically, "setUpAutomatically");
    optional->rows()->addWidget(setUp, 0, Qt::AlignLeft);
    connect(setUp, &QPushButton::clicked, this, &TeamSettingsView::openGuide);

    auto *manual = new FormSection;
    manual->rows()->addWidget(manualConnect());
    // Hidden while a node exists, never rebuilt: what was typed and unfolded
    // is there again after a removal.
    m_setupPart = sectionGroup({optional, manual});
    m_setupPart->setObjectName(QStringLiteral("setupPart"));
    return m_setupPart;
}

QWidget *TeamSettingsView::manualConnect()
{
    m_manual = new DisclosureGroup(texts::connectManually);
    m_manual->setObjectName(QStringLiteral("connectManually"));
    QVBoxLayout *rows = m_manual->content();
    rows->addWidget(styledLabel(texts::connectManuallyCaption, TextRole::Caption, TextTone::Secondary));

    m_address = new QLineEdit;
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setFont(monospaced(TextStyle::Body));
    m_address->setPlaceholderText(texts::nodeAddressPlaceholder);
    addLabelledField(rows, texts::nodeAddress, m_address);
    m_apiKey = new QLineEdit;
    m_apiKey->setObjectName(QStringLiteral("apiKey"));
    m_apiKey->setEchoMode(QLineEdit::Password);
    m_apiKey->setPlaceholderText(texts::apiKeyPlaceholder);
    addLabelledField(rows, texts::apiKey, m_apiKey);
    m_name = new QLineEdit(texts::defaultNodeName);
    m_name->setObjectName(QStringLiteral("name"));
    keepOnOneLine(*m_name);
    m_name->setPlaceholderText(texts::defaultNodeName);
    addLabelledField(rows, texts::nodeName, m_name);

    QLabel *connectError = styledLabel({}, TextRole::Caption);
    connectError->setObjectName(QStringLiteral("connectError"));
    tintText(*connectError, Theme::danger());
    // Beside "Connect", which stays under the pointer for another try.
    m_connectError = new MessageRow(connectError);
    m_connect = button(texts::connect, "connect");
    TintedButtonPainter::apply(*m_connect, ButtonTint::Prominent);
    m_connectError->addAfter(m_connect);
    rows->addWidget(m_connectError);

    connect(m_address, &QLineEdit::textChanged, this, &TeamSettingsView::showConnect);
    connect(m_apiKey, &QLineEdit::textChanged, this, &TeamSettingsView::showConnect);
    connect(m_connect, &QPushButton::clicked, this, &TeamSettingsView::startConnect);
    bindFieldsReturnKey(*m_manual, *m_connect);
    return m_manual;
}

QWidget *TeamSettingsView::teamSection()
{
    auto *section = new FormSection(texts::sectionShareChoices);
    section->addCaption(texts::shareChoicesCaption);
    m_clusterSync = new RingedCheckBox(texts::clusterSync);
    m_clusterSync->setObjectName(QStringLiteral("clusterSync"));
    section->rows()->addWidget(m_clusterSync);
    section->rows()->addWidget(styledLabel(texts::clusterSyncNote, TextRole::Caption2, TextTone::Tertiary));
    m_keyGroup = new DisclosureGroup(texts::manageTeamKey);
    m_keyGroup->setObjectName(QStringLiteral("manageTeamKey"));
    m_keyGroup->content()->addWidget(storedKey());
    m_keyGroup->content()->addWidget(missingKey());
    section->rows()->addWidget(m_keyGroup);

    connect(m_clusterSync, &QCheckBox::clicked, this, [this](bool on) {
        m_env.preferences().setClusterSyncEnabled(on);
        applyClusterSync(QPointer(&m_env));
    });
    return section;
}

QWidget *TeamSettingsView::storedKey()
{
    m_storedKey = new QWidget;
    auto *layout = new QVBoxLayout(m_storedKey);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *row = new QHBoxLayout;
    m_keyText = namedLabel("teamKey");
    m_keyText->setFont(monospaced(TextStyle::Caption));
    m_keyText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Named, so that assistive tools do not take the key itself for a name.
    m_keyText->setAccessibleName(texts::teamKeyName);
    row->addWidget(m_keyText);
    row->addStretch();
    m_reveal = button({}, "reveal");
    m_copy = button({}, "copyTeamKey");
    for (QPushButton *action : {m_reveal, m_copy}) {
        action->setFont(textStyleFont(TextStyle::Caption));
        row->addWidget(action);
    }
    layout->addLayout(row);
    m_keyCaption = styledLabel({}, TextRole::Caption, TextTone::Secondary);
    m_keyCaption->setObjectName(QStringLiteral("teamKeyCaption"));
    layout->addWidget(m_keyCaption);

    connect(m_reveal, &QPushButton::clicked, this, [this] {
        m_teamKeyRevealed = !m_teamKeyRevealed;
        showTeamKey();
    });
    connect(m_copy, &QPushButton::clicked, this, &TeamSettingsView::copyKey);
    return m_storedKey;
}

QWidget *TeamSettingsView::missingKey()
{
    m_missingKey = new QWidget;
    auto *layout = new QVBoxLayout(m_missingKey);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(styledLabel(texts::noTeamKeyCaption, TextRole::Caption, TextTone::Secondary));
    m_generate = button(texts::generateTeamKey, "generateTeamKey");
    layout->addWidget(m_generate, 0, Qt::AlignLeft);
    auto *row = new QHBoxLayout;
    m_keyInput = new QLineEdit;
    m_keyInput->setObjectName(QStringLiteral("teamKeyInput"));
    m_keyInput->setFont(monospaced(TextStyle::Caption));
    m_keyInput->setPlaceholderText(texts::teamKeyPlaceholder);
    row->addWidget(m_keyInput, 1);
    m_use = button(texts::use, "useTeamKey");
    row->addWidget(m_use);
    layout->addLayout(row);

    connect(m_generate, &QPushButton::clicked, this, &TeamSettingsView::generateKey);
    connect(m_use, &QPushButton::clicked, this, &TeamSettingsView::useKey);
    connect(m_keyInput, &QLineEdit::textChanged, this, &TeamSettingsView::showTeamKey);
    bindFieldsReturnKey(*m_missingKey, *m_use);
    return m_missingKey;
}

void TeamSettingsView::showJoining()
{
    const bool autoJoin = m_env.preferences().autoJoinNode();
    m_autoJoin->setChecked(autoJoin);
    m_autoJoinCaption->setText(autoJoin ? texts::autoJoinOnCaption : texts::autoJoinOffCaption);
    const qsizetype dismissed = m_env.projects().dismissedFolderIDs().size();
    m_reset->setText(texts::resetIgnoredInvitationsPrefix + QString::number(dismissed) +
                     texts::resetIgnoredInvitationsSuffix);
    m_reset->setVisible(dismissed > 0);
    m_resetCaption->setVisible(dismissed > 0);
}

void TeamSettingsView::showNodes()
{
    const QList<NasNode> &nodes = m_env.nasNode().nodes();
    // The node's section takes the place of its set-up, and the focus that
    // was there (a "Connect" that succeeded) with it, never the next section's.
    if (QWidget *focus = window()->focusWidget(); !nodes.isEmpty() && m_setupPart->isVisible() && focus
                                                  && m_setupPart->isAncestorOf(focus))
        KeyboardFocus::openedInPlace(*m_nodePart, focus);
    m_nodePart->setVisible(!nodes.isEmpty());
    m_setupPart->setVisible(nodes.isEmpty());
    if (nodes.isEmpty())
        return;
    const NasNode &first = nodes.first();
    m_nodeName->setFullText(first.name);
    m_nodeAddress->setFullText(first.baseURL);
    m_nodeDeviceID->setFullText(first.deviceID);
}

void TeamSettingsView::showReachability()
{
    const bool reachable = m_env.nasNode().reachable();
    m_dot->setColor(reachable ? Theme::synced() : Theme::syncing());
    m_reachability->setText(reachable ? texts::reachable : texts::notReachable);
}

void TeamSettingsView::showConnect()
{
    const std::optional<QString> &error = m_env.nasNode().lastError();
    m_connectError->showMessage(error);
    m_connect->setText(m_connecting ? texts::connecting : texts::connect);
    // Tested as typed: blanks count as filled, and the controller says why
    // they will not do.
    setEnabledKeepingFocus(*m_connect, !m_connecting && !m_address->text().isEmpty() && !m_apiKey->text().isEmpty());
}

// The view outlives the window's closings and the tab's switches; each
// opening starts with the key masked and "Copy" again. A window minimised
// is no closing.
void TeamSettingsView::hideEvent(QHideEvent *event)
{
    SettingsForm::hideEvent(event);
    if (event->spontaneous())
        return;
    m_teamKeyRevealed = false;
    m_teamKeyCopied = false;
    showTeamKey();
}

void TeamSettingsView::showTeamKey()
{
    const std::optional<QString> &key = m_env.nasNode().teamKey();
    const bool stored = key && !key->isEmpty();
    m_clusterSync->setChecked(m_env.preferences().clusterSyncEnabled());
    m_clusterSync->setEnabled(stored);
    m_storedKey->setVisible(stored);
    m_missingKey->setVisible(!stored);
    if (stored) {
        m_keyText->setText(m_teamKeyRevealed ? *key : texts::maskedTeamKey);
        m_reveal->setText(m_teamKeyRevealed ? texts::hide : texts::reveal);
        m_copy->setText(m_teamKeyCopied ? texts::copied : texts::copy);
        m_keyCaption->setText(texts::teamKeyCaptionBefore + ClusterConfig::clusterFolderID(*key) +
                              texts::teamKeyCaptionAfter);
    } else {
        // The key never lingers in a hidden label.
        m_keyText->clear();
    }
    setEnabledKeepingFocus(*m_generate, !m_keyWriting);
    setEnabledKeepingFocus(*m_keyInput, !m_keyWriting);
    setEnabledKeepingFocus(*m_use, !m_keyWriting && !m_keyInput->text().trimmed().isEmpty());
}

void TeamSettingsView::openGuide()
{
    if (m_guide)
        return;
    m_guide = new NasSetupGuideView(this);
    m_guide->setAttribute(Qt::WA_DeleteOnClose);
    m_guide->setWindowModality(Qt::WindowModal);
    m_guide->open();
}

void TeamSettingsView::startConnect()
{
    if (m_connecting)
        return;
    setConnecting(true);
    connectNode(QPointer(this), QPointer(&m_env), m_address->text(), m_apiKey->text(), m_name->text());
}

QCoro::Task<void> TeamSettingsView::connectNode(QPointer<TeamSettingsView> self, QPointer<AppEnvironment> env,
                                                QString baseURL, QString apiKey, QString name)
{
    try {
        const bool registered = co_await env->nasNode().configure(baseURL, apiKey, name);
        if (registered && env) {
            co_await env->projects().reconcileAll();
            if (env)
                co_await env->folders().refresh();
        }
    } catch (...) {
        // The controllers answer instead of throwing; should one throw, the
        // button must not stay busy.
    }
    if (self)
        self->setConnecting(false);
}

void TeamSettingsView::setConnecting(bool connecting)
{
    m_connecting = connecting;
    showConnect();
}

void TeamSettingsView::generateKey()
{
    if (m_keyWriting)
        return;
    m_keyWriting = true;
    showTeamKey();
    storeKey(QPointer(this), QPointer(&m_env), std::nullopt);
}

void TeamSettingsView::useKey()
{
    const QString typed = m_keyInput->text();
    if (m_keyWriting || typed.trimmed().isEmpty())
        return;
    m_keyWriting = true;
    m_keyInput->clear();
    showTeamKey();
    storeKey(QPointer(this), QPointer(&m_env), typed);
}

QCoro::Task<void> TeamSettingsView::storeKey(QPointer<TeamSettingsView> self, QPointer<AppEnvironment> env,
                                             std::optional<QString> pasted)
{
    try {
        if (pasted)
            co_await env->nasNode().importClusterSecret(*pasted);
        else
            co_await env->nasNode().generateClusterSecret();
    } catch (...) {
        // A refused write is the node controller's last error.
    }
    // A new key shows in clear at once; a pasted one stays masked.
    if (self)
        self->keyWritten(!pasted);
    if (env)
        co_await applyClusterSync(env);
}

void TeamSettingsView::keyWritten(bool reveal)
{
    m_keyWriting = false;
    // Only a key that was stored shows in clear; a key pasted after a
    // refused generation stays masked.
    const std::optional<QString> &key = m_env.nasNode().teamKey();
    if (reveal && key && !key->isEmpty())
        m_teamKeyRevealed = true;
    showTeamKey();
}

void TeamSettingsView::copyKey()
{
    const std::optional<QString> &key = m_env.nasNode().teamKey();
    if (!key)
        return;
    copyPlainText(*key);
    m_teamKeyCopied = true;
    showTeamKey();
}

} // namespace tw
