#include "platform/ui/Windows.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace ui {
namespace {

constexpr double twipsPerInch = 1440.0;

const QScreen* screenOf(const QWidget& widget) {
    if (const QScreen* screen = widget.screen())
        return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace

double logicalDpiX(const QWidget& widget) {
    const QScreen* screen = screenOf(widget);
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double logicalDpiY(const QWidget& widget) {
    const QScreen* screen = screenOf(widget);
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

int twipsToPixelsX(const QWidget& widget, float twips) {
    return static_cast<int>(std::lround(twips * logicalDpiX(widget) / twipsPerInch));
}

int twipsToPixelsY(const QWidget& widget, float twips) {
    return static_cast<int>(std::lround(twips * logicalDpiY(widget) / twipsPerInch));
}

float pixelsToTwipsX(const QWidget& widget, int pixels) {
    return static_cast<float>(pixels * twipsPerInch / logicalDpiX(widget));
}

float pixelsToTwipsY(const QWidget& widget, int pixels) {
    return static_cast<float>(pixels * twipsPerInch / logicalDpiY(widget));
}

void placeTwips(QWidget& control, const Twips& where) {
    control.setGeometry(twipsToPixelsX(control, where.Left), twipsToPixelsY(control, where.Top),
                        twipsToPixelsX(control, where.Width),
                        twipsToPixelsY(control, where.Height));
}

void setClientSizeTwips(QWidget& window, float width, float height) {
    window.setFixedSize(twipsToPixelsX(window, width), twipsToPixelsY(window, height));
}

Twips frameTwips(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    return {pixelsToTwipsX(window, frame.x()), pixelsToTwipsY(window, frame.y()),
            pixelsToTwipsX(window, frame.width()), pixelsToTwipsY(window, frame.height())};
}

void moveTwips(QWidget& window, float left, float top) {
    // For a window, move() places the outer frame.
    window.move(twipsToPixelsX(window, left), twipsToPixelsY(window, top));
}

void showModeless(QWidget& window) {
    window.setWindowModality(Qt::NonModal);
    window.show();
}

void hide(QWidget& window) {
    window.hide();
}

void repaintNow(QWidget& window) {
    window.repaint();
}

void yieldEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string programFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

} // namespace ui
