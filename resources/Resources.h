#pragma once

namespace resources {

// Registers the program's icons under ":/icons/". Resources compiled into a
// static library are only linked when something calls into them; every
// window that loads an icon calls this first. Calling it again does nothing.
void init();

} // namespace resources
