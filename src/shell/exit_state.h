// Exit-time window state, clean-up and menu state.
//
// STAND-IN: of the window state only the clean-exit mark is written and the menu is not refreshed
// before the exit-state module exists; KATAZUKE and the top-most switch are complete. The
// exit-state module replaces this file.
#pragma once

// Writes the window state and the clean-exit mark at an orderly end.
void save_window_state();
// The clean-up step before the quit message: the window leaves full screen and the front page is
// detached (the development title bar shows "KATAZUKE", then "KATAZUKE - END").
void KATAZUKE();
// Sets the menu items from the current state.
void menu_refresh();

// The display-mode hooks that start-up installs: back to the window, and to full screen (through
// the script-level switch, which respects IGNORESCREENMODE).
void leave_fullscreen_callback();
void enter_fullscreen_callback();
// The top-most flag: -1 applies the stored flag again, any other value is stored and applied.
// Returns the previous flag.
int topmost_apply(int value);
int topmost_get();
