// STAND-IN: nothing to write or tidy before the exit-state module exists.
#include "shell/exit_state.h"

void save_window_state() {}
void KATAZUKE() {}
void menu_refresh() {}
