// Headless backend: no display. Tests script its answers and read back what it showed; batch runs
// get boxes printed to stderr with a safe default answer.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

class headless_platform : public platform_backend {
 public:
  struct shown_box {
    std::string text;     // engine text, as passed
    std::string caption;  // engine text, as passed
    unsigned style;
    int answer;
    window_handle owner;
  };

  // A menu entry's state as code left it.
  struct menu_item_state {
    bool checked = false;
    bool enabled = true;
    bool present = true;  // false once deleted
  };

  // What a window's host side would show.
  struct window_record {
    bool visible = false;
    int client_width = 0, client_height = 0;
    int x = 0, y = 0;
    bool topmost = false, fullscreen = false, menu_bar_shown = true, accept_files = false;
    int show_state = SIZE_RESTORED;
    bool cursor_shown = true;
    int status_bar_height = 0;            // 0: the window has no status bar
    std::string status_text;              // engine text
    std::map<int, menu_item_state> menu;  // the entries of its menu variant, by command id
    std::vector<plat_rect> invalidated;   // every invalidation, in order
    plat_rect invalid{0, 0, 0, 0};        // what the next WM_PAINT repaints
    std::vector<uint32_t> pixels;         // the client area as 0xFFRRGGBB (0: never painted)
    uint32_t pixel(int px, int py) const { return pixels[static_cast<size_t>(py) * client_width + px]; }
  };

  struct spawned_process {
    std::vector<std::string> argv;  // engine text
    std::string folder;
    window_handle notify;
    uint32_t message;
    bool running;
  };

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

  // The null sound output: tests mix n frames by hand (interleaved stereo); with sound_clocked a
  // thread of its own mixes into nowhere at the output's real pace, as a device would.
  std::vector<int16_t> sound_advance(int frames);

  // Answers for the next boxes, in order; when none is queued the default answer is used.
  void answer_boxes(std::initializer_list<int> answers);
  static int default_answer(unsigned style);

  // The fake clock: when on, time moves only by advance(), sleep_ms() and wait_events(); a wait
  // moves it by at most fake_wait_max (1: as far as a pass that sleeps a millisecond, so that
  // what on_pump injects comes when it did).
  void use_fake_clock(uint32_t start_ms);
  void advance(uint32_t ms);
  uint32_t fake_wait_max = 1;
  // The waits asked for, and the last one's length (WAIT_NO_LIMIT for none).
  uint64_t waits = 0;
  uint32_t last_wait = 0;
  // A menu of the bar is open while set (tests open and close it).
  bool menu_open = false;

  // The host record of a window (nullptr for none or a destroyed one).
  window_record* record(window_handle window);
  // A user dropping files on the window: posts WM_DROPFILES when the window accepts files, and
  // returns the drop (0 when refused).
  uintptr_t drop_files(window_handle window, const std::vector<std::string>& paths);
  // A spawned program ending with the status.
  void process_exit(size_t index, int status);

  std::vector<shown_box> boxes;            // every box shown, oldest first
  std::deque<int> queued_answers;
  bool print_boxes = true;                 // unanswered boxes go to stderr
  std::string clipboard;                   // engine text
  bool clipboard_has_text = false;
  std::vector<std::string> dialogs_shown;  // template names, in order
  bool dialog_open = false;
  window_handle foreground = nullptr;      // the last window brought to the front
  bool other_program_foreground = false;   // another program's window holds the focus
  bool fullscreen_pending = false;         // the window system has not yet shown an asked full screen
  int host_windows = 0;                    // windows whose host side exists

  // Runs between host-event pumps: tests use it to inject the messages a user would cause at a
  // given moment (injected messages are simply posted).
  std::function<void()> on_pump;

  std::map<int, bool> menu_checked;        // check marks set from code, by command id (any window)
  std::map<int, bool> menu_enabled;        // enable states set from code, by command id (any window)
  std::set<int> menu_deleted;              // entries deleted by code, by command id (any window)
  int screen_width = 1920;                 // the fake primary display
  int screen_height = 1080;
  std::vector<monitor_info> monitor_list;  // empty: one monitor of screen_width x screen_height

  std::map<int, bool> keys_down;           // by virtual-key code, as tests set them
  bool caps_lock = false;
  int cursor_x = 0, cursor_y = 0;          // client coordinates of the (only) window under test
  bool cursor_warp_allowed = true;
  std::vector<std::pair<int, int>> warps;  // every warp asked for
  bool idle_inhibited = false;
  std::set<std::string> other_instances;   // names another process holds
  std::vector<std::string> instance_names; // every name asked for
  bool shell_open_works = true;
  std::vector<std::string> opened;         // every target handed to shell_open
  bool spawn_works = true;
  // true: spawned programs really run (tests of outside programs); a thread waits for each and
  // posts its message when it ends. Otherwise they are only recorded, and process_exit ends them.
  bool spawn_runs = false;
  std::vector<spawned_process> spawned;
  std::vector<file_dialog_spec> file_dialogs;  // every chooser shown
  std::deque<std::pair<int, std::string>> file_dialog_answers;  // (result, path); none queued: cancel
  struct text_input {
    std::string title, prompt, default_text;
  };
  std::vector<text_input> text_inputs;        // every text-input dialog shown
  std::deque<std::string> text_input_answers; // what the user types; none queued: the default stays
  std::vector<dialog_form> forms;          // every dialog shown, as it opened
  // The user's part in the next dialogs, in order: changes the controls, returns IDOK or IDCANCEL.
  // None queued: Cancel.
  std::deque<std::function<int(dialog_form&)>> form_answers;
  bool pad_present[2] = {false, false};
  joystick_reading pads[2] = {{32767, 32767, 0}, {32767, 32767, 0}};
  bool sound_output_works = true;          // false: the output refuses to open
  bool sound_clocked = false;              // set before the output opens
  int sound_output_opens = 0;              // successful opens asked for

 private:
  std::vector<plat_window*> hosts_;     // windows with a host record, in creation order
  window_record* painting_ = nullptr;  // the record whose WM_PAINT is being handled
  plat_rect paint_clip_{0, 0, 0, 0};
  // Atomic: the sound worker reads the clock too.
  std::atomic<bool> fake_clock_{false};
  std::atomic<uint32_t> fake_now_{0};
};
