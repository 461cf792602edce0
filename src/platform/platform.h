// The platform seam: every service of the host system that the engine uses, behind one interface.
//
// The engine was written against a window system of messages, boxes and a millisecond clock; this
// header names those services once. Two backends implement it: headless (tests, batch runs, runs
// without a display) and gtk (the desktop). Engine code calls plat() and never a host library.
// Text crossing this seam is engine text (CP932); backends convert at their own boundary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog_form.h"
#include "platform/window.h"

// Message-box styles and answers. The values are the engine's own numbers (callers combine them).
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_BUTTON_MASK = 0xF,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_ICON_MASK = 0xF0,
  MB_TOPMOST = 0x40000,
};
enum { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

// The longest side of a window's client area, and so of the game screen: a game page of 8192 x
// 8192 is 192 MiB, more than any game needs, and the headless record of such a window 256 MiB. A
// bigger size is a damaged one and is treated like a size of 0 or less.
constexpr int WINDOW_SIDE_MAX = 8192;
// The side itself when it is 1..WINDOW_SIDE_MAX, else 0.
inline int window_side_usable(int side) { return side > 0 && side <= WINDOW_SIDE_MAX ? side : 0; }

// A rectangle of the client area (or of a picture), in pixels.
struct plat_rect {
  int x, y, width, height;
};

// Pixels to show: top-down rows of blue, green, red bytes, or of 8-bit indices into a palette of
// 256 entries of blue, green, red, unused.
struct pixel_source {
  const uint8_t* bits;
  int width, height, stride;
  const uint8_t* palette;  // 8-bit pixels; nullptr for 24-bit pixels
};

// A display: its rectangle on the virtual screen and its work area (without panels and docks).
struct monitor_info {
  plat_rect area;
  plat_rect work_area;
  int refresh_hz;  // 0 when unknown
  bool primary;
};

// The system's file chooser. Texts and paths are engine text; paths use "\" between folders.
struct file_dialog_spec {
  bool save = false;               // save (asks before overwriting) or open
  std::string title;
  std::string filter_name;         // "ゲームデータ (*.sav)"
  std::string filter_pattern;      // "*.sav"; matched ignoring case
  std::string default_extension;   // added when the chosen name has none ("sav")
  std::string folder;              // initial folder; empty for the current one
  std::string file_name;           // initial name (save)
};
enum { FILE_DIALOG_ERROR = -1, FILE_DIALOG_CANCEL = 0, FILE_DIALOG_OK = 1 };

// One game pad as the engine reads it: two axes of 0..65535 (32767 centred) and the buttons as
// bits (button 1 is bit 0).
struct joystick_reading {
  uint32_t x, y;
  uint32_t buttons;
};

class platform_backend {
 public:
  virtual ~platform_backend() = default;

  // A modal box over owner (may be nullptr); returns the ID* of the button chosen, or 0 when no
  // box could be shown.
  virtual int message_box(window_handle owner, const char* text, const char* caption, unsigned style) = 0;

  // The host side of windows (window.h keeps the records, the procedures and the queue). A window
  // is made hidden, with its menu bar and a client area of the size asked for (a side that is not
  // usable, see window_side_usable, makes the smallest area the backend has); the user cannot resize
  // it (the engine sizes it). Resizing to an unusable side is ignored.
  virtual void window_host_create(plat_window* window) = 0;
  virtual void window_host_destroy(plat_window* window) = 0;
  virtual void window_host_title(plat_window* window) = 0;  // the title changed
  virtual void window_set_foreground(window_handle window) = 0;
  virtual void window_show(window_handle window, bool visible) = 0;
  // The client area's size, and the outer frame's top-left corner on the virtual screen.
  virtual void window_client_size(window_handle window, int& width, int& height) = 0;
  virtual void window_set_client_size(window_handle window, int width, int height) = 0;
  virtual void window_position(window_handle window, int& x, int& y) = 0;
  // Where the system lets programs place their windows; false elsewhere.
  virtual bool window_move(window_handle window, int x, int y) = 0;
  virtual void window_set_topmost(window_handle window, bool topmost) = 0;
  // Full screen on the monitor that holds the window; the client area then covers it.
  virtual void window_set_fullscreen(window_handle window, bool fullscreen) = 0;
  virtual void window_show_menu_bar(window_handle window, bool shown) = 0;
  // SIZE_RESTORED, SIZE_MINIMIZED or SIZE_MAXIMIZED.
  virtual int window_show_state(window_handle window) = 0;
  // Whether the window system shows the window full screen now (it may take its time after
  // window_set_fullscreen).
  virtual bool window_is_fullscreen(window_handle window) = 0;
  // True when the system says that a window of another program holds the input focus (our own
  // dialogs and menus do not count); false when it cannot tell.
  virtual bool window_foreground_elsewhere(window_handle window) = 0;
  // The text of the window's status bar (one line, engine text); a window made without one
  // ignores it.
  virtual void window_status_text(window_handle window, const char* text) = 0;
  // Whether files dropped on the window arrive as WM_DROPFILES (see dropped_files below).
  virtual void window_accept_files(window_handle window, bool accept) = 0;

  // Painting. Invalidating a rectangle (nullptr: the whole client area) makes the window get
  // WM_PAINT for what is invalid, later and once however often it was invalidated. The paint
  // calls draw only while that WM_PAINT is handled, and only into the invalid part.
  virtual void window_invalidate(window_handle window, const plat_rect* rect) = 0;
  // Copies a rectangle of a picture to client position (x, y), scaled by zoom_x / 1000 and
  // zoom_y / 1000 (nearest pixel: the engine's own scaler does the smooth zooms).
  virtual void window_paint_pixels(window_handle window, int x, int y, const pixel_source& source,
                                   const plat_rect& source_rect, int zoom_x, int zoom_y) = 0;
  // Fills a rectangle with a colour 0x00BBGGRR.
  virtual void window_paint_fill(window_handle window, const plat_rect& rect, uint32_t colour) = 0;
  // Handles pending host events, which post the messages they translate to.
  virtual void pump_host_events() = 0;
  // The host's handling of a message no procedure claimed (a system key opening the menu bar).
  virtual intptr_t host_default_procedure(window_handle window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam) = 0;

  // Monotonic milliseconds, wrapping at 2^32 like the engine's clock always did.
  virtual uint32_t clock_ms() = 0;
  virtual void sleep_ms(uint32_t ms) = 0;
  // Blocks until the clock reads ms more than it reads now (WAIT_NO_LIMIT: no limit), or until a
  // host event comes or a message is posted from any thread, whichever is first; 0 returns at
  // once. Host events that came are handled (they post what they translate to). It ends at the
  // clock's tick, not up to a tick late: a wait for the clock to reach a deadline ends on time.
  virtual void wait_events(uint32_t ms) = 0;
  // True while a menu of a window's menu bar is open: the message drain holds the window thread
  // meanwhile, as the system's menu loop did.
  virtual bool menu_active() = 0;

  // Clipboard text (engine text). get returns false when the clipboard holds no text.
  virtual bool clipboard_set_text(const std::string& text) = 0;
  virtual bool clipboard_get_text(std::string& text) = 0;

  // The modeless "please wait" dialog shown during long start-up steps, by template name.
  virtual bool message_dialog_show(const char* template_name) = 0;
  virtual void message_dialog_close() = 0;

  // Entries of a window's menu bar, by command id. Setting a check mark or greying an entry from
  // code never fires its command; ids that the menu does not hold, and a window without a menu
  // (or none at all), are ignored. A deleted entry is gone for good.
  virtual void menu_item_check(window_handle window, int id, bool checked) = 0;
  virtual void menu_item_enable(window_handle window, int id, bool enabled) = 0;
  virtual void menu_item_delete(window_handle window, int id) = 0;

  // Every display, the primary one marked (never empty); and the index of the one that holds the
  // window.
  virtual void monitors(std::vector<monitor_info>& list) = 0;
  virtual int window_monitor(window_handle window) = 0;

  // Keys: KEY_STATE_DOWN while the key (a virtual-key code) is held, as far as the window has
  // seen it; and the CapsLock light.
  virtual int key_async_state(int vk) = 0;
  virtual bool caps_lock_on() = 0;

  // The cursor over the window: shown or blank, its position in client coordinates (false when
  // the system does not say), and moving it there (false where the system does not allow it).
  virtual void cursor_show(window_handle window, bool shown) = 0;
  virtual bool cursor_position(window_handle window, int& x, int& y) = 0;
  virtual bool cursor_warp(window_handle window, int x, int y) = 0;

  // Keeps the screen saver and the display's power saving away while on; ends with the process.
  virtual bool idle_inhibit(bool on) = 0;
  // True when no other process holds the name (engine text); the name is then held until exit.
  virtual bool single_instance(const char* name) = 0;
  // Opens an address ("https://...") or a document (an engine path) with the user's program.
  virtual bool shell_open(const char* target) = 0;
  // Starts a program (command line as engine text, split at blanks outside double quotes) in a
  // folder (engine path; nullptr for the current one). When it ends, message is posted to notify
  // with wparam the exit status and lparam the process id. False when it could not start.
  virtual bool process_spawn(const char* command_line, const char* folder, window_handle notify,
                             uint32_t message) = 0;
  // The file chooser over owner; path receives the choice. FILE_DIALOG_OK, _CANCEL or _ERROR.
  virtual int file_dialog(window_handle owner, const file_dialog_spec& spec, std::string& path) = 0;
  // A modal line of text to enter under a prompt (engine texts), centred on owner; text holds the
  // default on entry and the entered text on return. Only its OK button closes it.
  virtual void text_input_dialog(window_handle owner, const std::string& title, const std::string& prompt,
                                 std::string& text) = 0;
  // A modal dialog of the engine's over owner, centred on it; a right click is Cancel. IDOK with the
  // controls holding what the user left in them, or IDCANCEL.
  virtual int dialog_run(window_handle owner, dialog_form& form) = 0;

  // Game pad 0 or 1; false when it is not there.
  virtual bool joystick_read(int pad, joystick_reading& reading) = 0;

  // Starts the sound output: a thread of the host pulls 44100 Hz 16-bit stereo frames from
  // sound_mix (platform/sound_buffers.h). True when it runs (also when it ran already); once open
  // it stays open until the process ends.
  virtual bool sound_output_open() = 0;

  // The primary display's size in pixels (from monitors).
  void primary_screen_size(int& width, int& height);
};

// The backend in use. The headless backend is installed until a program installs another.
platform_backend& plat();
// Installs a backend (not owned) and returns the previous one; nullptr restores the default.
platform_backend* plat_install(platform_backend* backend);

// Services that both backends share.
// Files dropped on a window: a backend keeps the paths (engine paths) and posts WM_DROPFILES with
// the drop as wparam; the window reads them and finishes the drop, which forgets them.
uintptr_t dropped_files_add(std::vector<std::string> paths);
bool dropped_files(uintptr_t drop, std::vector<std::string>& paths);
void dropped_files_finish(uintptr_t drop);
// The host's monotonic clock and sleep.
uint32_t host_clock_ms();
void host_sleep_ms(uint32_t ms);
// A command line split into its words: blanks outside double quotes separate, the quotes go, and a
// backslash is an ordinary character (the engine's paths are full of them).
std::vector<std::string> command_line_split(const std::string& command_line);
// A host path (UTF-8, "/") as an engine path (CP932 where it converts, "\").
std::string engine_path_from_host(const std::string& host_path);
// Takes the single-instance lock of a name: a lock file in the user's runtime folder, else in the
// user's cache folder, else in a folder of the temporary folder made private (0700); each is used
// only when it is the user's own. True when it was free, or when no folder is safe (a player is
// never kept out); the lock is then held until the process ends (or released, for tests).
bool instance_lock_acquire(const std::string& name);
void instance_lock_release(const std::string& name);
// The part of a zoomed picture that falls into area, as opaque 32-bit pixels 0xFFRRGGBB (area.width
// per row): the picture is source_rect of source placed at (x, y) and scaled by zoom / 1000, nearest
// pixel. Pixels of area outside the picture, or from outside the source, are left as they are.
// out_stride is out's row length in pixels (0: area.width).
void paint_stretch_xrgb(const pixel_source& source, const plat_rect& source_rect, int x, int y, int zoom_x,
                        int zoom_y, const plat_rect& area, uint32_t* out, int out_stride = 0);
// The picture's rectangle in the window.
plat_rect paint_picture_rect(const plat_rect& source_rect, int x, int y, int zoom_x, int zoom_y);
// The overlap of two rectangles (width or height 0 when they do not meet).
plat_rect rect_intersect(const plat_rect& a, const plat_rect& b);
