// Exit-time window state, the clean-up before the quit, the top-most switch, the display-mode
// hooks and the refresh of the menu's marks and enables.
#pragma once

// The exit write of an orderly end, in this order: AbnormalTerminateFlg 0, WinStat, NANIDO,
// GameSpeed, TOPMOST, FullScFreq, FullScBits, the saved "mpg" and "mpeg" copies (given back and
// emptied), WinPosX and WinPosY (only in the window); then, under DELETEREGISTORYATEXIST, the
// program's whole key goes.
void save_window_state();
// The clean-up step before the quit message: the window leaves full screen and the front page is
// detached (the development title bar shows "KATAZUKE", then "KATAZUKE - END").
void KATAZUKE();
// Sets every entry's mark and enable from the current state (entries the window's menu variant
// lacks are passed over).
void menu_refresh();

// The display-mode hooks that start-up installs: back to the window, and to full screen (through
// the script-level switch, which respects IGNORESCREENMODE).
void leave_fullscreen_callback();
void enter_fullscreen_callback();
// The top-most flag: -1 applies the stored flag again, any other value is stored and applied.
// Returns the previous flag.
int topmost_apply(int value);
int topmost_get();

// Forgets the top-most flag (tests).
void exit_state_reset();
