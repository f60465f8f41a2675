#pragma once

#include <string>

class QWidget;

namespace ui {

// A rectangle in twips (1/1440 inch), as the program states positions and
// sizes. Converted to pixels with the screen's logical DPI.
struct Twips {
    float Left = 0, Top = 0, Width = 0, Height = 0;
};

// Pixels per inch of the screen the widget is on (or the primary screen).
double logicalDpiX(const QWidget& widget);
double logicalDpiY(const QWidget& widget);

int twipsToPixelsX(const QWidget& widget, float twips);
int twipsToPixelsY(const QWidget& widget, float twips);
float pixelsToTwipsX(const QWidget& widget, int pixels);
float pixelsToTwipsY(const QWidget& widget, int pixels);

// A child control placed in its parent's client area.
void placeTwips(QWidget& control, const Twips& where);
// A window's client area, fixed at that size.
void setClientSizeTwips(QWidget& window, float width, float height);

// The outer frame of a window (title bar and border included), in twips.
Twips frameTwips(const QWidget& window);
// Moves the outer frame's top left corner; the size stays.
void moveTwips(QWidget& window, float left, float top);

// Moves a shown window just far enough that its frame lies wholly inside the
// available area of its screen (or, larger than that, at its top left).
void keepInsideScreen(QWidget& window);

// Shows the window and returns at once; the other windows stay usable.
void showModeless(QWidget& window);
void hide(QWidget& window);

// Lets the window system show and draw a window just shown, without
// handling any click or key, so that it is drawn before work begins.
void drawShownWindow(QWidget& window);

// Draws everything changed so far before it returns.
void repaintNow(QWidget& window);

// Handles every pending event, click procedures included, then returns.
void yieldEvents();

// The folder the program was started from, without a trailing separator
// (except at the root), with the platform's own separators.
std::string programFolder();

} // namespace ui
