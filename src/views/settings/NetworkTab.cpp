#include "views/settings/NetworkTab.h"

#include "app/AppEnvironment.h"
#include "app/AppPreferences.h"
#include "controllers/EngineController.h"
#include "design/ButtonTint.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/Symbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "platform/SpeedTester.h"
#include "views/kit/RingedCheckBox.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/FormSection.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainTextEditor.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
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
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <utility>

namespace tw {
namespace {

// Mon ... Sat, Sun in the stored numbering (1 = Sunday).
constexpr int kWeekdayNumbers[7] = {2, 3, 4, 5, 6, 7, 1};
constexpr int kFieldWidth = 80;

// An hour of the day as "<prefix>HH:00". Typed text is read with or without
// the prefix and the minutes ("14", "7:00", "From 7:00"); a prefix typed
// only in part, or nothing after it, is still being edited.
class HourStepper : public QSpinBox
{
public:
    explicit HourStepper(QString prefix) : m_prefix(std::move(prefix))
    {
        setRange(0, 23);
        setWrapping(false);
    }

protected:
    QString textFromValue(int value) const override
    {
        return m_prefix + QString::asprintf("%02d:00", value);
    }
    int valueFromText(const QString &text) const override { return hourIn(text).value_or(value()); }
    QValidator::State validate(QString &text, int &) const override
    {
        if (const std::optional<int> hour = hourIn(text))
            return *hour <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
        const QString typed = text.trimmed();
        const bool partOfPrefix = m_prefix.startsWith(typed, Qt::CaseInsensitive);
        return partOfPrefix || withoutPrefix(text).isEmpty() ? QValidator::Intermediate : QValidator::Invalid;
    }

private:
    QString withoutPrefix(const QString &text) const
    {
        const QString typed = text.trimmed();
        const QString label = m_prefix.trimmed();
        return typed.startsWith(label, Qt::CaseInsensitive) ? typed.mid(label.size()).trimmed() : typed;
    }
    std::optional<int> hourIn(const QString &text) const
    {
        static const QRegularExpression hour(QStringLiteral("^(\\d{1,2})(?::0{0,2})?$"));
        const QRegularExpressionMatch match = hour.match(withoutPrefix(text));
        if (!match.hasMatch())
            return std::nullopt;
        return match.captured(1).toInt();
    }

    QString m_prefix;
};

QCoro::Task<void> applyNetwork(QPointer<AppEnvironment> env, NetworkSettings settings)
{
    co_await env->engineState().applyNetwork(std::move(settings));
}

QCoro::Task<void> measureSpeed(QPointer<SettingsState> state, QString toolPath)
{
    state->editActivity([](SettingsState::Activity &activity) {
        activity.speedTesting = true;
        activity.speedTestFailed = false;
    });
    const std::optional<SpeedTestResult> result = co_await SpeedTester::run(toolPath);
    if (!state)
        co_return;
    state->editActivity([&result](SettingsState::Activity &activity) {
        activity.speedTesting = false;
        activity.speedResult = result ? MeasuredSpeed::of(*result) : std::nullopt;
        activity.speedTestFailed = !activity.speedResult;
    });
}

// The limits are whole KB/s; the fields cannot hold more than an int.
int shownLimit(qint64 kbps)
{
    return int(std::clamp<qint64>(kbps, 0, std::numeric_limits<int>::max()));
}

void setIfDifferent(QSpinBox *field, qint64 value)
{
    const QSignalBlocker blocker(field);
    if (field->value() != shownLimit(value))
        field->setValue(shownLimit(value));
}

// Title, its smaller line, free space, the field and its unit.
QWidget *limitRow(const QString &title, const QString &detail, QSpinBox *field)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(0);
    titles->addWidget(styledLabel(title, TextRole::Body));
    if (!detail.isEmpty())
        titles->addWidget(styledLabel(detail, TextRole::Caption, TextTone::Secondary));
    layout->addLayout(titles);
    layout->addStretch();
    layout->addWidget(field);
    layout->addWidget(styledLabel(texts::kbps, TextRole::Body, TextTone::Secondary));
    return row;
}

// A caption in orange behind a warning triangle.
QWidget *warningLine(const QString &name, const QString &text)
{
    auto *line = new QWidget;
    line->setObjectName(name);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::ExclamationmarkTriangleFill, 12, Theme::orange());
    layout->addWidget(icon, 0, Qt::AlignTop);
    QLabel *label = styledLabel(text, TextRole::Caption);
    label->setObjectName(name + QStringLiteral("Text"));
    tintText(*label, Theme::orange());
    layout->addWidget(label, 1);
    return line;
}

QFont monospacedBody()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

} // namespace

NetworkTab::NetworkTab(SettingsState &state, QWidget *parent)
    : SettingsForm(parent), m_state(state), m_env(state.env()), m_speedToolPath(SpeedTester::defaultToolPath)
{
    addConnection();
    addLimits();
    addSchedule();
    addAutoTune();
    addCustomWan();
    addLocalNetworks();
    addApplyRow();
    // What waits for "Apply" is applied by Return in its field too.
    for (QWidget *field : std::initializer_list<QWidget *>{m_downLimit, m_upLimit, m_relay, m_discovery})
        bindFieldsReturnKey(*field, *m_apply);
    finish();
    connect(&state, &SettingsState::netChanged, this, &NetworkTab::showNet);
    connect(&state, &SettingsState::activityChanged, this, &NetworkTab::showActivity);
    connect(&m_env.preferences(), &AppPreferences::bandwidthScheduleChanged, this, &NetworkTab::showSchedule);
    connect(&m_env.engineState(), &EngineController::networkLoadedChanged, this, &NetworkTab::showLoaded);
    showNet();
    showSchedule();
    showActivity();
    showLoaded();
}

QCheckBox *NetworkTab::netSwitch(const QString &title, const char *name, bool NetworkSettings::*field)
{
    auto *box = new RingedCheckBox(title);
    box->setObjectName(QString::fromLatin1(name));
    m_switches.append({box, field});
    connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
        editNet([field, on](NetworkSettings &net) { net.*field = on; });
    });
    return box;
}

QSpinBox *NetworkTab::limitField(const char *name)
{
    auto *field = new QSpinBox;
    field->setObjectName(QString::fromLatin1(name));
    // No range check beyond what a whole number of KB/s can be.
    field->setAlignment(Qt::AlignRight);
    field->setGroupSeparatorShown(true);
    field->setButtonSymbols(QAbstractSpinBox::NoButtons);
    // Wide enough for the largest whole number it holds (ten digits and
    // their separators) in the font and locale in use, and never narrower
    // than the design's field.
    field->setRange(0, std::numeric_limits<int>::max());
    field->setFixedWidth(std::max(kFieldWidth, field->sizeHint().width()));
    return field;
}

void NetworkTab::addConnection()
{
    FormSection *section = addSection(texts::sectionConnection);
    section->rows()->addWidget(
        netSwitch(texts::natTraversal, "natTraversal", &NetworkSettings::natTraversalEnabled));
    section->rows()->addWidget(
        netSwitch(texts::localDiscovery, "localDiscovery", &NetworkSettings::localDiscoveryEnabled));
    section->rows()->addWidget(
        netSwitch(texts::globalDiscovery, "globalDiscovery", &NetworkSettings::globalDiscoveryEnabled));
    section->rows()->addWidget(netSwitch(texts::relayFallback, "relay", &NetworkSettings::relayEnabled));
}

void NetworkTab::addLimits()
{
    FormSection *section = addSection(texts::sectionSpeedLimits);
    section->addCaption(texts::speedLimitsCaption);
    m_downLimit = limitField("downLimit");
    m_upLimit = limitField("upLimit");
    section->rows()->addWidget(limitRow(texts::maxDownload, texts::receivingFromOthers, m_downLimit));
    section->rows()->addWidget(limitRow(texts::maxUpload, texts::sendingToOthers, m_upLimit));
    connect(m_downLimit, &QSpinBox::valueChanged, this,
            [this](int kbps) { editNet([kbps](NetworkSettings &net) { net.downLimitKbps = kbps; }); });
    connect(m_upLimit, &QSpinBox::valueChanged, this,
            [this](int kbps) { editNet([kbps](NetworkSettings &net) { net.upLimitKbps = kbps; }); });
}

void NetworkTab::addSchedule()
{
    FormSection *section = addSection(texts::sectionScheduledThrottling);
    m_scheduleOn = new RingedCheckBox(texts::throttleDuringHours);
    m_scheduleOn->setObjectName(QStringLiteral("scheduleOn"));
    section->rows()->addWidget(m_scheduleOn);
    section->addCaption(texts::throttleCaption);

    m_scheduleRows = new QWidget;
    auto *rows = new QVBoxLayout(m_scheduleRows);
    rows->setContentsMargins(0, 0, 0, 0);
    m_startHour = new HourStepper(texts::fromHour);
    m_startHour->setObjectName(QStringLiteral("startHour"));
    m_endHour = new HourStepper(texts::toHour);
    m_endHour->setObjectName(QStringLiteral("endHour"));
    rows->addWidget(m_startHour, 0, Qt::AlignLeft);
    rows->addWidget(m_endHour, 0, Qt::AlignLeft);
    auto *days = new QHBoxLayout;
    days->setSpacing(6);
    for (int i = 0; i < 7; ++i) {
        auto *day = new QPushButton(texts::weekdayNames[i]);
        day->setObjectName(QStringLiteral("weekday") + texts::weekdayNames[i]);
        day->setCheckable(true);
        // Seven side by side fit the window only when narrow.
        day->setFixedWidth(day->fontMetrics().horizontalAdvance(QStringLiteral("Wed")) * 2);
        m_weekdays.append(day);
        days->addWidget(day);
        const int number = kWeekdayNumbers[i];
        connect(day, &QPushButton::clicked, this, [this, number] {
            BandwidthSchedule schedule = m_env.preferences().bandwidthSchedule();
            if (!schedule.weekdays.remove(number))
                schedule.weekdays.insert(number);
            m_env.preferences().setBandwidthSchedule(std::move(schedule));
        });
    }
    days->addStretch();
    rows->addLayout(days);
    m_throttledDown = limitField("throttledDown");
    m_throttledUp = limitField("throttledUp");
    rows->addWidget(limitRow(texts::throttledDownload, {}, m_throttledDown));
    rows->addWidget(limitRow(texts::throttledUpload, {}, m_throttledUp));
    m_warning = warningLine(QStringLiteral("scheduleWarning"), texts::scheduleSlowsNothing);
    rows->addWidget(m_warning);
    section->rows()->addWidget(m_scheduleRows);

    // Each edit is stored at once.
    const auto editSchedule = [this](auto edit) {
        BandwidthSchedule schedule = m_env.preferences().bandwidthSchedule();
        edit(schedule);
        m_env.preferences().setBandwidthSchedule(std::move(schedule));
    };
    connect(m_scheduleOn, &QCheckBox::clicked, this,
            [editSchedule](bool on) { editSchedule([on](BandwidthSchedule &s) { s.enabled = on; }); });
    connect(m_startHour, &QSpinBox::valueChanged, this,
            [editSchedule](int hour) { editSchedule([hour](BandwidthSchedule &s) { s.startHour = hour; }); });
    connect(m_endHour, &QSpinBox::valueChanged, this,
            [editSchedule](int hour) { editSchedule([hour](BandwidthSchedule &s) { s.endHour = hour; }); });
    connect(m_throttledDown, &QSpinBox::valueChanged, this, [editSchedule](int kbps) {
        editSchedule([kbps](BandwidthSchedule &s) { s.throttledDownKbps = kbps; });
    });
    connect(m_throttledUp, &QSpinBox::valueChanged, this, [editSchedule](int kbps) {
        editSchedule([kbps](BandwidthSchedule &s) { s.throttledUpKbps = kbps; });
    });
}

void NetworkTab::addAutoTune()
{
    FormSection *section = addSection(texts::sectionAutoTune);
    section->addCaption(texts::autoTuneCaption);
    m_test = new QPushButton(symbolIcon(Symbol::Speedometer), texts::testSpeed);
    m_test->setObjectName(QStringLiteral("testSpeed"));
    section->rows()->addWidget(m_test, 0, Qt::AlignLeft);
    connect(m_test, &QPushButton::clicked, this,
            [this] { measureSpeed(QPointer(&m_state), m_speedToolPath); });
    m_testFailed = warningLine(QStringLiteral("speedTestFailed"), texts::speedTestFailed);
    section->rows()->addWidget(m_testFailed);

    m_result = new QWidget;
    auto *result = new QVBoxLayout(m_result);
    result->setContentsMargins(0, 0, 0, 0);
    auto *ratesRow = new QHBoxLayout;
    ratesRow->addWidget(styledLabel(texts::measured, TextRole::Body));
    ratesRow->addStretch();
    m_rates = plainLabel();
    m_rates->setObjectName(QStringLiteral("measuredRates"));
    // Digits of one width, so the figures do not shift between tests.
    m_rates->setFont(monospacedBody());
    ratesRow->addWidget(m_rates);
    result->addLayout(ratesRow);
    m_suggestion = styledLabel({}, TextRole::Caption, TextTone::Secondary);
    m_suggestion->setObjectName(QStringLiteral("suggestion"));
    result->addWidget(m_suggestion);
    m_applySuggestion = new QPushButton;
    m_applySuggestion->setObjectName(QStringLiteral("applySuggestion"));
    result->addWidget(m_applySuggestion, 0, Qt::AlignLeft);
    section->rows()->addWidget(m_result);
    connect(m_applySuggestion, &QPushButton::clicked, this, &NetworkTab::applySuggestion);
}

void NetworkTab::addCustomWan()
{
    FormSection *section = addSection(texts::sectionCustomWan);
    m_relay = new QLineEdit;
    m_relay->setObjectName(QStringLiteral("customRelay"));
    m_discovery = new QLineEdit;
    m_discovery->setObjectName(QStringLiteral("customDiscovery"));
    // Each field keeps its title in sight once it holds an address.
    for (const auto &[field, title] : {std::pair{m_relay, texts::customRelay}, std::pair{m_discovery, texts::customDiscovery}}) {
        QLabel *label = styledLabel(title, TextRole::Callout);
        label->setObjectName(field->objectName() + QStringLiteral("Title"));
        label->setBuddy(field);
        field->setFont(monospacedBody());
        field->setAccessibleName(title);
        section->rows()->addWidget(label);
        section->rows()->addWidget(field);
    }
    section->addCaption(texts::customWanCaption);
    connect(m_relay, &QLineEdit::textEdited, this,
            [this](const QString &text) { editNet([&text](NetworkSettings &net) { net.customRelayURL = text; }); });
    connect(m_discovery, &QLineEdit::textEdited, this, [this](const QString &text) {
        editNet([&text](NetworkSettings &net) { net.customDiscoveryURL = text; });
    });
}

void NetworkTab::addLocalNetworks()
{
    FormSection *section = addSection(texts::sectionLocalNetworks);
    section->addCaption(texts::localNetworksCaption);
    m_localNets = plainTextEditor(QStringLiteral("alwaysLocalNets"));
    m_localNets->setFont(monospacedBody());
    m_localNets->setFixedHeight(60);
    section->rows()->addWidget(m_localNets);
    connect(m_localNets, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_localNets->toPlainText();
        editNet([&text](NetworkSettings &net) { net.alwaysLocalNets = text; });
    });
}

void NetworkTab::addApplyRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_notRead = styledLabel(texts::networkNotRead, TextRole::Caption, TextTone::Secondary);
    m_notRead->setObjectName(QStringLiteral("networkNotRead"));
    layout->addWidget(m_notRead, 1);
    layout->addStretch();
    m_apply = new QPushButton(texts::apply);
    m_apply->setObjectName(QStringLiteral("applyNetwork"));
    m_apply->setDefault(true);
    TintedButtonPainter::apply(*m_apply, ButtonTint::Prominent);
    layout->addWidget(m_apply);
    addPart(row);
    connect(m_apply, &QPushButton::clicked, this,
            [this] { applyNetwork(QPointer(&m_env), m_state.net()); });
}

void NetworkTab::editNet(const std::function<void(NetworkSettings &)> &edit)
{
    NetworkSettings net = m_state.net();
    edit(net);
    m_state.setNet(std::move(net));
}

void NetworkTab::showNet()
{
    const NetworkSettings &net = m_state.net();
    for (const auto &[box, field] : std::as_const(m_switches))
        box->setChecked(net.*field);
    setIfDifferent(m_downLimit, net.downLimitKbps);
    setIfDifferent(m_upLimit, net.upLimitKbps);
    // Rewriting a field being typed in would move its cursor.
    if (m_relay->text() != net.customRelayURL)
        m_relay->setText(net.customRelayURL);
    if (m_discovery->text() != net.customDiscoveryURL)
        m_discovery->setText(net.customDiscoveryURL);
    if (m_localNets->toPlainText() != net.alwaysLocalNets) {
        const QSignalBlocker blocker(m_localNets);
        m_localNets->setPlainText(net.alwaysLocalNets);
    }
}

void NetworkTab::showSchedule()
{
    const BandwidthSchedule &schedule = m_env.preferences().bandwidthSchedule();
    m_scheduleOn->setChecked(schedule.enabled);
    m_scheduleRows->setVisible(schedule.enabled);
    setIfDifferent(m_startHour, schedule.startHour);
    setIfDifferent(m_endHour, schedule.endHour);
    setIfDifferent(m_throttledDown, schedule.throttledDownKbps);
    setIfDifferent(m_throttledUp, schedule.throttledUpKbps);
    for (int i = 0; i < 7; ++i) {
        const bool on = schedule.weekdays.contains(kWeekdayNumbers[i]);
        m_weekdays[i]->setChecked(on);
        showWeekday(*m_weekdays[i], on);
    }
    m_warning->setVisible(schedule.throttledDownKbps == 0 && schedule.throttledUpKbps == 0);
}

// A chosen day is a bordered button tinted with the accent, painted with
// its text in the shade that reads on that face; the others are the
// style's own, their text secondary.
void NetworkTab::showWeekday(QAbstractButton &day, bool chosen)
{
    if (chosen) {
        TintedButtonPainter::apply(day, ButtonTint::Bordered);
        return;
    }
    TintedButtonPainter::clear(day);
    DerivedForeground::apply(day, windowTextAt(secondaryStrength));
}

void NetworkTab::showActivity()
{
    const SettingsState::Activity &activity = m_state.activity();
    m_test->setText(activity.speedTesting ? texts::testingSpeed : texts::testSpeed);
    setEnabledKeepingFocus(*m_test, !activity.speedTesting);
    m_testFailed->setVisible(activity.speedTestFailed);
    m_result->setVisible(activity.speedResult.has_value());
    if (const std::optional<MeasuredSpeed> &speed = activity.speedResult) {
        m_rates->setText(texts::measuredRates.arg(speed->downMbps).arg(speed->upMbps));
        m_suggestion->setText(texts::suggestedUploadLimit.arg(speed->suggestedUpKbps));
        m_applySuggestion->setText(texts::applySuggestedLimit.arg(speed->suggestedUpKbps));
    }
    showLoaded();
}

void NetworkTab::showLoaded()
{
    // Before the engine ever told its settings, an apply would overwrite
    // them with the initial ones.
    const bool loaded = m_env.engineState().networkLoaded();
    m_notRead->setVisible(!loaded);
    m_apply->setEnabled(loaded);
    const std::optional<MeasuredSpeed> &speed = m_state.activity().speedResult;
    m_applySuggestion->setEnabled(loaded && speed && speed->suggestedUpKbps >= 1);
}

void NetworkTab::applySuggestion()
{
    const std::optional<MeasuredSpeed> &speed = m_state.activity().speedResult;
    if (!speed)
        return;
    editNet([kbps = speed->suggestedUpKbps](NetworkSettings &net) { net.upLimitKbps = kbps; });
    applyNetwork(QPointer(&m_env), m_state.net());
}

} // namespace tw
