#include "views/joining/IncomingView.h"

#include "app/AppEnvironment.h"
#include "design/ButtonTint.h"
#include "design/CardFrame.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "engine/SyncEngine.h"
#include "projects/OfferGroup.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/kit/KeyedList.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/StyledLabel.h"
#include "views/shell/FolderPicker.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tw {
namespace {

QLabel *symbolLabel(Symbol symbol, int side, const QColor &color)
{
    auto *icon = plainLabel();
    showSymbol(*icon, symbol, side, color);
    return icon;
}

// In the secondary colour of whichever appearance is shown.
QLabel *secondarySymbol(Symbol symbol, int side)
{
    auto *icon = new QLabel;
    showSymbol(*icon, symbol, side, windowTextAt(secondaryStrength));
    return icon;
}

QPushButton *rowButton(const QString &text, const char *name, bool small)
{
    auto *button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    if (small)
        applyTextStyle(*button, TextStyle::Caption);
    return button;
}

QVBoxLayout *column(int spacing)
{
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QString countLine(const OfferGroup &group)
{
    const qsizetype count = group.items.size();
    return QString::number(count) + texts::folderCountFolder + (count == 1 ? QString() : texts::folderCountPlural) +
           texts::cardSharedBy + isolatedName(group.items.value(0).offeredByName);
}

QString soloCaption(const PendingFolder &folder, int offers)
{
    QString caption = texts::soloSharedBy + isolatedName(folder.offeredByName);
    if (offers >= 2)
        caption += texts::soloMoreBefore + QString::number(offers - 1) + texts::soloMoreAfter;
    return caption;
}

// A folder ID may hold "|", a device ID never does.
QString folderIDOf(const QString &identity)
{
    return identity.left(identity.lastIndexOf(QLatin1Char('|')));
}

} // namespace

// One folder of a sync card.
class IncomingFolderLine : public QWidget
{
public:
    IncomingFolderLine(IncomingView &view, QString identity, QString folderID)
    {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        layout->addWidget(secondarySymbol(Symbol::Folder, 14));
        m_name = new ElidedLabel(Qt::ElideRight);
        m_name->setObjectName(QStringLiteral("folderName"));
        applyTextStyle(*m_name, TextStyle::Subheadline);
        layout->addWidget(m_name);
        layout->addStretch();
        QPushButton *ignore = rowButton(texts::ignore, "ignore", true);
        QObject::connect(ignore, &QPushButton::clicked, &view, [&view, folderID] { view.ignoreFolder(folderID); });
        layout->addWidget(ignore);
        QPushButton *place = rowButton(texts::placeEllipsis, "place", true);
        TintedButtonPainter::apply(*place, ButtonTint::Prominent);
        QObject::connect(place, &QPushButton::clicked, &view, [&view, identity] { view.placeFolder(identity); });
        layout->addWidget(place);
    }

    void show(const PendingFolder &folder) { m_name->setFullText(ProjectController::folderPartOf(folder.label)); }

private:
    ElidedLabel *m_name;
};

// A group of offers: a sync card with its folder lines, or a solo row.
class IncomingOfferRow : public CardFrame
{
public:
    IncomingOfferRow(IncomingView &view, const QString &key) : CardFrame(new QWidget), m_view(view)
    {
        setObjectName(QStringLiteral("offer:") + key);
        if (const std::optional<QString> folderID = OfferGroup::soloFolderID(key))
            buildSolo(*folderID);
        else
            buildCard();
    }

    void show(const OfferGroup &group, const QList<PendingFolder> &pending)
    {
        if (m_lines) {
            m_title->setFullText(group.sync.value_or(QString()));
            m_caption->setText(countLine(group));
            QStringList ids;
            for (const PendingFolder &folder : group.items)
                ids.append(folder.identity());
            m_lines->setIDs(ids);
            for (const PendingFolder &folder : group.items)
                if (IncomingFolderLine *line = m_lines->child(folder.identity()))
                    line->show(folder);
            return;
        }
        const PendingFolder &folder = group.items.front();
        m_identity = folder.identity();
        m_title->setFullText(ProjectController::folderPartOf(folder.label));
        m_caption->setText(soloCaption(folder, offerCount(pending, folder.folderID)));
    }

    bool isCard() const { return m_lines != nullptr; }

private:
    ElidedLabel *titleLabel()
    {
        auto *title = new ElidedLabel(Qt::ElideRight);
        title->setObjectName(QStringLiteral("title"));
        applyTextStyle(*title, TextStyle::Headline);
        return title;
    }

    QLabel *captionLabel()
    {
        QLabel *caption = styledLabel({}, TextRole::Caption, TextTone::Secondary);
        caption->setObjectName(QStringLiteral("caption"));
        return caption;
    }

    void buildCard()
    {
        QVBoxLayout *layout = column(10);
        content()->setLayout(layout);
        auto *header = new QHBoxLayout;
        header->setSpacing(10);
        header->addWidget(symbolLabel(Symbol::RectangleStackBadgePlus, 22, Theme::accent()));
        QVBoxLayout *names = column(1);
        m_title = titleLabel();
        names->addWidget(m_title);
        m_caption = captionLabel();
        names->addWidget(m_caption);
        header->addLayout(names, 1);
        layout->addLayout(header);
        auto *divider = new QFrame;
        divider->setFrameShape(QFrame::HLine);
        divider->setFrameShadow(QFrame::Plain);
        DerivedForeground::apply(*divider, windowTextAt(0.15, 0));
        layout->addWidget(divider);
        QVBoxLayout *lines = column(8);
        layout->addLayout(lines);
        m_lines = new KeyedList<IncomingFolderLine>(lines, [this](const QString &identity) {
            return new IncomingFolderLine(m_view, identity, folderIDOf(identity));
        });
        m_lines->setParent(this);
    }

    void buildSolo(const QString &folderID)
    {
        auto *layout = new QHBoxLayout(content());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(12);
        layout->addWidget(symbolLabel(Symbol::FolderBadgePlus, 22, Theme::accent()));
        QVBoxLayout *names = column(2);
        m_title = titleLabel();
        names->addWidget(m_title);
        m_caption = captionLabel();
        names->addWidget(m_caption);
        layout->addLayout(names, 1);
        QPushButton *ignore = rowButton(texts::ignore, "ignore", false);
        IncomingView *view = &m_view;
        QObject::connect(ignore, &QPushButton::clicked, view, [view, folderID] { view->ignoreFolder(folderID); });
        layout->addWidget(ignore);
        QPushButton *place = rowButton(texts::placeEllipsis, "place", false);
        TintedButtonPainter::apply(*place, ButtonTint::Prominent);
        QObject::connect(place, &QPushButton::clicked, this, [this] { m_view.placeFolder(m_identity); });
        layout->addWidget(place);
    }

    IncomingView &m_view;
    ElidedLabel *m_title = nullptr;
    QLabel *m_caption = nullptr;
    KeyedList<IncomingFolderLine> *m_lines = nullptr;
    QString m_identity;
};

// A device asking to connect.
class IncomingDeviceRow : public CardFrame
{
public:
    IncomingDeviceRow(IncomingView &view, const QString &id) : CardFrame(new QWidget)
    {
        setObjectName(QStringLiteral("device:") + id);
        auto *layout = new QHBoxLayout(content());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(12);
        layout->addWidget(secondarySymbol(Symbol::LaptopcomputerAndArrowDown, 22));
        QVBoxLayout *names = column(2);
        m_name = new ElidedLabel(Qt::ElideRight);
        m_name->setObjectName(QStringLiteral("name"));
        applyTextStyle(*m_name, TextStyle::Headline);
        names->addWidget(m_name);
        auto *idLabel = new ElidedLabel;
        idLabel->setObjectName(QStringLiteral("deviceID"));
        applyTextRole(idLabel, TextRole::MonospacedCaption);
        applyTextTone(idLabel, TextTone::Secondary);
        idLabel->setFullText(id);
        names->addWidget(idLabel);
        layout->addLayout(names, 1);
        QPushButton *ignore = rowButton(texts::ignore, "ignore", false);
        QObject::connect(ignore, &QPushButton::clicked, &view, [&view, id] { view.ignoreDevice(id); });
        layout->addWidget(ignore);
        QPushButton *accept = rowButton(texts::accept, "accept", false);
        TintedButtonPainter::apply(*accept, ButtonTint::Prominent);
        QObject::connect(accept, &QPushButton::clicked, &view, [&view, id] { view.acceptDevice(id); });
        layout->addWidget(accept);
    }

    void show(const PendingDevice &device) { m_name->setFullText(device.name); }

private:
    ElidedLabel *m_name;
};

namespace {

QWidget *section(const QString &heading, QLayout *rows)
{
    auto *widget = new QWidget;
    QVBoxLayout *layout = column(8);
    widget->setLayout(layout);
    auto *title = plainLabel(heading);
    applyTextStyle(*title, TextStyle::Headline);
    layout->addWidget(title);
    layout->addLayout(rows);
    return widget;
}

QWidget *emptyState(QWidget *parent)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(QStringLiteral("emptyState"));
    QVBoxLayout *layout = column(10);
    widget->setLayout(layout);
    layout->addSpacing(40);
    QLabel *icon = secondarySymbol(Symbol::Tray, 40);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *title = styledLabel(texts::noIncomingRequests, TextRole::Title3);
    title->setFont(styledFont(TextStyle::Title3, QFont::Bold));
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    QLabel *note = styledLabel(texts::noIncomingNote, TextRole::Callout, TextTone::Secondary);
    note->setAlignment(Qt::AlignHCenter);
    note->setMaximumWidth(400);
    layout->addWidget(note, 0, Qt::AlignHCenter);
    return widget;
}

} // namespace

IncomingView::IncomingView(AppEnvironment &env, AcceptFolderSheet::PickFolder pickFolder, QWidget *parent)
    : RefreshingView(parent)
    , m_env(env)
    , m_pickFolder(pickFolder ? std::move(pickFolder) : AcceptFolderSheet::PickFolder(&FolderPicker::pickFolder))
{
    setWindowTitle(texts::incoming);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    outer->addWidget(scroll);

    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);
    m_empty = emptyState(body);
    layout->addWidget(m_empty);
    QVBoxLayout *groupRows = column(8);
    m_foldersSection = section(texts::foldersSharedWithYou, groupRows);
    m_foldersSection->setObjectName(QStringLiteral("foldersSection"));
    layout->addWidget(m_foldersSection);
    QVBoxLayout *deviceRows = column(8);
    m_devicesSection = section(texts::devicesWantToConnect, deviceRows);
    m_devicesSection->setObjectName(QStringLiteral("devicesSection"));
    layout->addWidget(m_devicesSection);
    layout->addStretch();
    scroll->setWidget(body);

    m_groups = new KeyedList<IncomingOfferRow>(groupRows, [this](const QString &key) {
        return new IncomingOfferRow(*this, key);
    });
    m_groups->setParent(this);
    m_devices = new KeyedList<IncomingDeviceRow>(deviceRows, [this](const QString &id) {
        return new IncomingDeviceRow(*this, id);
    });
    m_devices->setParent(this);
    followState(env);
}

IncomingView::~IncomingView() = default;

void IncomingView::refreshContents()
{
    const ProjectController &projects = m_env.projects();
    const QList<PendingFolder> &pending = projects.pendingFolders();
    const QList<PendingDevice> &devices = projects.pendingDevices();
    const QList<OfferGroup> groups = groupedBySync(dedupedFolders(pending));

    m_empty->setVisible(pending.isEmpty() && devices.isEmpty());
    m_foldersSection->setVisible(!groups.isEmpty());
    m_devicesSection->setVisible(!devices.isEmpty());

    QStringList keys;
    for (const OfferGroup &group : groups)
        keys.append(group.key);
    m_groups->setIDs(keys);
    for (const OfferGroup &group : groups)
        if (IncomingOfferRow *row = m_groups->child(group.key))
            row->show(group, pending);

    QStringList ids;
    for (const PendingDevice &device : devices)
        ids.append(device.id);
    m_devices->setIDs(ids);
    for (const PendingDevice &device : devices)
        if (IncomingDeviceRow *row = m_devices->child(device.id))
            row->show(device);
}

void IncomingView::placeFolder(const QString &offerIdentity)
{
    const QList<PendingFolder> kept = dedupedFolders(m_env.projects().pendingFolders());
    const auto found = std::find_if(kept.cbegin(), kept.cend(), [&offerIdentity](const PendingFolder &folder) {
        return folder.identity() == offerIdentity;
    });
    if (found == kept.cend() || m_sheet)
        return;
    m_acceptingFolder = *found;
    m_sheet = new AcceptFolderSheet(m_env, *found, m_pickFolder, this);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->setWindowModality(Qt::WindowModal);
    connect(m_sheet, &QDialog::finished, this, [this] { m_acceptingFolder.reset(); });
    m_sheet->open();
}

void IncomingView::ignoreFolder(const QString &folderID)
{
    detach(m_env.projects().dismissIncomingFolderAll(folderID));
}

void IncomingView::acceptDevice(const QString &deviceID)
{
    const QList<PendingDevice> &devices = m_env.projects().pendingDevices();
    const auto found = std::find_if(devices.cbegin(), devices.cend(),
                                    [&deviceID](const PendingDevice &device) { return device.id == deviceID; });
    if (found == devices.cend())
        return;
    detach(addDevice(&m_env.projects(), &m_env.engine(), found->id, found->name));
}

void IncomingView::ignoreDevice(const QString &deviceID)
{
    detach(dismissDevice(&m_env.projects(), &m_env.engine(), deviceID));
}

QCoro::Task<void> IncomingView::addDevice(QPointer<ProjectController> projects, QPointer<SyncEngine> engine,
                                          QString id, QString name)
{
    if (!engine)
        co_return;
    const NewDeviceRequest request{.id = id, .name = name, .addresses = std::nullopt, .introducer = false};
    try {
        co_await engine->addDevice(request);
    } catch (const std::exception &) {
        if (projects)
            projects->setLastErrorMessage(texts::couldntAddDevice);
        co_return;
    }
    if (!projects)
        co_return;
    co_await projects->refreshPending();
    if (projects)
        co_await projects->reconcileAll();
}

QCoro::Task<void> IncomingView::dismissDevice(QPointer<ProjectController> projects, QPointer<SyncEngine> engine,
                                              QString id)
{
    try {
        if (engine)
            co_await engine->dismissPendingDevice(id);
    } catch (const std::exception &) {
        // The refresh below shows the device again if the engine still lists it.
    }
    if (projects)
        co_await projects->refreshPending();
}

} // namespace tw
