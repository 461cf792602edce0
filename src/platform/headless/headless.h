// Headless backend: no display. Tests script its answers and read back what it showed; batch runs
// get boxes printed to stderr with a safe default answer.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
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

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;
  void window_host_create(plat_window* window) override;
  void window_host_destroy(plat_window* window) override;
  void window_host_title(plat_window* window) override;
  void window_set_foreground(window_handle window) override;
  void pump_host_events() override;
  intptr_t host_default_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) override;
  uint32_t clock_ms() override;
  void sleep_ms(uint32_t ms) override;
  bool clipboard_set_text(const std::string& text) override;
  bool clipboard_get_text(std::string& text) override;
  bool message_dialog_show(const char* template_name) override;
  void message_dialog_close() override;
  void menu_item_check(window_handle window, int id, bool checked) override;
  void menu_item_enable(window_handle window, int id, bool enabled) override;
  void menu_item_delete(window_handle window, int id) override;
  void primary_screen_size(int& width, int& height) override;
  bool idle_inhibit(bool on) override;
  bool single_instance(const char* name) override;

  // Answers for the next boxes, in order; when none is queued the default answer is used.
  void answer_boxes(std::initializer_list<int> answers);
  static int default_answer(unsigned style);

  // The fake clock: when on, time moves only by advance() and sleep_ms().
  void use_fake_clock(uint32_t start_ms);
  void advance(uint32_t ms);

  std::vector<shown_box> boxes;            // every box shown, oldest first
  std::deque<int> queued_answers;
  bool print_boxes = true;                 // unanswered boxes go to stderr
  std::string clipboard;                   // engine text
  bool clipboard_has_text = false;
  std::vector<std::string> dialogs_shown;  // template names, in order
  bool dialog_open = false;
  window_handle foreground = nullptr;      // the last window brought to the front
  int host_windows = 0;                    // windows whose host side exists

  // Runs between host-event pumps: tests use it to inject the messages a user would cause at a
  // given moment (injected messages are simply posted).
  std::function<void()> on_pump;

  std::map<int, bool> menu_checked;        // check marks set from code, by command id (any window)
  std::map<int, bool> menu_enabled;        // enable states set from code, by command id (any window)
  std::set<int> menu_deleted;              // entries deleted by code, by command id (any window)
  int screen_width = 1920;                 // the fake primary display
  int screen_height = 1080;
  bool idle_inhibited = false;
  std::set<std::string> other_instances;   // names another process holds
  std::vector<std::string> instance_names; // every name asked for

 private:
  // Atomic: the sound worker reads the clock too.
  std::atomic<bool> fake_clock_{false};
  std::atomic<uint32_t> fake_now_{0};
};
