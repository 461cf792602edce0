// The desktop backend: GTK 3 windows, menus and dialogs, cairo painting, SDL2 game pads and sound.
//
// Everything runs on the window thread. GDK events become engine messages posted into the common
// queue (platform/window.h) while pump_host_events runs GTK's pending events; painting is the
// one exception: GTK asks for it and WM_PAINT is sent at once, with the cairo context of that
// draw open for the paint calls.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

// UTF-8 text for GTK from a literal (sources compile plain literals to CP932).
#define U8(text) reinterpret_cast<const char*>(u8##text)

struct gtk_menu_entry {
  GtkWidget* item;
  bool checkable;
  bool checked;  // the state code set; a click does not change it
};

// The host side of one window.
struct gtk_host {
  plat_window* window;
  GtkWidget* toplevel;
  GtkWidget* menu_bar;  // nullptr without a menu
  GtkWidget* menu_holder = nullptr;  // what holds the bar in the window
  GtkWidget* area;      // the client area
  GtkWidget* status_bar = nullptr;  // a label below the client area; nullptr without one
  std::map<int, gtk_menu_entry> menu;
  std::vector<GtkWidget*> menus;  // the bar's menus (their handlers name this record)
  bool menu_bar_shown = true;
  bool menu_open = false;
  bool accept_files = false;
  cairo_t* paint = nullptr;  // while WM_PAINT is handled
  // The pixels of an opaque picture painted into the window, kept from paint to paint so that a
  // frame neither allocates nor clears them.
  std::vector<uint32_t> picture_pixels;
  GdkWindowState state = GdkWindowState(0);
  int x = 0, y = 0;  // the last position the window system reported
  int frame_x = 0, frame_y = 0;  // window_position as it was then, for when the window is gone
  unsigned long xid = 0;  // the toplevel's X window once mapped (0: none, or not on X)
  bool gone = false;      // destroyed by another program
  // A place asked for before the window was shown: window managers place a new window by their own
  // rule, so it is asked for again once the window is on the screen.
  bool place_pending = false;
  int place_x = 0, place_y = 0;
  // Double clicks: the last press.
  int last_button = 0;
  guint32 last_time = 0;
  double last_x = 0, last_y = 0;
  bool last_was_double = false;
  // Alt pressed and released with nothing between opens the menu bar.
  bool alt_alone = false;
  bool menu_key_pending = false;
  double scroll_rest = 0;  // smooth scrolling not yet sent as wheel units
};

class gtk_platform : public platform_backend {
 public:
  gtk_platform();

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;
  void window_host_create(plat_window* window) override;
  void window_host_destroy(plat_window* window) override;
  void window_host_title(plat_window* window) override;
  void window_set_foreground(window_handle window) override;
  void window_show(window_handle window, bool visible) override;
  void window_client_size(window_handle window, int& width, int& height) override;
  void window_set_client_size(window_handle window, int width, int height) override;
  void window_position(window_handle window, int& x, int& y) override;
  bool window_move(window_handle window, int x, int y) override;
  void window_set_topmost(window_handle window, bool topmost) override;
  void window_set_fullscreen(window_handle window, bool fullscreen) override;
  void window_show_menu_bar(window_handle window, bool shown) override;
  int window_show_state(window_handle window) override;
  bool window_is_fullscreen(window_handle window) override;
  bool window_foreground_elsewhere(window_handle window) override;
  void window_status_text(window_handle window, const char* text) override;
  void window_accept_files(window_handle window, bool accept) override;
  void window_invalidate(window_handle window, const plat_rect* rect) override;
  void window_paint_pixels(window_handle window, int x, int y, const pixel_source& source, const plat_rect& source_rect,
                           int zoom_x, int zoom_y) override;
  void window_paint_fill(window_handle window, const plat_rect& rect, uint32_t colour) override;
  void pump_host_events() override;
  intptr_t host_default_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) override;
  uint32_t clock_ms() override;
  void sleep_ms(uint32_t ms) override;
  void wait_events(uint32_t ms) override;
  bool menu_active() override;
  bool clipboard_set_text(const std::string& text) override;
  bool clipboard_get_text(std::string& text) override;
  bool message_dialog_show(const char* template_name) override;
  void message_dialog_close() override;
  void menu_item_check(window_handle window, int id, bool checked) override;
  void menu_item_enable(window_handle window, int id, bool enabled) override;
  void menu_item_delete(window_handle window, int id) override;
  void monitors(std::vector<monitor_info>& list) override;
  int window_monitor(window_handle window) override;
  int key_async_state(int vk) override;
  bool caps_lock_on() override;
  void cursor_show(window_handle window, bool shown) override;
  bool cursor_position(window_handle window, int& x, int& y) override;
  bool cursor_warp(window_handle window, int x, int y) override;
  bool idle_inhibit(bool on) override;
  bool single_instance(const char* name) override;
  bool shell_open(const char* target) override;
  bool process_spawn(const char* command_line, const char* folder, window_handle notify, uint32_t message) override;
  int file_dialog(window_handle owner, const file_dialog_spec& spec, std::string& path) override;
  void text_input_dialog(window_handle owner, const std::string& title, const std::string& prompt,
                         std::string& text) override;
  int dialog_run(window_handle owner, dialog_form& form) override;
  bool joystick_read(int pad, joystick_reading& reading) override;
  bool sound_output_open() override;

  // Shared by the backend's files.
  static gtk_host* host_of(window_handle window);
  // Runs a dialog until it answers, handling the engine's messages meanwhile, as the system's own
  // modal loops always did; the windows ignore close requests while it runs. Returns the response.
  int run_modal(GtkWidget* dialog, bool (*accept)(int response, void* data), void* data);
  bool modal_open() const { return modal_depth_ > 0; }
  bool display_lost = false;  // the connection broke: nothing more reaches the display
  const std::vector<gtk_host*>& hosts() const { return hosts_; }
  void set_key_down(int vk, bool down) { keys_down_[vk] = down; }
  void clear_keys() { keys_down_.clear(); }
  void post_to_all(uint32_t message, uintptr_t wparam, intptr_t lparam);

 private:
  int modal_depth_ = 0;
  std::map<int, bool> keys_down_;
  std::vector<gtk_host*> hosts_;
  GtkWidget* wait_dialog_ = nullptr;
  bool clipboard_owned_ = false;
  uint32_t inhibit_cookie_ = 0;
};

gtk_platform& gtk_backend();

// X failures (gtk_x11.cpp) that GDK answers with an immediate exit end the session in order: a
// broken connection to the display (session_end_display_lost), an error about a window another
// program destroyed (host_destroyed_outside).
void x11_failures_watch();
// The X window of a GdkWindow; 0 when it is none.
unsigned long x11_window_id(GdkWindow* window);
// An X window of ours is gone: errors about it are no longer GDK's to end the process for.
void x11_window_gone(unsigned long xid);
// The host's toplevel was destroyed by another program: the game ends as at the session's end.
void host_destroyed_outside(gtk_host* host);

// Keys: the virtual-key code of a key event (0 for keys the engine has no code for), and whether
// the key is one of the extended keys.
int vk_from_key_event(const GdkEventKey* event, bool& extended);

// Menus (gtk_menus.cpp): builds the window's menu bar from its model; nullptr without a menu.
GtkWidget* menu_bar_build(gtk_host* host);
// Opens a menu of the bar by its access key (0: the first menu).
void menu_bar_open(gtk_host* host, int access_key);
// A label with "&" access keys as GTK's "_" mnemonic text (UTF-8).
std::string menu_label_mnemonic(const char* engine_label);
// Puts our log writer in front of GLib's (once per process, before GTK starts): it keeps out the
// warning GTK gives when menu_bar_open drops a menu down.
void menu_log_writer_install();
