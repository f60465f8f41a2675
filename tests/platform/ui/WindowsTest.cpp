#include "platform/ui/Windows.h"

#include <QApplication>
#include <QDir>
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
