#include "views/joining/WelcomeSheet.h"

#include "design/CardFrame.h"

#include "app/AppEnvironment.h"
#include "controllers/EngineController.h"
#include "design/ButtonTint.h"
#include "design/ShownSymbol.h"
#include "design/TextStyle.h"
#include "design/Theme.h"
#include "utilities/IsolatedName.h"
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
namespace {

QWidget *step(Symbol symbol, const QString &text)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *icon = plainLabel();
    showSymbol(*icon, symbol, 14, Theme::accent());
    layout->addWidget(icon);
    layout->addWidget(styledLabel(text, TextRole::Callout), 1);
    return row;
}

} // namespace

WelcomeSheet::WelcomeSheet(AppEnvironment &env, std::function<void()> onCreate, QWidget *parent)
    : QDialog(parent), m_onCreate(std::move(onCreate))
{
    setWindowTitle(texts::welcomeTitle);
    setSheetWidth(*this, width);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto *icon = plainLabel();
    showSymbol(*icon, Symbol::ArrowTriangle2Circlepath, 26, Theme::accent());
    icon->setFixedSize(46, 46);
    icon->setAlignment(Qt::AlignCenter);
    auto *iconTile = new CardFrame(icon, {.radius = 11, .padding = {}, .strokeWidth = 0});
    iconTile->setObjectName(QStringLiteral("iconTile"));
    layout->addWidget(iconTile, 0, Qt::AlignLeft);
    layout->addWidget(styledLabel(texts::welcomeTitle, TextRole::Title2));
    layout->addWidget(styledLabel(texts::welcomeIntro, TextRole::Body, TextTone::Secondary));

    const QString &deviceName = env.engineState().deviceName();
    if (!deviceName.isEmpty()) {
        QLabel *thisMac = styledLabel(texts::thisMacPrefix + isolatedName(deviceName), TextRole::Callout);
        thisMac->setObjectName(QStringLiteral("thisMac"));
        layout->addWidget(new CardFrame(thisMac, {.radius = 9, .padding = CardStyle::even(10), .strokeWidth = 0}));
    }

    auto *how = new QVBoxLayout;
    how->setSpacing(7);
    QLabel *header = styledLabel(texts::howItWorks, TextRole::Caption, TextTone::Tertiary);
    header->setFont(pointsFont(10, QFont::Medium));
    how->addWidget(header);
    how->addWidget(step(Symbol::Number1Circle, texts::welcomeStep1));
    how->addWidget(step(Symbol::Number2Circle, texts::welcomeStep2));
    how->addWidget(step(Symbol::Number3Circle, texts::welcomeStep3));
    layout->addLayout(how);

    auto *buttons = new QHBoxLayout;
    auto *later = new QPushButton(texts::maybeLater);
    later->setObjectName(QStringLiteral("maybeLater"));
    later->setAutoDefault(false);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(later);
    buttons->addStretch();
    auto *create = new QPushButton(texts::createFirstSync);
    create->setObjectName(QStringLiteral("create"));
    create->setDefault(true);
    bindReturnKey(*this, *create);
    TintedButtonPainter::apply(*create, ButtonTint::Prominent);
    connect(create, &QPushButton::clicked, this, [this] {
        // The host may delete the sheet as it closes: the action is taken first.
        const std::function<void()> onCreate = m_onCreate;
        accept();
        if (onCreate)
            onCreate();
    });
    buttons->addWidget(create);
    layout->addLayout(buttons);
}

} // namespace tw
