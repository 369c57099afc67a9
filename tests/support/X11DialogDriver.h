// The dialog driver on an X display, where there is no window manager: the
// driver gives the focus itself.
#pragma once

#include "tests/support/DialogDriver.h"

using X11DialogDriver = DialogDriver;
