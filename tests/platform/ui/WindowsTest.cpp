#include "platform/ui/Windows.h"

#include "platform/ui/PathBox.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// One pixel, in twips, on the test screen: how near a round trip can come.
float pixelTwips(const QWidget& widget) {
    return static_cast<float>(1440.0 / ui::logicalDpiX(widget));
}

TEST(TwipsTest, AnInchIsAsManyPixelsAsTheScreensLogicalDpi) {
    QWidget window;
    EXPECT_EQ(ui::twipsToPixelsX(window, 1440), static_cast<int>(ui::logicalDpiX(window)));
    EXPECT_EQ(ui::twipsToPixelsY(window, 2880), static_cast<int>(2 * ui::logicalDpiY(window)));
    EXPECT_FLOAT_EQ(ui::pixelsToTwipsX(window, static_cast<int>(ui::logicalDpiX(window))), 1440);
}

TEST(TwipsTest, ControlsAndClientAreasArePlacedInTwips) {
    QWidget window;
    ui::setClientSizeTwips(window, 4380, 2310);
    QWidget control(&window);
    ui::placeTwips(control, {150, 1125, 4110, 390});

    EXPECT_EQ(window.size(),
              QSize(ui::twipsToPixelsX(window, 4380), ui::twipsToPixelsY(window, 2310)));
    EXPECT_EQ(control.geometry(),
              QRect(ui::twipsToPixelsX(window, 150), ui::twipsToPixelsY(window, 1125),
                    ui::twipsToPixelsX(window, 4110), ui::twipsToPixelsY(window, 390)));
}

TEST(TwipsTest, AMovedWindowReportsItsFrameWhereItWasPut) {
    QWidget window;
    ui::setClientSizeTwips(window, 3000, 1500);
    ui::showModeless(window);
    ui::moveTwips(window, 1500, 3000);
    ui::yieldEvents();

    const ui::Twips frame = ui::frameTwips(window);
    EXPECT_NEAR(frame.Left, 1500, pixelTwips(window));
    EXPECT_NEAR(frame.Top, 3000, pixelTwips(window));
    EXPECT_GE(frame.Width, 3000 - pixelTwips(window));
    EXPECT_GE(frame.Height, 1500 - pixelTwips(window));
    EXPECT_TRUE(window.isVisible());
    ui::hide(window);
    EXPECT_FALSE(window.isVisible());
}

TEST(ProgramFolderTest, IsTheFolderOfTheProgramWithoutATrailingSeparator) {
    const std::string folder = ui::programFolder();
    EXPECT_EQ(QString::fromStdString(folder),
              QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), QDir::separator().toLatin1());
}

} // namespace

namespace {

TEST(KeepInsideScreenTest, AWindowPastAnEdgeMovesJustFarEnoughToLieOnTheScreen) {
    QWidget window;
    window.resize(300, 200);
    ui::showModeless(window);
    ui::yieldEvents();
    const QRect area = window.screen()->availableGeometry();
    window.move(area.right() - 100, area.bottom() - 50);
    ui::yieldEvents();
    ui::keepInsideScreen(window);
    ui::yieldEvents();
    const QRect frame = window.frameGeometry();
    EXPECT_TRUE(area.contains(frame));
    EXPECT_EQ(frame.right(), area.right());
    EXPECT_EQ(frame.bottom(), area.bottom());

    // One that lies inside already stays where it is.
    window.move(area.left() + 10, area.top() + 10);
    ui::yieldEvents();
    const QPoint inside = window.frameGeometry().topLeft();
    ui::keepInsideScreen(window);
    EXPECT_EQ(window.frameGeometry().topLeft(), inside);
}

// Reaches the box's drop handler as the window system would.
struct DropTarget : ui::PathBox {
    void drop(QDropEvent* event) { dropEvent(event); }
};

TEST(PathBoxTest, AFileAddressBecomesTheLocalPath) {
    EXPECT_EQ(ui::PathBox::localPath("file:///home/me/My%20Files/VHUpdate.mdb"),
              "/home/me/My Files/VHUpdate.mdb");
    EXPECT_EQ(ui::PathBox::localPath("/home/me/VHUpdate.mdb"), "/home/me/VHUpdate.mdb");
    EXPECT_EQ(ui::PathBox::localPath("https://example.org/VHUpdate.mdb"),
              "https://example.org/VHUpdate.mdb");

    // Typed (once the typing is done), and dropped from a file manager.
    DropTarget box;
    box.setFocus();
    QTest::keyClicks(&box, "file:///tmp/a%20b.mdb");
    EXPECT_EQ(box.text(), "file:///tmp/a%20b.mdb");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.text(), "/tmp/a b.mdb");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/data/Varnholt.mdb")});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    box.drop(&drop);
    EXPECT_EQ(box.text(), "/data/Varnholt.mdb");
}

TEST(PathBoxTest, EnterOnAFocusedButtonPressesIt) {
    QWidget window;
    QPushButton button(QStringLiteral("Update"), &window);
    ui::pressOnEnter(button);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    ui::showModeless(window);
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::qWait(300); // the click is animated
    EXPECT_EQ(clicks, 1);
}

} // namespace
