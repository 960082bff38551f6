#include "views/joining/JoinSheet.h"

#include "app/AppPreferences.h"

#include "app/AppEnvironment.h"
#include "design/ButtonTint.h"
#include "design/CardFrame.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "projects/ProjectController.h"
#include "utilities/Detach.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/PlainLabel.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

JoinSheet::JoinSheet(AppEnvironment &env, Invite invite, OnJoined onJoined, QWidget *parent)
    : QDialog(parent), m_env(env), m_invite(std::move(invite)), m_onJoined(std::move(onJoined))
{
    setWindowTitle(texts::joinASync);
    setSheetWidth(*this, width);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 22, 22, 22);
    layout->setSpacing(14);
    layout->addWidget(styledLabel(texts::joinASync, TextRole::Title2));

    auto *inviter = new QWidget;
    auto *inviterRow = new QHBoxLayout(inviter);
    inviterRow->setContentsMargins(0, 0, 0, 0);
    inviterRow->setSpacing(12);
    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::Desktopcomputer, 22, Theme::accent());
    inviterRow->addWidget(icon);
    auto *names = new QVBoxLayout;
    // From a link any page may have opened: shown as plain text.
    QLabel *name =
        styledLabel(m_invite.name.isEmpty() ? texts::anotherMac : m_invite.name, TextRole::Headline);
    name->setObjectName(QStringLiteral("inviterName"));
    names->addWidget(name);
    names->addWidget(styledLabel(texts::wantsToSync, TextRole::Caption, TextTone::Secondary));
    inviterRow->addLayout(names, 1);
    auto *inviterCard = new CardFrame(inviter, {.radius = 9, .padding = CardStyle::even(11), .strokeWidth = 0});
    inviterCard->setObjectName(QStringLiteral("inviterCard"));
    layout->addWidget(inviterCard);

    if (!m_invite.project.isEmpty()) {
        auto *syncRow = new QHBoxLayout;
        syncRow->setSpacing(8);
        auto *syncIcon = plainLabel();
        showSymbol(*syncIcon, Symbol::FilmStack, 14, Theme::accent());
        syncRow->addWidget(syncIcon);
        QLabel *syncName = styledLabel(m_invite.project, TextRole::Callout);
        syncName->setObjectName(QStringLiteral("syncName"));
        syncName->setFont(styledFont(TextStyle::Callout, QFont::Medium));
        syncRow->addWidget(syncName, 1);
        layout->addLayout(syncRow);
    }
    layout->addWidget(styledLabel(texts::afterYouJoin, TextRole::Caption, TextTone::Secondary));

    auto *buttons = new QHBoxLayout;
    auto *decline = new QPushButton(texts::decline);
    decline->setObjectName(QStringLiteral("decline"));
    decline->setAutoDefault(false);
    connect(decline, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(decline);
    buttons->addStretch();
    auto *joinButton = new QPushButton(texts::join);
    joinButton->setObjectName(QStringLiteral("join"));
    joinButton->setDefault(true);
    bindReturnKey(*this, *joinButton);
    TintedButtonPainter::apply(*joinButton, ButtonTint::Prominent);
    connect(joinButton, &QPushButton::clicked, this, &JoinSheet::join);
    buttons->addWidget(joinButton);
    layout->addLayout(buttons);
}

void JoinSheet::join()
{
    detach(joinSync(QPointer(this), &m_env.projects(), m_invite, m_onJoined));
}

QCoro::Task<void> JoinSheet::joinSync(QPointer<JoinSheet> self, QPointer<ProjectController> projects,
                                      Invite invite, OnJoined onJoined)
{
    if (!projects)
        co_return;
    const bool autoJoinNode = self && self->m_env.preferences().autoJoinNode();
    const std::optional<QString> projectID = co_await projects->acceptInvite(std::move(invite), autoJoinNode);
    if (projectID && onJoined)
        onJoined(*projectID);
    if (self)
        self->accept();
}

} // namespace tw
