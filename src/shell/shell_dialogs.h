// Dialogs of the shell and the exit handlers that undo what start-up changed in the system.
//
// Three modal dialogs that the main window's menu opens: the version box with the development
// options (ABOUTDIALOG, ABOUTDIALOG_DEBUG), user support (USERSUPPORT) and the screen options
// (SCREENOPTION). Each is a model: *_form builds the dialog's state on open as a dialog_form keyed
// by the control ids below, *_ok writes what its controls say, and *_open shows the form through
// the platform (GTK, or a test's answer headless) and runs OK on IDOK. The view centres itself on
// the main window and takes a right click for Cancel.
#pragma once

#include <string>
#include <vector>

#include "platform/dialog_form.h"
#include "shell/display_mode.h"

// Control ids.
enum {
  IDC_REPROT_NO_VOICE = 1004,
  IDC_REPROT_NO_PIC = 1005,
  IDC_AUTO_OPEN_ERROR_LINE = 1006,
  IDC_VERSION_TEXT = 1007,
  IDC_FAST_VOICE_PLAY = 1008,
  IDC_EDITOR = 1010,
  IDC_WATCH_LIST = 1011,
  IDC_LINK = 1012,
  IDC_LOG_NO_VOICE = 1013,
  IDC_LOG_NO_PIC = 1014,
  IDC_SUPPORT_TEXT = 1060,
  IDC_TOPMOST = 1005,         // SCREENOPTION
  IDC_FIT_TO_SCREEN = 1006,   // SCREENOPTION
  IDC_SCREEN_MODES = 1009,    // SCREENOPTION
};

// The version box; debug: the development one (report mode shown) with the option boxes and texts.
// With Ctrl held while it opens, the version text gives the engine's counters.
dialog_form about_dialog_form(int debug);
void about_dialog_ok(const dialog_form& form, int debug);
void about_dialog_open(int debug);
// The version text: "\n%s\n%s\n\n%s" of APPNAME, VERSION and COPYRIGHT; counters: the default
// lines, then sprites, pages, cached pages, the cache's MiB and fill, and the threads.
std::string about_version_text(bool counters);

// The support box: SUPPORTSTR with every "▼" a line break, and SUPPORTURL as its link.
dialog_form user_support_dialog_form();
void user_support_dialog_open();
// "▼" (a whole character, never the trail byte of another) becomes "\n".
std::string support_text_lines(const std::string& text);

// A row of the screen-option combo box: its label and the five values it stands for.
struct screen_option_row {
  std::string label;
  int refresh, depth, wide, width, height;
};
// The rows for a game width over the screen and the display's modes: the fixed rows first, then
// one per usable mode. detect: DETECTWIDEMONITOR; height_wide: client_height_wide().
std::vector<screen_option_row> screen_option_rows(int game_width, int game_height, int height_wide, int detect,
                                                  int screen_width, int screen_height,
                                                  const std::vector<display_mode_entry>& modes);
// The row the stored configuration selects (0 when none does).
int screen_option_selected(const std::vector<screen_option_row>& rows, int refresh, int depth, int wide, int width,
                           int height);
// The environment key FITTOSCREEN (default 0): the screen dialogs offer the box that enlarges the
// game in full screen, and only its answer sets the scale type besides the wide rows.
int fit_to_screen();
dialog_form screen_option_dialog_form(std::vector<screen_option_row>& rows);
void screen_option_dialog_ok(const dialog_form& form, const std::vector<screen_option_row>& rows);
void screen_option_dialog_open();

// The full-screen choice of the stored settings handed to the display modes (start-up, and the
// screen options after a new row): with wide detection the preference and the stored size, else
// the game size; then the game size, the menu flag and the stored rate and depth.
void fullscreen_choice_apply(int wide_preference);

// The exit handler that start-up registers first: the screen saver is allowed again (the idle
// inhibit ends).
void process_exit_restore();
// CLIENT_HEIGHT, or 3/4 of it while the stored WideMode is set.
int client_height_wide();
// Sends 0x9005 (0, 0) to the window when its title equals "%s スタートアップ" of the caption,
// ignoring case. Always 1: the walk over the windows goes on.
int notify_other_instance(window_handle window, const char* caption);
constexpr uint32_t STARTUP_NOTIFY_MESSAGE = 0x9005;
