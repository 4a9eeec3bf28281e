#pragma once

#include "control/Main.h"

namespace qsi::ui::qt {

// Runs the installer in its Qt window; returns the exit status.
int runQt(int argc, char** argv, control::Services services);

}  // namespace qsi::ui::qt
