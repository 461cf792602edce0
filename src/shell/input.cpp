// STAND-IN: input is never blocked and nothing is pressed before the input module exists.
#include "shell/input.h"

void input_unblock() {}
int32_t input_take_press(int) { return 0; }
int input_is_pressed(int) { return 0; }
void input_press_middle() {}
int input_key_held(int) { return 0; }
