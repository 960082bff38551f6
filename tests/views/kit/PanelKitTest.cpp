#include "design/ShownSymbol.h"
#include "design/SymbolIconEngine.h"
#include "design/TextStyle.h"
#include "views/kit/CopyPlainText.h"
#include "views/kit/ReturnShortcut.h"

#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(PanelKitTest, ReturnPressesTheEnabledButtonOnceAndNeverADisabledOne)
{
    QWidget panel;
    auto *field = new QLineEdit(&panel);
    auto *save = new QPushButton(QStringLiteral("Save"), &panel);
    auto *layout = new QVBoxLayout(&panel);
    layout->addWidget(field);
    layout->addWidget(save);
    bindReturnKey(panel, *save);
    QSignalSpy clicks(save, &QPushButton::clicked);
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    field->setFocus();

    save->setEnabled(false);
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks.count(), 0);

    save->setEnabled(true);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 1);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks.count(), 2);
}

// Return in an open list only picks the entry, in a list placed after the
// key was bound too; a list in another window is left to itself.
TEST(PanelKitTest, ReturnInAnOpenListOnlyPicksTheEntry)
{
    QWidget panel;
    auto *save = new QPushButton(QStringLiteral("Save"), &panel);
    auto *layout = new QVBoxLayout(&panel);
    layout->addWidget(save);
    bindReturnKey(panel, *save);
    auto *part = new QWidget;
    auto *list = new QComboBox;
    list->addItems({QStringLiteral("Full access"), QStringLiteral("Receive only")});
    (new QVBoxLayout(part))->addWidget(list);
    layout->addWidget(part);
    QSignalSpy clicks(save, &QPushButton::clicked);
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    list->setFocus();
    list->showPopup();
    ASSERT_TRUE(waitUntil([&] { return list->view()->isVisible(); }));
    QTest::keyClick(list->view(), Qt::Key_Down);
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_FALSE(list->view()->isVisible());
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(clicks.count(), 0);

    QComboBox elsewhere;
    elsewhere.addItems({QStringLiteral("One"), QStringLiteral("Two")});
    elsewhere.show();
    elsewhere.showPopup();
    ASSERT_TRUE(waitUntil([&] { return elsewhere.view()->isVisible(); }));
    QKeyEvent offer(QEvent::ShortcutOverride, Qt::Key_Return, Qt::NoModifier);
    offer.ignore();
    QCoreApplication::sendEvent(&elsewhere, &offer);
    EXPECT_FALSE(offer.isAccepted());
    elsewhere.hidePopup();
}

TEST(PanelKitTest, CopyingLeavesOnePlainTextItem)
{
    auto *rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>old</b>"));
    rich->setImageData(QImage(2, 2, QImage::Format_ARGB32));
    QGuiApplication::clipboard()->setMimeData(rich);
    copyPlainText(QStringLiteral("TDWSYNC1:abc"));
    const QMimeData *held = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->formats(), QStringList{"text/plain"});
    EXPECT_EQ(held->text(), QStringLiteral("TDWSYNC1:abc"));
}

TEST(PanelKitTest, TextStylesFollowTheApplicationFont)
{
    QFont points = QApplication::font();
    points.setPointSizeF(10);
    QFont pixels = points;
    pixels.setPixelSize(26);
    const struct
    {
        TextStyle style;
        qreal pointSize;
        int pixelSize;
        bool bold;
    } rows[] = {
        {TextStyle::Body, 10, 26, false},
        {TextStyle::Title2, 10 * 17 / 13.0, 34, false},
        {TextStyle::Headline, 10, 26, true},
        {TextStyle::Callout, 10 * 12 / 13.0, 24, false},
        {TextStyle::Caption2, 10 * 10 / 13.0, 20, false},
    };
    for (const auto &row : rows) {
        EXPECT_DOUBLE_EQ(textStyleFont(row.style, points).pointSizeF(), row.pointSize) << int(row.style);
        EXPECT_EQ(textStyleFont(row.style, pixels).pixelSize(), row.pixelSize) << int(row.style);
        EXPECT_EQ(textStyleFont(row.style, points).bold(), row.bold) << int(row.style);
    }
}

TEST(PanelKitTest, WidgetsTellWhichSymbolTheyShow)
{
    QLabel label;
    QPushButton button;
    EXPECT_EQ(shownSymbol(label), std::nullopt);
    showSymbol(label, Symbol::DocOnDoc, 18, Qt::gray);
    showSymbol(button, Symbol::Trash);
    EXPECT_EQ(shownSymbol(label), Symbol::DocOnDoc);
    EXPECT_EQ(shownSymbol(button), Symbol::Trash);
    EXPECT_FALSE(label.pixmap().isNull());
}

// Every stand-in paints, and no two look alike: a symbol that fell through
// the drawing would show nothing, or another's picture.
TEST(PanelKitTest, EveryPanelSymbolHasADrawingOfItsOwn)
{
    QList<QImage> drawn;
    for (int value = int(Symbol::ArrowTriangle2Circlepath); value <= int(Symbol::PersonBadgeMinus); ++value) {
        const QImage image = SymbolIconEngine(Symbol(value)).pixmap(QSize(48, 48), QIcon::Normal, QIcon::Off).toImage();
        QImage blank(image.size(), image.format());
        blank.fill(Qt::transparent);
        EXPECT_NE(image, blank) << value;
        for (qsizetype other = 0; other < drawn.size(); ++other)
            EXPECT_NE(image, drawn[other]) << value << " looks like " << int(Symbol::ArrowTriangle2Circlepath) + other;
        drawn.append(image);
    }
}

} // namespace
} // namespace tw
