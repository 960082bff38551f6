#include "views/settings/IgnoresTab.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "app/IgnoreCategory.h"
#include "controllers/FolderController.h"
#include "design/DestructiveItem.h"
#include "design/ElidedLabel.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "projects/ProjectController.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/AimedClickGuard.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FailureLabel.h"
#include "views/kit/FormSection.h"
#include "views/kit/KeyedList.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/MessageRow.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/PlainTextEditor.h"
#include "views/kit/StyledLabel.h"
#include "views/settings/SettingsState.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {
namespace {

QCoro::Task<void> applyToAll(QPointer<SettingsState> state, QPointer<AppEnvironment> env)
{
    state->editActivity([](SettingsState::Activity &activity) { activity.applyingIgnores = true; });
    co_await env->projects().applyDefaultIgnoresToAll();
    if (env)
        co_await env->folders().refresh();
    if (state)
        state->editActivity([](SettingsState::Activity &activity) { activity.applyingIgnores = false; });
}

// Fixed pitch at a size given in Mac points, relative to the body font as
// every other text is (the body's 13 points by default).
QFont monospaced(qreal macPoints = 13)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont sized = pointsFont(macPoints);
    if (sized.pointSizeF() > 0)
        font.setPointSizeF(sized.pointSizeF());
    else
        font.setPixelSize(sized.pixelSize());
    return font;
}

} // namespace

IgnoresTab::IgnoresTab(SettingsState &state, QWidget *parent)
    : SettingsForm(parent), m_state(state), m_env(state.env())
{
    addCategories();
    addOwnRules();
    addActions();
    addRawEditor();
    finish();
    connect(&m_env.preferences(), &AppPreferences::defaultIgnoresChanged, this, &IgnoresTab::showList);
    connect(&state, &SettingsState::activityChanged, this, &IgnoresTab::showActivity);
    connect(&state, &SettingsState::ignoreTextChanged, this, [this] {
        if (m_raw->toPlainText() != m_state.ignoreText()) {
            const QSignalBlocker blocker(m_raw);
            m_raw->setPlainText(m_state.ignoreText());
        }
    });
    m_raw->setPlainText(state.ignoreText());
    showList();
    showActivity();
}

void IgnoresTab::addCategories()
{
    FormSection *section = addSection(texts::sectionSkipAutomatically);
    section->addCaption(texts::skipCaption);
    for (const IgnoreCategory &category : IgnoreCategory::all()) {
        auto *row = new QWidget;
        auto *layout = new QVBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        auto *box = new RingedCheckBox(literalAmpersands(category.name));
        box->setObjectName(QStringLiteral("category_") + category.id);
        layout->addWidget(box);
        QLabel *detail = styledLabel(category.detail, TextRole::Caption2, TextTone::Secondary);
        detail->setIndent(box->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4);
        layout->addWidget(detail);
        section->rows()->addWidget(row);
        m_categories.append(box);
        connect(box, &QCheckBox::clicked, this, [this, category](bool on) {
            m_env.preferences().setIgnoreCategory(category, on);
            pushAndShowStored();
        });
    }
}

void IgnoresTab::addOwnRules()
{
    FormSection *section = addSection(texts::sectionOwnRules);
    m_ownRulesHint = section->addCaption(texts::ownRulesHint);
    m_ownRulesHint->setObjectName(QStringLiteral("ownRulesHint"));
    auto *customRows = new QVBoxLayout;
    customRows->setContentsMargins(0, 0, 0, 0);
    section->rows()->addLayout(customRows);
    m_customRows = new KeyedList<QWidget>(customRows, [this](const QString &pattern) { return customRow(pattern); });
    auto *addRow = new QHBoxLayout;
    m_newPattern = new QLineEdit;
    m_newPattern->setObjectName(QStringLiteral("newPattern"));
    m_newPattern->setPlaceholderText(texts::addPatternPlaceholder);
    m_add = new QPushButton(texts::add);
    m_add->setObjectName(QStringLiteral("addPattern"));
    m_add->setEnabled(false);
    // The rows above it go with their "−": a double-click on the last one
    // would land its second press here.
    AimedClickGuard::guardButtonsIn(*m_add);
    addRow->addWidget(m_newPattern, 1);
    addRow->addWidget(m_add);
    section->rows()->addLayout(addRow);
    // Its room kept whether it is there or not: the controls below stay
    // where the user aims at them.
    m_patternRefusal = new MessageRow(failureLabel(QStringLiteral("patternRefusal")));
    m_patternRefusal->reserveLines(2);
    section->rows()->addWidget(m_patternRefusal);
    connect(m_newPattern, &QLineEdit::textChanged, this, [this](const QString &text) {
        const bool typed = !text.trimmed().isEmpty();
        m_add->setEnabled(typed);
        // The refusal was of the pattern that was there: an emptied field
        // has nothing left to refuse.
        if (!typed)
            m_patternRefusal->showMessage(std::nullopt);
    });
    connect(m_newPattern, &QLineEdit::returnPressed, this, &IgnoresTab::addCustom);
    connect(m_add, &QPushButton::clicked, this, &IgnoresTab::addCustom);
}

void IgnoresTab::addActions()
{
    FormSection *section = addSection();
    m_applyToAll = new QPushButton(texts::applyToAllSyncs);
    m_applyToAll->setObjectName(QStringLiteral("applyToAll"));
    // It replaces every sync's choices: a focus handed on never lands here.
    markDestructive(*m_applyToAll);
    section->rows()->addWidget(m_applyToAll, 0, Qt::AlignLeft);
    section->addCaption(texts::applyToAllCaption);
    auto *restore = new QPushButton(texts::restoreRecommended);
    restore->setObjectName(QStringLiteral("restoreDefaults"));
    markDestructive(*restore);
    section->rows()->addWidget(restore, 0, Qt::AlignLeft);
    connect(m_applyToAll, &QPushButton::clicked, this, &IgnoresTab::askApplyToAll);
    connect(restore, &QPushButton::clicked, this, [this] {
        m_env.preferences().setDefaultIgnores(AppPreferences::defaultIgnoreText());
        pushAndShowStored();
    });
}

void IgnoresTab::addRawEditor()
{
    m_rawGroup = new DisclosureGroup(texts::editRawList);
    DisclosureGroup *group = m_rawGroup;
    group->setObjectName(QStringLiteral("rawList"));
    m_raw = plainTextEditor(QStringLiteral("rawIgnores"));
    m_raw->setFont(monospaced(12));
    m_raw->setFixedHeight(180);
    m_raw->setLineWrapMode(QPlainTextEdit::NoWrap);
    group->content()->addWidget(m_raw);
    auto *save = new QPushButton(texts::saveRawList);
    save->setObjectName(QStringLiteral("saveRawList"));
    group->content()->addWidget(save, 0, Qt::AlignLeft);
    m_rawFailure = failureLabel(QStringLiteral("rawRefusal"));
    group->content()->addWidget(m_rawFailure);
    group->content()->addWidget(styledLabel(texts::rawListCaption, TextRole::Caption, TextTone::Secondary));
    addSection()->rows()->addWidget(group);
    connect(m_raw, &QPlainTextEdit::textChanged, this,
            [this] { m_state.setIgnoreText(m_raw->toPlainText()); });
    connect(save, &QPushButton::clicked, this, &IgnoresTab::saveIgnores);
}

void IgnoresTab::addCustom()
{
    const std::optional<QString> refusal = m_env.preferences().addCustomIgnore(m_newPattern->text());
    m_patternRefusal->showMessage(refusal);
    // The pattern stays in the field, to be mended.
    if (refusal)
        return;
    m_newPattern->clear();
    pushAndShowStored();
}

void IgnoresTab::removeCustom(const QString &pattern)
{
    m_env.preferences().removeIgnorePattern(pattern);
    pushAndShowStored();
}

bool IgnoresTab::saveIgnores()
{
    const std::optional<QString> refusal = m_env.preferences().saveDefaultIgnores(m_state.ignoreText());
    showFailure(*m_rawFailure, refusal);
    if (refusal)
        return false;
    push();
    return true;
}

void IgnoresTab::pushAndShowStored()
{
    push();
    m_state.setIgnoreText(m_env.preferences().defaultIgnores());
}

void IgnoresTab::push()
{
    // Nothing else keeps the controller's list in step with the stored text.
    m_env.projects().setDefaultIgnores(m_env.preferences().defaultIgnoreList());
}

void IgnoresTab::showList()
{
    const AppPreferences &preferences = m_env.preferences();
    for (int i = 0; i < m_categories.size(); ++i)
        m_categories[i]->setChecked(preferences.isIgnoreCategoryOn(IgnoreCategory::all()[i]));
    showCustomRows();
}

void IgnoresTab::showCustomRows()
{
    const QStringList custom = m_env.preferences().customIgnorePatterns();
    m_ownRulesHint->setVisible(custom.isEmpty());
    m_customRows->setIDs(custom);
}

QWidget *IgnoresTab::customRow(const QString &pattern)
{
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("customRow"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    // Patterns are compared by both ends, so a long one loses its middle.
    auto *label = new ElidedLabel(Qt::ElideMiddle);
    label->setObjectName(QStringLiteral("customPattern"));
    label->setFont(monospaced());
    label->setFullText(pattern);
    layout->addWidget(label, 1);
    auto *remove = new QToolButton;
    remove->setObjectName(QStringLiteral("removePattern"));
    remove->setIcon(symbolIcon(Symbol::MinusCircleFill));
    remove->setAutoRaise(true);
    // It removes at once: a focus handed on never lands here.
    markDestructive(*remove);
    layout->addWidget(remove);
    connect(remove, &QToolButton::clicked, this, [this, pattern] { removeCustom(pattern); });
    return row;
}

void IgnoresTab::showActivity()
{
    const bool applying = m_state.activity().applyingIgnores;
    m_applyToAll->setText(applying ? texts::applying : texts::applyToAllSyncs);
    setEnabledKeepingFocus(*m_applyToAll, !applying);
}

void IgnoresTab::askApplyToAll()
{
    // Each folder's own hidden-files and exclusion lines do not survive the
    // apply, so it asks as bulk actions do.
    confirmAction(*this, texts::applyToAllTitle, texts::applyToAllMessage, texts::applyToAllAction, true, [this] {
        // A raw list that cannot be stored is not applied; the editor
        // shows why.
        if (!saveIgnores()) {
            m_rawGroup->setExpanded(true);
            return;
        }
        applyToAll(QPointer(&m_state), QPointer(&m_env));
    });
}

} // namespace tw
