#include "views/joining/InviteSheet.h"

#include "app/AppEnvironment.h"
#include "cluster/InviteCodec.h"
#include "cluster/NasNodeController.h"
#include "cluster/QRCode.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "design/ButtonTint.h"
#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ElidedLabel.h"
#include "design/ElidedLine.h"
#include "design/FlowLayout.h"
#include "design/OneLineText.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "platform/TailscaleDetector.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "utilities/IsolatedName.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/DisclosureGroup.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/KeyedList.h"
#include "views/kit/LiteralAmpersands.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tw {
namespace {

QLabel *sectionHeader(const QString &text)
{
    QLabel *label = styledLabel(text, TextRole::Caption, TextTone::Tertiary);
    label->setFont(pointsFont(10, QFont::Medium));
    return label;
}

QLabel *smallNote(const QString &text)
{
    QLabel *label = styledLabel(text, TextRole::Caption2, TextTone::Secondary);
    return label;
}

// An icon and a text beside it, in one colour.
QWidget *iconLine(Symbol symbol, QLabel *text, const QColor &color)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    auto *icon = plainLabel();
    showSymbol(*icon, symbol, 12, color);
    layout->addWidget(icon);
    layout->addWidget(text, 1);
    tintText(*text, color);
    return row;
}

std::optional<Project> projectOf(const AppEnvironment &env, const QString &projectID)
{
    return env.projects().project(projectID);
}

// A small turning arc; it turns only while shown.
class Spinner : public QWidget
{
public:
    Spinner()
    {
        setFixedSize(14, 14);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent *) override { m_timer.start(); }
    void hideEvent(QHideEvent *) override { m_timer.stop(); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(secondaryTextColor(palette()), 2, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -m_angle * 16, 270 * 16);
    }

private:
    QTimer m_timer;
    int m_angle = 0;
};

} // namespace

// A Mac the engine knows that is not yet a member: one tap adds it. A
// capsule washed with the accent (green once added), its symbol and name in
// the shade of that colour that reads on it, painted at each draw so they
// follow the appearance. Its name, announced by that Mac, ends in "…" where
// the chip's line is narrower than it.
class InviteChip : public QPushButton
{
public:
    InviteChip(InviteSheet &sheet, const QString &deviceID)
    {
        setObjectName(QStringLiteral("chip:") + deviceID);
        setAutoDefault(false);
        setFlat(true);
        setFont(pointsFont(12, QFont::Medium));
        // Narrower than its name when its line is.
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        setIconSize({12, 12});
        QObject::connect(this, &QPushButton::clicked, &sheet,
                         [&sheet, deviceID, this] { sheet.addContact(deviceID, m_name); });
    }

    void show(const QString &name, bool added)
    {
        m_name = name;
        setEnabledKeepingFocus(*this, !added);
        const Symbol symbol = added ? Symbol::CheckmarkCircleFill : Symbol::PlusCircle;
        m_colour = added ? Theme::synced() : Theme::accent();
        showSymbol(*this, symbol);
        setIcon(symbolIcon(symbol, m_colour));
        updateGeometry();
        elide();
    }

    // Measured with the whole name, whatever is drawn.
    QSize sizeHint() const override { return withNameWidth(oneLineWidth(m_name, font())); }
    QSize minimumSizeHint() const override { return withNameWidth(leastOneLineWidth(m_name, font())); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = m_colour;
        fill.setAlphaF(0.15f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
        // An added Mac's chip is no longer pressable, but shows in its colour.
        const QSize side = iconSize();
        icon().paint(&painter, QRect(QPoint(kPadX, (height() - side.height()) / 2), side));
        drawElidedLine(painter, nameArea(), font(), readableOn(m_colour, palette(), textContrast, fill),
                       m_name, Qt::ElideRight);
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QPushButton::resizeEvent(event);
        elide();
    }

private:
    QRect nameArea() const
    {
        const int x = kPadX + iconSize().width() + kGap;
        return {x, 0, width() - x - kPadX, height()};
    }

    // The text is what is drawn, so that it reads as the chip shows it.
    void elide()
    {
        const QString shown = literalAmpersands(elidedToFit(m_name, font(), Qt::ElideRight, nameArea().width()));
        if (shown != text())
            setText(shown);
        update();
    }

    QSize withNameWidth(int nameWidth) const
    {
        return {2 * kPadX + iconSize().width() + kGap + nameWidth + 1,
                std::max(QFontMetrics(font()).height(), iconSize().height()) + 2 * kPadY};
    }

    static constexpr int kPadX = 9;
    static constexpr int kPadY = 4;
    static constexpr int kGap = 4;
    static constexpr qreal kRadius = 10;
    QString m_name;
    QColor m_colour = Theme::accent();
};

InviteSheet::InviteSheet(AppEnvironment &env, QString projectID, QWidget *parent, TailnetAddress tailnet)
    : QDialog(parent)
    , m_env(env)
    , m_projectID(std::move(projectID))
    , m_tailnet(tailnet ? std::move(tailnet) : TailnetAddress(&TailscaleDetector::localTailscaleIPv4))
{
    setWindowTitle(texts::inviteAMac);
    setSheetWidth(*this, width);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    layout->addWidget(styledLabel(texts::inviteAMac, TextRole::Title2));
    m_subtitle = styledLabel({}, TextRole::Caption, TextTone::Secondary);
    m_subtitle->setObjectName(QStringLiteral("subtitle"));
    layout->addWidget(m_subtitle);
    layout->addWidget(sectionHeader(texts::sendYourInvite));
    layout->addWidget(buildInviteRow());
    m_tailscaleText = styledLabel({}, TextRole::Caption);
    m_tailscaleText->setObjectName(QStringLiteral("tailscale"));
    m_tailscale = iconLine(Symbol::LockShield, m_tailscaleText, Theme::synced());
    layout->addWidget(m_tailscale);
    layout->addWidget(buildContacts());
    layout->addWidget(buildNode());

    auto *waiting = new QHBoxLayout;
    waiting->setSpacing(8);
    m_spinner = new Spinner;
    m_spinner->setObjectName(QStringLiteral("spinner"));
    waiting->addWidget(m_spinner);
    m_joined = plainLabel();
    m_joined->setObjectName(QStringLiteral("joined"));
    showSymbol(*m_joined, Symbol::CheckmarkCircleFill, m_spinner->width(), Theme::synced());
    waiting->addWidget(m_joined);
    waiting->addWidget(styledLabel(texts::whenTheyConnect, TextRole::Caption, TextTone::Secondary), 1);
    layout->addLayout(waiting);
    layout->addWidget(buildPaste());
    layout->addWidget(buildBottom());

    connect(&m_env, &AppEnvironment::stateChanged, this, &InviteSheet::refresh);
    refresh();
}

InviteSheet::~InviteSheet() = default;

QWidget *InviteSheet::buildInviteRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    m_qr = plainLabel();
    m_qr->setObjectName(QStringLiteral("qrCode"));
    m_qr->setFixedSize(qrFrame, qrFrame);
    m_qr->setAlignment(Qt::AlignCenter);
    m_qr->setStyleSheet(QStringLiteral("background: white; border-radius: 8px;"));
    layout->addWidget(m_qr, 0, Qt::AlignTop);
    m_notReady = styledLabel(texts::notReadyYet, TextRole::Caption, TextTone::Secondary);
    m_notReady->setObjectName(QStringLiteral("notReady"));
    m_notReady->setFixedWidth(qrFrame);
    layout->addWidget(m_notReady, 0, Qt::AlignTop);

    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    m_copy = new QPushButton(texts::copyInviteLink);
    m_copy->setObjectName(QStringLiteral("copyLink"));
    TintedButtonPainter::apply(*m_copy, ButtonTint::Prominent);
    m_copy->setAutoDefault(false);
    showSymbol(*m_copy, Symbol::Link);
    connect(m_copy, &QPushButton::clicked, this, &InviteSheet::copyLink);
    buttons->addWidget(m_copy);
    m_share = new QPushButton(texts::shareEllipsis);
    m_share->setObjectName(QStringLiteral("share"));
    m_share->setAutoDefault(false);
    showSymbol(*m_share, Symbol::SquareAndArrowUp);
    connect(m_share, &QPushButton::clicked, this, &InviteSheet::share);
    buttons->addWidget(m_share);
    buttons->addWidget(smallNote(texts::scanOrOpen));
    layout->addLayout(buttons, 1);
    return row;
}

QWidget *InviteSheet::buildContacts()
{
    m_contacts = new QWidget;
    m_contacts->setObjectName(QStringLiteral("contacts"));
    auto *layout = new QVBoxLayout(m_contacts);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(sectionHeader(texts::orAddSomeone));
    auto *flowHost = new QWidget;
    auto *flow = new FlowLayout(6, 6, flowHost);
    flow->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(flowHost);
    m_chips = new KeyedList<InviteChip>(flow, [this](const QString &id) { return new InviteChip(*this, id); });
    m_chips->setParent(this);
    layout->addWidget(smallNote(texts::oneTapNote));
    return m_contacts;
}

QWidget *InviteSheet::buildNode()
{
    m_node = new QWidget;
    m_node->setObjectName(QStringLiteral("node"));
    auto *layout = new QVBoxLayout(m_node);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(sectionHeader(texts::alwaysOnNode));
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::ExternaldriveBadgeCheckmark, 14, Theme::accent());
    row->addWidget(icon);
    m_nodeName = new ElidedLabel(Qt::ElideRight);
    m_nodeName->setObjectName(QStringLiteral("nodeName"));
    m_nodeName->setFont(pointsFont(12, QFont::Medium));
    row->addWidget(m_nodeName);
    row->addStretch();
    QLabel *member = styledLabel(texts::inThisSync, TextRole::Caption);
    m_nodeMember = iconLine(Symbol::CheckmarkCircleFill, member, Theme::synced());
    m_nodeMember->setObjectName(QStringLiteral("nodeMember"));
    // At the end of the row, where the button stands until the node is in.
    m_nodeMember->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    row->addWidget(m_nodeMember);
    m_addNode = new QPushButton(texts::addToThisSync);
    m_addNode->setObjectName(QStringLiteral("addNode"));
    m_addNode->setAutoDefault(false);
    applyTextStyle(*m_addNode, TextStyle::Caption);
    TintedButtonPainter::apply(*m_addNode, ButtonTint::Prominent);
    connect(m_addNode, &QPushButton::clicked, this,
            [this] { detach(m_env.projects().addNasNode(m_projectID)); });
    row->addWidget(m_addNode);
    layout->addLayout(row);
    layout->addWidget(smallNote(texts::nasKeepsCopy));
    return m_node;
}

QWidget *InviteSheet::buildPaste()
{
    auto *group = new DisclosureGroup(texts::pasteTheirInvite);
    group->setObjectName(QStringLiteral("pasteGroup"));
    applyTextStyle(*group->toggle(), TextStyle::Caption);
    m_paste = new QLineEdit;
    m_paste->setObjectName(QStringLiteral("paste"));
    m_paste->setPlaceholderText(texts::pastePlaceholder);
    applyTextRole(m_paste, TextRole::MonospacedCaption);
    group->content()->addWidget(m_paste);
    // One line, its room kept: a pasted ID, whatever name the link gives,
    // moves no button below it.
    m_willAdd = new ElidedLabel(Qt::ElideRight);
    applyTextRole(m_willAdd, TextRole::Caption);
    m_willAdd->setObjectName(QStringLiteral("willAdd"));
    tintText(*m_willAdd, Theme::synced());
    m_willAdd->setFullText(texts::willAdd + texts::theirMac);
    m_willAdd->setMinimumHeight(m_willAdd->sizeHint().height());
    m_willAdd->setFullText({});
    QSizePolicy keepRoom = m_willAdd->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_willAdd->setSizePolicy(keepRoom);
    m_willAdd->hide();
    group->content()->addWidget(m_willAdd);
    connect(m_paste, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_pasted = InviteCodec::decode(text);
        const bool usable = m_pasted && !m_pasted->deviceID.isEmpty();
        const QString name = !usable || m_pasted->name.isEmpty() ? texts::theirMac : isolatedName(m_pasted->name);
        m_willAdd->setFullText(usable ? texts::willAdd + name : QString());
        m_willAdd->setVisible(usable);
    });
    return group;
}

QWidget *InviteSheet::buildBottom()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(styledLabel(texts::theyGet, TextRole::Caption, TextTone::Secondary));
    m_role = new QComboBox;
    m_role->setObjectName(QStringLiteral("role"));
    m_role->addItem(texts::fullAccess, int(MemberRole::Editor));
    m_role->addItem(texts::receiveOnly, int(MemberRole::Viewer));
    m_role->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layout->addWidget(m_role);
    layout->addStretch();
    auto *done = new QPushButton(texts::done);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    bindReturnKey(*this, *done);
    TintedButtonPainter::apply(*done, ButtonTint::Prominent);
    connect(done, &QPushButton::clicked, this, [this] {
        addPastedIfAny();
        accept();
    });
    layout->addWidget(done);
    return row;
}

MemberRole InviteSheet::role() const
{
    return MemberRole(m_role->currentData().toInt());
}

Invite InviteSheet::myInvite() const
{
    const QString &name = m_env.engineState().deviceName();
    const std::optional<Project> project = projectOf(m_env, m_projectID);
    const std::optional<ProjectMember> node = project ? project->alwaysOnNode() : std::nullopt;
    return Invite{.deviceID = m_env.devices().localDeviceID(),
                  .name = name.isEmpty() ? texts::myMac : name,
                  .project = project ? project->name : QString(),
                  .tsIP = m_tailnet(),
                  .nodeID = node ? std::optional(node->deviceID) : std::nullopt,
                  .nodeName = node ? node->displayName : QString()};
}

void InviteSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        m_env.projects().openPairingWindow(m_projectID);
}

void InviteSheet::refresh()
{
    const std::optional<Project> project = projectOf(m_env, m_projectID);
    m_subtitle->setText(texts::inviteSubtitleBefore + isolatedName(project ? project->name : QString()) +
                        texts::inviteSubtitleAfter);
    refreshInvite(myInvite());
    refreshContacts();
    refreshNode();
    refreshWaiting(project);
}

void InviteSheet::refreshWaiting(const std::optional<Project> &project)
{
    // A Mac asking to join this sync while the sheet is open is the one it
    // waits for; once allowed in, the spinner has nothing left to wait for.
    const std::optional<ProjectController::PendingDeviceApproval> &asking = m_env.projects().pendingDeviceApproval();
    if (asking && asking->projectID == m_projectID)
        m_askedToJoin.insert(asking->deviceID);
    const bool joined = project && std::any_of(project->members.cbegin(), project->members.cend(),
                                               [this](const ProjectMember &m) { return m_askedToJoin.contains(m.deviceID); });
    m_spinner->setVisible(!joined);
    m_joined->setVisible(joined);
}

void InviteSheet::refreshInvite(const Invite &invite)
{
    const bool ready = !invite.deviceID.isEmpty();
    m_copy->setEnabled(ready);
    m_share->setEnabled(ready);
    m_notReady->setVisible(!ready);
    const QString code = InviteCodec::code(invite);
    // The QR image is remade only for a new code.
    if (ready && (!m_codeShown || code != m_shownCode)) {
        const std::optional<QImage> image = QRCode::image(code, qrSize);
        ++m_qrRenders;
        // Scaled without smoothing, so the modules stay sharp-edged.
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap;
        if (image) {
            const int side = qRound(qrFrame * ratio);
            pixmap = QPixmap::fromImage(
                image->scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation));
            pixmap.setDevicePixelRatio(ratio);
        }
        m_qr->setPixmap(pixmap);
        m_shownCode = code;
        m_codeShown = true;
    }
    m_qr->setVisible(ready);
    m_tailscale->setVisible(invite.tsIP.has_value());
    m_tailscaleText->setText(texts::tailscaleBefore + invite.tsIP.value_or(QString()) + texts::tailscaleAfter);
}

void InviteSheet::refreshContacts()
{
    QSet<QString> members;
    if (const std::optional<Project> project = projectOf(m_env, m_projectID))
        for (const ProjectMember &member : project->members)
            members.insert(member.deviceID);
    QStringList ids;
    QList<AppEnvironment::PeerDevice> known;
    // A Mac tapped here stays, shown as added, until the sheet closes: its
    // chip going would move the sheet's buttons under the pointer.
    for (const AppEnvironment::PeerDevice &peer : m_env.knownPeerDevices()) {
        if (members.contains(peer.deviceID) && !m_addedContacts.contains(peer.deviceID))
            continue;
        ids.append(peer.deviceID);
        known.append(peer);
    }
    m_contacts->setVisible(!known.isEmpty());
    m_chips->setIDs(ids);
    for (const AppEnvironment::PeerDevice &peer : known)
        if (InviteChip *chip = m_chips->child(peer.deviceID))
            chip->show(peer.name, m_addedContacts.contains(peer.deviceID));
}

void InviteSheet::refreshNode()
{
    const QList<NasNode> &nodes = m_env.nasNode().nodes();
    m_node->setVisible(!nodes.isEmpty());
    if (nodes.isEmpty())
        return;
    const NasNode &node = nodes.front();
    m_nodeName->setFullText(node.name);
    const std::optional<Project> project = projectOf(m_env, m_projectID);
    const bool member = project && std::any_of(project->members.cbegin(), project->members.cend(),
                                               [&node](const ProjectMember &m) { return m.deviceID == node.deviceID; });
    m_nodeMember->setVisible(member);
    m_addNode->setVisible(!member);
}

void InviteSheet::copyLink()
{
    const Invite invite = myInvite();
    if (invite.deviceID.isEmpty())
        return;
    const std::optional<QUrl> link = InviteCodec::url(invite);
    copyPlainText(link ? link->toString(QUrl::FullyEncoded) : InviteCodec::code(invite));
}

void InviteSheet::share()
{
    copyLink();
}

void InviteSheet::addContact(const QString &deviceID, const QString &name)
{
    if (m_addedContacts.contains(deviceID))
        return;
    m_addedContacts.insert(deviceID);
    if (InviteChip *chip = m_chips->child(deviceID))
        chip->show(name, true);
    detach(m_env.projects().addMember(m_projectID, deviceID, name, role(), false, std::nullopt));
}

void InviteSheet::addPastedIfAny()
{
    if (!m_pasted || m_pasted->deviceID.isEmpty())
        return;
    std::optional<QStringList> addresses;
    if (m_pasted->tsIP)
        addresses = ProjectController::tailnetAddresses(*m_pasted->tsIP);
    const QString name = m_pasted->name.isEmpty() ? texts::pastedMacName : m_pasted->name;
    detach(m_env.projects().addMember(m_projectID, m_pasted->deviceID, name, role(), false, std::move(addresses)));
}

} // namespace tw
