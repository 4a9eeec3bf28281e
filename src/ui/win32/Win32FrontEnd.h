#pragma once

#include "control/Main.h"

namespace qsi::ui::win32 {

// Runs the installer with its native windows until the program ends;
// returns the exit status.
int runWin32(control::Services services);

}  // namespace qsi::ui::win32
