#pragma once

namespace ui {

// Qt keeps per-session files in $XDG_RUNTIME_DIR, which a desktop session
// sets. Where it is unset (a terminal over ssh, a container, a service), Qt
// falls back to <temp>/runtime-<user> and says so on standard error at every
// start. Called before the QApplication is made, this names that same folder
// in the variable, made private as the XDG base directory rules require
// (owned by the user, mode 0700), so Qt uses it without a word. A variable
// already set is left alone. Returns false, leaving the variable unset, when
// the folder cannot be had that way: a file or another user's folder in the
// way is worth Qt's warning.
bool prepareRuntimeFolder();

} // namespace ui
