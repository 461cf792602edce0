#include "platform/headless/headless.h"

#include <time.h>

#include <cstdio>
#include <thread>

#include "base/cp932.h"

int headless_platform::default_answer(unsigned style) {
  switch (style & MB_BUTTON_MASK) {
    case MB_RETRYCANCEL:
    case MB_OKCANCEL:
      return IDCANCEL;  // a retry loop with nobody to answer must not spin
    case MB_YESNO:
      return IDNO;
    default:
      return IDOK;
  }
}

int headless_platform::message_box(window_handle owner, const char* text, const char* caption, unsigned style) {
  int answer;
  if (!queued_answers.empty()) {
    answer = queued_answers.front();
    queued_answers.pop_front();
  } else {
    answer = default_answer(style);
    if (print_boxes)
      fprintf(stderr, "[%s] %s\n", cp932_to_utf8_lenient(caption ? caption : "").c_str(),
              cp932_to_utf8_lenient(text ? text : "").c_str());
  }
  boxes.push_back({text ? text : "", caption ? caption : "", style, answer, owner});
  return answer;
}

void headless_platform::answer_boxes(std::initializer_list<int> answers) {
  queued_answers.insert(queued_answers.end(), answers.begin(), answers.end());
}

uint32_t headless_platform::clock_ms() {
  if (fake_clock_) return fake_now_;
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

void headless_platform::sleep_ms(uint32_t ms) {
  if (fake_clock_)
    fake_now_ += ms;
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void headless_platform::use_fake_clock(uint32_t start_ms) {
  fake_clock_ = true;
  fake_now_ = start_ms;
}

void headless_platform::advance(uint32_t ms) { fake_now_ += ms; }

bool headless_platform::clipboard_set_text(const std::string& text) {
  clipboard = text;
  clipboard_has_text = true;
  return true;
}

bool headless_platform::clipboard_get_text(std::string& text) {
  if (!clipboard_has_text) return false;
  text = clipboard;
  return true;
}

bool headless_platform::message_dialog_show(const char* template_name) {
  dialogs_shown.emplace_back(template_name ? template_name : "");
  dialog_open = true;
  return true;
}

void headless_platform::message_dialog_close() { dialog_open = false; }

void headless_platform::window_host_create(plat_window*) { ++host_windows; }

void headless_platform::window_host_destroy(plat_window*) { --host_windows; }

void headless_platform::window_host_title(plat_window*) {}

void headless_platform::window_set_foreground(window_handle window) { foreground = window; }

void headless_platform::pump_host_events() {
  if (on_pump) on_pump();
}

intptr_t headless_platform::host_default_procedure(window_handle, uint32_t, uintptr_t, intptr_t) { return 0; }

void headless_platform::menu_item_check(window_handle, int id, bool checked) { menu_checked[id] = checked; }

void headless_platform::menu_item_enable(window_handle, int id, bool enabled) { menu_enabled[id] = enabled; }

void headless_platform::primary_screen_size(int& width, int& height) {
  width = screen_width;
  height = screen_height;
}

void headless_platform::menu_item_delete(window_handle, int id) { menu_deleted.insert(id); }

bool headless_platform::idle_inhibit(bool on) {
  idle_inhibited = on;
  return true;
}

bool headless_platform::single_instance(const char* name) {
  instance_names.emplace_back(name ? name : "");
  return !other_instances.count(instance_names.back());
}
