#include "platform/ui/Windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
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

void keepInsideScreen(QWidget& window) {
    const QScreen* screen = screenOf(window);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    int x = frame.x(), y = frame.y();
    if (frame.right() > area.right())
        x -= frame.right() - area.right();
    if (frame.bottom() > area.bottom())
        y -= frame.bottom() - area.bottom();
    x = std::max(x, area.left());
    y = std::max(y, area.top());
    if (x != frame.x() || y != frame.y())
        window.move(x, y);
}

void drawShownWindow(QWidget& window) {
    QElapsedTimer waited;
    waited.start();
    // The window system maps a new window, then asks for its picture.
    while (waited.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            break;
    }
    window.repaint();
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
