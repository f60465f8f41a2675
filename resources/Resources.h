#pragma once

#include <QIcon>
#include <QPixmap>

namespace resources {

// Registers the program's icons under ":/icons/". Resources compiled into a
// static library are only linked when something calls into them; every
// window that loads an icon calls this first. Calling it again does nothing.
void init();

// A window's icon: the image it draws itself at its own size, and the
// program's icon at the other sizes a desktop asks for (HiDPI included).
QIcon windowIcon(const QPixmap& drawn);

} // namespace resources
