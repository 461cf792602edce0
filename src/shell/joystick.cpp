// STAND-IN: no pad is read before the joystick module exists.
#include "shell/joystick.h"

void joy_poll() {}
