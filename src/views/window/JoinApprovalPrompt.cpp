#include "views/window/JoinApprovalPrompt.h"

#include "design/ButtonTint.h"
#include "design/ElidedLine.h"
#include "utilities/IsolatedName.h"
#include "views/kit/ConfirmAction.h"
#include "views/kit/LiteralAmpersands.h"

#include <QFontMetricsF>
#include <QPushButton>

namespace tw {

namespace {

const QString kOpenQuote = QStringLiteral("\u201c");
const QString kCloseQuote = QStringLiteral("\u201d");
const QString kWantsToJoin = QStringLiteral("\u201d wants to join");
const QString kAdd = QStringLiteral("Add \u201c");
const QString kToTheSync = QStringLiteral("\u201d to the sync \u201c");
const QString kOnlyRecognized =
    QStringLiteral("\u201d? Only allow Macs you recognize \u2014 they\u2019ll receive this sync\u2019s folders.");
const QString kAllowAddTo = QStringLiteral("Allow \u2014 add to \u201c");
// The sync's name on the Allow button keeps about a dozen letters: with
// "Decline" and "Not now" beside it, the buttons then fit the width the
// prompt takes for a long message, and a long name no longer widens it.
constexpr int kAllowNameLetters = 14;

} // namespace

const QString JoinApprovalPrompt::declineLabel = QStringLiteral("Decline");
const QString JoinApprovalPrompt::notNowLabel = QStringLiteral("Not now");

QString JoinApprovalPrompt::titleFor(const Request &request)
{
    return kOpenQuote + isolatedName(request.name) + kWantsToJoin;
}

QString JoinApprovalPrompt::messageFor(const Request &request)
{
    return kAdd + isolatedName(request.name) + kToTheSync + isolatedName(request.projectName) + kOnlyRecognized;
}

QString JoinApprovalPrompt::allowLabelFor(const Request &request, const QFont &font)
{
    const qreal room = QFontMetricsF(font).averageCharWidth() * kAllowNameLetters;
    return kAllowAddTo + isolatedName(elidedToFit(request.projectName, font, Qt::ElideRight, room)) + kCloseQuote;
}

JoinApprovalPrompt::JoinApprovalPrompt(Request request, QWidget *parent)
    : QMessageBox(parent)
    , m_request(std::move(request))
{
    setObjectName(QStringLiteral("joinApprovalPrompt"));
    setWindowModality(Qt::WindowModal);
    setIcon(QMessageBox::Question);
    setPlainTexts(*this, titleFor(m_request), messageFor(m_request));
    m_allow = addButton(QString(), QMessageBox::AcceptRole);
    m_allow->setText(literalAmpersands(allowLabelFor(m_request, m_allow->font())));
    m_decline = addButton(declineLabel, QMessageBox::DestructiveRole);
    TintedButtonPainter::apply(*m_decline, ButtonTint::Destructive);
    m_notNow = addButton(notNowLabel, QMessageBox::RejectRole);
    m_allow->setObjectName(QStringLiteral("allowButton"));
    m_decline->setObjectName(QStringLiteral("declineButton"));
    m_notNow->setObjectName(QStringLiteral("notNowButton"));
    setDefaultButton(m_notNow);
    setEscapeButton(m_notNow);
}

QAbstractButton *JoinApprovalPrompt::button(Choice choice) const
{
    switch (choice) {
    case Choice::Allow:
        return m_allow;
    case Choice::Decline:
        return m_decline;
    case Choice::NotNow:
        return m_notNow;
    }
    return m_notNow;
}

JoinApprovalPrompt::Choice JoinApprovalPrompt::choice() const
{
    if (clickedButton() == m_allow)
        return Choice::Allow;
    if (clickedButton() == m_decline)
        return Choice::Decline;
    return Choice::NotNow;
}

} // namespace tw
