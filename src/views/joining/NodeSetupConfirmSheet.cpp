#include "views/joining/NodeSetupConfirmSheet.h"

#include "app/AppEnvironment.h"
#include "cluster/NasNodeController.h"
#include "cluster/NodeSetupCodec.h"
#include "controllers/FolderController.h"
#include "design/ButtonTint.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/Symbol.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "views/kit/EnabledKeepingFocus.h"
#include "views/kit/MessageRow.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {
namespace {

const QString kTitle = u"Connect this backup?"_qs;
const QString kDescription =
    u"This is what the setup command just found on your network. Once connected, TidewellMesh keeps it in every "
    u"sync automatically \u2014 no more manual steps on the NAS."_qs;
const QString kNoErrorText = u"Couldn't reach it \u2014 check it's still on the same network."_qs;
const QString kRefusedAddress =
    u"This address isn't one web address with its port, like http://192.168.1.50:8384 \u2014 it can't be "
    u"connected. Run the setup command again, or connect by hand in Settings \u2192 Team."_qs;
const QString kConnect = u"Connect"_qs;
const QString kConnecting = u"Connecting\u2026"_qs;

} // namespace

NodeSetupConfirmSheet::NodeSetupConfirmSheet(AppEnvironment &env, NodeSetupPayload payload, QWidget *parent)
    : QDialog(parent), m_env(env), m_payload(std::move(payload))
{
    setWindowTitle(kTitle);
    setSheetWidth(*this, width);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addWidget(styledLabel(kTitle, TextRole::Title2));

    auto *found = new QHBoxLayout;
    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::ExternaldriveBadgeCheckmark, 28, Theme::accent());
    found->addWidget(icon, 0, Qt::AlignTop);
    auto *names = new QVBoxLayout;
    // Both come from a link any page may have opened: shown as plain text.
    QLabel *name = styledLabel(m_payload.name, TextRole::Headline);
    name->setObjectName(QStringLiteral("nodeName"));
    names->addWidget(name);
    QLabel *address = styledLabel(m_payload.baseURL, TextRole::Caption, TextTone::Secondary);
    address->setObjectName(QStringLiteral("nodeAddress"));
    names->addWidget(address);
    found->addLayout(names, 1);
    layout->addLayout(found);

    layout->addWidget(styledLabel(kDescription, TextRole::Caption, TextTone::Secondary));
    QLabel *error = styledLabel({}, TextRole::Caption);
    error->setObjectName(QStringLiteral("error"));
    tintText(*error, Theme::danger());
    // Between the buttons: "Connect" stays under the pointer for another try.
    m_error = new MessageRow(error);
    auto *cancel = new QPushButton(u"Cancel"_qs);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_error->addBefore(cancel);
    m_connect = new QPushButton(kConnect);
    m_connect->setObjectName(QStringLiteral("connect"));
    m_connect->setDefault(true);
    bindReturnKey(*this, *m_connect);
    TintedButtonPainter::apply(*m_connect, ButtonTint::Prominent);
    connect(m_connect, &QPushButton::clicked, this, &NodeSetupConfirmSheet::startConnect);
    m_error->addAfter(m_connect);
    layout->addWidget(m_error);
    // Any page may open a link, with more than an address after the address.
    m_addressRefused = !NodeSetupCodec::isNodeAddress(m_payload.baseURL);
    if (m_addressRefused) {
        showError(kRefusedAddress);
        m_connect->setEnabled(false);
    }
}

void NodeSetupConfirmSheet::done(int result)
{
    AppEnvironment &env = m_env;
    const NodeSetupPayload payload = m_payload;
    m_closed = true;
    QDialog::done(result);
    // Whoever shows the sheet may delete it when the pending set-up goes:
    // nothing of `this` is touched after it.
    if (env.pendingNodeSetup() == payload)
        env.setPendingNodeSetup(std::nullopt);
}

void NodeSetupConfirmSheet::startConnect()
{
    // One attempt at a time, whatever reaches the button.
    if (m_connecting || m_addressRefused)
        return;
    connectNode(QPointer(this), QPointer(&m_env), m_payload);
}

QCoro::Task<void> NodeSetupConfirmSheet::connectNode(QPointer<NodeSetupConfirmSheet> self,
                                                     QPointer<AppEnvironment> env, NodeSetupPayload payload)
{
    self->setConnecting(true);
    self->showError(std::nullopt);
    try {
        const bool registered = co_await env->nasNode().configure(payload.baseURL, payload.apiKey, payload.name);
        if (!env)
            co_return;
        if (!registered) {
            const std::optional<QString> error = env->nasNode().lastError();
            if (self) {
                self->showError(error && !error->isEmpty() ? *error : kNoErrorText);
                self->setConnecting(false);
            }
            co_return;
        }
        co_await env->projects().reconcileAll();
        if (!env)
            co_return;
        co_await env->folders().refresh();
    } catch (...) {
        // The controllers answer instead of throwing; should one throw, the
        // sheet must not stay busy.
        if (self) {
            self->showError(kNoErrorText);
            self->setConnecting(false);
        }
        co_return;
    }
    if (self) {
        self->setConnecting(false);
        // A sheet cancelled meanwhile is closed once only.
        if (!self->m_closed)
            self->accept();
    }
}

void NodeSetupConfirmSheet::setConnecting(bool connecting)
{
    m_connecting = connecting;
    m_connect->setText(connecting ? kConnecting : kConnect);
    setEnabledKeepingFocus(*m_connect, !connecting);
}

void NodeSetupConfirmSheet::showError(const std::optional<QString> &message)
{
    m_error->showMessage(message);
}

} // namespace tw
