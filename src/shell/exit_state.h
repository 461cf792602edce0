// Exit-time window state, clean-up and menu state.
//
// STAND-IN: only what the dispatcher calls, doing nothing. The exit-state module replaces this
// file.
#pragma once

// Writes the window state and the clean-exit mark at an orderly end.
void save_window_state();
// The clean-up step before the quit message.
void KATAZUKE();
// Sets the menu items from the current state.
void menu_refresh();
