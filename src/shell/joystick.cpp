// STAND-IN for the joystick module: there is nothing to poll yet, so a selection changes nothing.
#include "shell/joystick.h"

void joy_poll() {}
void joy_select_device(int /*choice*/) {}
