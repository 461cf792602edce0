#include "platform/headless/headless.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "base/cp932.h"
#include "platform/sound_buffers.h"
#include "resources/menus.h"

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

uint32_t headless_platform::clock_ms() { return fake_clock_ ? fake_now_.load() : host_clock_ms(); }

void headless_platform::sleep_ms(uint32_t ms) {
  if (fake_clock_)
    fake_now_ += ms;
  else
    host_sleep_ms(ms);
}

// With the real clock, a poll on the post signal until the clock's tick; while on_pump injects
// messages at moments of its own, no wait is longer than a millisecond.
void headless_platform::wait_events(uint32_t ms) {
  ++waits;
  last_wait = ms;
  if (fake_clock_) {
    fake_now_ += std::min(ms, fake_wait_max);
    return;
  }
  if (on_pump) ms = std::min<uint32_t>(ms, 1);
  if (ms == 0) return;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t now_ns = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
  int64_t until_ns = (now_ns / 1000000 + ms) * 1000000;
  pollfd signal{message_post_signal(), POLLIN, 0};
  for (;;) {
    int64_t left = until_ns - now_ns;
    timespec limit{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    if (ppoll(&signal, 1, ms == WAIT_NO_LIMIT ? nullptr : &limit, nullptr) >= 0 || errno != EINTR) break;
    clock_gettime(CLOCK_MONOTONIC, &now);
    now_ns = std::min(until_ns, int64_t{now.tv_sec} * 1000000000 + now.tv_nsec);
  }
  if (signal.revents & POLLIN) message_post_signal_clear();
}

bool headless_platform::menu_active() { return menu_open; }

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

// ---- Windows

headless_platform::window_record* headless_platform::record(window_handle window) {
  return window_is_alive(window) && window->host ? static_cast<window_record*>(window->host) : nullptr;
}

void headless_platform::window_host_create(plat_window* window) {
  auto* r = new window_record;
  r->client_width = window_side_usable(window->spec.client_width);
  r->client_height = window_side_usable(window->spec.client_height);
  r->status_bar_height = std::max(window->spec.status_bar_height, 0);
  r->pixels.assign(static_cast<size_t>(r->client_width) * r->client_height, 0);
  if (const menu_model* model = menu_model_find(window->spec.menu_name))
    for (int id : menu_model_ids(*model)) r->menu[id] = menu_item_state{};
  window->host = r;
  hosts_.push_back(window);
  ++host_windows;
}

void headless_platform::window_host_destroy(plat_window* window) {
  auto it = std::find(hosts_.begin(), hosts_.end(), window);
  if (it == hosts_.end()) return;
  hosts_.erase(it);
  window_record* r = static_cast<window_record*>(window->host);
  if (painting_ == r) painting_ = nullptr;
  delete r;
  window->host = nullptr;
  --host_windows;
}

void headless_platform::window_host_title(plat_window*) {}

void headless_platform::window_set_foreground(window_handle window) { foreground = window; }

void headless_platform::window_show(window_handle window, bool visible) {
  window_record* r = record(window);
  if (!r) return;
  if (visible && !r->visible) window_invalidate(window, nullptr);  // a window that appears paints
  r->visible = visible;
}

void headless_platform::window_client_size(window_handle window, int& width, int& height) {
  window_record* r = record(window);
  width = r ? r->client_width : 0;
  height = r ? r->client_height : 0;
}

void headless_platform::window_set_client_size(window_handle window, int width, int height) {
  window_record* r = record(window);
  if (!r || (width != 0 && !window_side_usable(width)) || (height != 0 && !window_side_usable(height))) return;
  r->client_width = width;
  r->client_height = height;
  r->pixels.assign(static_cast<size_t>(width) * height, 0);
  r->invalid = {0, 0, width, height};  // a resized window repaints whole
}

void headless_platform::window_position(window_handle window, int& x, int& y) {
  window_record* r = record(window);
  x = r ? r->x : 0;
  y = r ? r->y : 0;
}

bool headless_platform::window_move(window_handle window, int x, int y) {
  window_record* r = record(window);
  if (!r) return false;
  r->x = x;
  r->y = y;
  return true;
}

void headless_platform::window_set_topmost(window_handle window, bool topmost) {
  if (window_record* r = record(window)) r->topmost = topmost;
}

void headless_platform::window_set_fullscreen(window_handle window, bool fullscreen) {
  if (window_record* r = record(window)) r->fullscreen = fullscreen;
}

void headless_platform::window_show_menu_bar(window_handle window, bool shown) {
  if (window_record* r = record(window)) r->menu_bar_shown = shown;
}

int headless_platform::window_show_state(window_handle window) {
  window_record* r = record(window);
  return r ? r->show_state : static_cast<int>(SIZE_RESTORED);
}

bool headless_platform::window_is_fullscreen(window_handle window) {
  window_record* r = record(window);
  return r && r->fullscreen && !fullscreen_pending;
}

bool headless_platform::window_foreground_elsewhere(window_handle) { return other_program_foreground; }

void headless_platform::window_status_text(window_handle window, const char* text) {
  window_record* r = record(window);
  if (r && r->status_bar_height > 0) r->status_text = text ? text : "";
}

void headless_platform::window_accept_files(window_handle window, bool accept) {
  if (window_record* r = record(window)) r->accept_files = accept;
}

uintptr_t headless_platform::drop_files(window_handle window, const std::vector<std::string>& paths) {
  window_record* r = record(window);
  if (!r || !r->accept_files) return 0;
  uintptr_t drop = dropped_files_add(paths);
  message_post(window, WM_DROPFILES, drop, 0);
  return drop;
}

// ---- Painting: the client area is a pixel buffer; WM_PAINT comes with the pump.

void headless_platform::window_invalidate(window_handle window, const plat_rect* rect) {
  window_record* r = record(window);
  if (!r) return;
  plat_rect client{0, 0, r->client_width, r->client_height};
  plat_rect part = rect ? rect_intersect(*rect, client) : client;
  r->invalidated.push_back(rect ? *rect : client);
  if (part.width <= 0 || part.height <= 0) return;
  if (r->invalid.width <= 0 || r->invalid.height <= 0) {
    r->invalid = part;
    return;
  }
  int left = std::min(r->invalid.x, part.x), top = std::min(r->invalid.y, part.y);
  int right = std::max(r->invalid.x + r->invalid.width, part.x + part.width);
  int bottom = std::max(r->invalid.y + r->invalid.height, part.y + part.height);
  r->invalid = {left, top, right - left, bottom - top};
}

void headless_platform::window_paint_pixels(window_handle window, int x, int y, const pixel_source& source,
                                            const plat_rect& source_rect, int zoom_x, int zoom_y) {
  window_record* r = record(window);
  if (!r || r != painting_) return;
  plat_rect area = rect_intersect(paint_clip_, paint_picture_rect(source_rect, x, y, zoom_x, zoom_y));
  if (area.width <= 0 || area.height <= 0) return;
  // Straight into the client area: pixels the picture leaves alone stay as they were.
  paint_stretch_xrgb(source, source_rect, x, y, zoom_x, zoom_y, area,
                     &r->pixels[static_cast<size_t>(area.y) * r->client_width + area.x], r->client_width);
}

void headless_platform::window_paint_fill(window_handle window, const plat_rect& rect, uint32_t colour) {
  window_record* r = record(window);
  if (!r || r != painting_) return;
  plat_rect area = rect_intersect(paint_clip_, rect);
  uint32_t xrgb = 0xFF000000u | (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
  for (int j = 0; j < area.height; ++j)
    std::fill_n(&r->pixels[static_cast<size_t>(area.y + j) * r->client_width + area.x], area.width, xrgb);
}

void headless_platform::pump_host_events() {
  if (on_pump) on_pump();
  std::vector<plat_window*> hosts = hosts_;  // a paint may create or destroy windows
  for (plat_window* w : hosts) {
    window_record* r = record(w);
    if (!r || r->invalid.width <= 0 || r->invalid.height <= 0) continue;
    painting_ = r;
    paint_clip_ = r->invalid;
    r->invalid = {0, 0, 0, 0};
    message_send(w, WM_PAINT, 0, 0);
    painting_ = nullptr;
  }
}

intptr_t headless_platform::host_default_procedure(window_handle, uint32_t, uintptr_t, intptr_t) { return 0; }

// ---- Menus

void headless_platform::menu_item_check(window_handle window, int id, bool checked) {
  menu_checked[id] = checked;
  if (window_record* r = record(window)) {
    auto it = r->menu.find(id);
    if (it != r->menu.end() && it->second.present) it->second.checked = checked;
  }
}

void headless_platform::menu_item_enable(window_handle window, int id, bool enabled) {
  menu_enabled[id] = enabled;
  if (window_record* r = record(window)) {
    auto it = r->menu.find(id);
    if (it != r->menu.end() && it->second.present) it->second.enabled = enabled;
  }
}

void headless_platform::menu_item_delete(window_handle window, int id) {
  menu_deleted.insert(id);
  if (window_record* r = record(window)) {
    auto it = r->menu.find(id);
    if (it != r->menu.end()) it->second.present = false;
  }
}

// ---- Displays, keys, cursor

void headless_platform::monitors(std::vector<monitor_info>& list) {
  if (!monitor_list.empty()) {
    list = monitor_list;
    return;
  }
  plat_rect area{0, 0, screen_width, screen_height};
  list.assign(1, monitor_info{area, area, 60, true});
}

int headless_platform::window_monitor(window_handle window) {
  std::vector<monitor_info> list;
  monitors(list);
  window_record* r = record(window);
  for (size_t i = 0; r && i < list.size(); ++i) {
    const plat_rect& a = list[i].area;
    if (r->x >= a.x && r->x < a.x + a.width && r->y >= a.y && r->y < a.y + a.height) return static_cast<int>(i);
  }
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].primary) return static_cast<int>(i);
  return 0;
}

int headless_platform::key_async_state(int vk) {
  auto it = keys_down.find(vk);
  return it != keys_down.end() && it->second ? KEY_STATE_DOWN : 0;
}

bool headless_platform::caps_lock_on() { return caps_lock; }

void headless_platform::cursor_show(window_handle window, bool shown) {
  if (window_record* r = record(window)) r->cursor_shown = shown;
}

bool headless_platform::cursor_position(window_handle, int& x, int& y) {
  x = cursor_x;
  y = cursor_y;
  return true;
}

bool headless_platform::cursor_warp(window_handle, int x, int y) {
  warps.emplace_back(x, y);
  if (!cursor_warp_allowed) return false;
  cursor_x = x;
  cursor_y = y;
  return true;
}

// ---- System services

bool headless_platform::idle_inhibit(bool on) {
  idle_inhibited = on;
  return true;
}

bool headless_platform::single_instance(const char* name) {
  instance_names.emplace_back(name ? name : "");
  return !other_instances.count(instance_names.back());
}

bool headless_platform::shell_open(const char* target) {
  opened.emplace_back(target ? target : "");
  return shell_open_works;
}

// Runs the program for real (engine paths and text as they are: tests use ASCII host paths); a
// detached thread waits for its end and posts the message with the exit status.
static bool program_run(const std::vector<std::string>& argv, const char* folder, window_handle notify,
                        uint32_t message) {
  std::vector<std::string> args = argv;
  for (std::string& a : args) std::replace(a.begin(), a.end(), '\\', '/');
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string working = folder ? folder : "";
  std::replace(working.begin(), working.end(), '\\', '/');
  if (!working.empty()) posix_spawn_file_actions_addchdir_np(&actions, working.c_str());
  pid_t pid;
  extern char** environ;
  int failed = posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return false;
  std::thread([pid, notify, message] {
    int status = 0;
    waitpid(pid, &status, 0);
    if (message) message_post(notify, message, static_cast<uintptr_t>(WEXITSTATUS(status)), pid);
  }).detach();
  return true;
}

bool headless_platform::process_spawn(const char* command_line, const char* folder, window_handle notify,
                                      uint32_t message) {
  std::vector<std::string> argv = command_line_split(command_line ? command_line : "");
  if (!spawn_works || argv.empty()) return false;
  spawned.push_back({argv, folder ? folder : "", notify, message, true});
  if (spawn_runs) return program_run(argv, folder, notify, message);
  return true;
}

void headless_platform::process_exit(size_t index, int status) {
  if (index >= spawned.size() || !spawned[index].running) return;
  spawned[index].running = false;
  message_post(spawned[index].notify, spawned[index].message, static_cast<uintptr_t>(status),
               static_cast<intptr_t>(1000 + index));
}

int headless_platform::file_dialog(window_handle, const file_dialog_spec& spec, std::string& path) {
  file_dialogs.push_back(spec);
  if (file_dialog_answers.empty()) return FILE_DIALOG_CANCEL;
  auto [result, chosen] = file_dialog_answers.front();
  file_dialog_answers.pop_front();
  if (result == FILE_DIALOG_OK) path = chosen;
  return result;
}

void headless_platform::text_input_dialog(window_handle, const std::string& title, const std::string& prompt,
                                          std::string& text) {
  text_inputs.push_back({title, prompt, text});
  if (text_input_answers.empty()) return;
  text = text_input_answers.front();
  text_input_answers.pop_front();
}

int headless_platform::dialog_run(window_handle, dialog_form& form) {
  forms.push_back(form);
  if (form_answers.empty()) return IDCANCEL;
  std::function<int(dialog_form&)> answer = std::move(form_answers.front());
  form_answers.pop_front();
  return answer(form) == IDOK ? IDOK : IDCANCEL;
}

bool headless_platform::joystick_read(int pad, joystick_reading& reading) {
  if (pad < 0 || pad > 1 || !pad_present[pad]) return false;
  reading = pads[pad];
  return true;
}

// The clocked null output mixes what the elapsed time asks for, every 10 ms.
static void null_output_run() {
  int16_t frames[2 * 4410];
  uint64_t mixed = 0, elapsed_ms = 0;
  uint32_t last = host_clock_ms();
  for (;;) {
    host_sleep_ms(10);
    uint32_t now = host_clock_ms();
    elapsed_ms += now - last;  // wraps with the clock
    last = now;
    uint64_t due = elapsed_ms * SOUND_OUTPUT_RATE / 1000;
    while (mixed < due) {
      int n = static_cast<int>(std::min<uint64_t>(due - mixed, 4410));
      sound_mix(frames, n);
      mixed += static_cast<uint64_t>(n);
    }
  }
}

bool headless_platform::sound_output_open() {
  if (!sound_output_works) return false;
  if (sound_clocked && sound_output_opens == 0) std::thread(null_output_run).detach();
  ++sound_output_opens;
  return true;
}

std::vector<int16_t> headless_platform::sound_advance(int frames) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
  sound_mix(out.data(), frames);
  return out;
}
