// Input scenes: a main window on the headless backend with the fake clock, messages posted as a
// user would cause them, and passes of the main thread made as the interpreter makes them.
#pragma once

#include <initializer_list>
#include <string>

#include "../vm/interpreter_fixture.h"
#include "graphics/presentation.h"
#include "shell/input.h"
#include "shell/joystick.h"
#include "shell/menu_request.h"
#include "shell/mouse.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"

class input_scene : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    platform.use_fake_clock(5000);
    window_core_reset();
    windows_reset();
    main_window_open();
    presentation_reset();
    request_reset();
    input_reset();
    mouse_reset();
    joy_reset();
    input_init();
    vm_time_update();
  }
  void TearDown() override {
    joy_reset();
    mouse_reset();
    input_reset();
    window_core_reset();
    windows_reset();
    presentation_reset();
    program_test::TearDown();
  }

  static void post(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    message_post(main_window_get(), message, wparam, lparam);
    drain_window_messages();
  }
  static void key_down(int vk) { post(WM_KEYDOWN, static_cast<uintptr_t>(vk), 1); }
  static void key_up(int vk) { post(WM_KEYUP, static_cast<uintptr_t>(vk), 1 | KEY_WAS_DOWN | KEY_RELEASED); }
  static void key(int vk) { key_down(vk), key_up(vk); }
  static void move(int x, int y) { post(WM_MOUSEMOVE, 0, make_lparam(x, y)); }
  static void button(uint32_t message, int x, int y) { post(message, 0, make_lparam(x, y)); }
  static void click(int x, int y) { button(WM_LBUTTONDOWN, x, y), button(WM_LBUTTONUP, x, y); }
  void later(uint32_t ms) { platform.advance(ms); }

  // A plain built-in called with integer arguments (first argument first); its result.
  static int32_t call(builtin_handler f, std::initializer_list<int32_t> args = {}) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) push_int(*it);
    builtin_entry e{0, "test", BUILTIN_PLAIN, 3, f};
    builtin_call(&e, 0, static_cast<int16_t>(args.size()), 0);
    int32_t r = stack_top()->i;
    stack_pop();
    return r;
  }

  // One interpreter pass for the main thread: the clock moves 2 ms, the messages are handled, the
  // snapshot is taken and the decide, cancel and middle presses go to the thread, which then runs
  // until it waits.
  void pass() {
    later(2);
    vm_time_update();
    drain_window_messages();
    input_snapshot();
    if (int32_t t = input_take_press(BUTTON_DECIDE)) vm_thread->decide_key = t;
    if (int32_t t = input_take_press(BUTTON_CANCEL)) vm_thread->cancel_key = t;
    if (int32_t t = input_take_press(BUTTON_MIDDLE)) vm_thread->middle_key = t;
    turn();
  }
  void passes(int n) { for (int i = 0; i < n; ++i) pass(); }
  // The script's log, @log.
  static std::string log() {
    value_cell* v = variable("@log");
    return v && v->type == TYPE_STRING && v->s ? v->s->text : "";
  }
  static void assign_log(const char* text) {
    value_cell c = string_cell(string_block_new(text), crc32_string("@log@GLOBAL"));
    c.scope = SCOPE_GLOBAL;
    var_assign(&c, nullptr);
  }
  // A script function that appends its text to @log and keeps its first two parameters in @px
  // and @py.
  static std::string logger(const std::string& name, const std::string& text) {
    return ".func " + name + "\n  load.s @log\n  push.s \"" + text +
           "\"\n  add.s\n  set.s.pop @log\n  load.i _p1\n  set.i.pop @px\n  load.i _p2\n  set.i.pop @py\n"
           "  ret\n";
  }
  // The line pushing a script function's handle.
  static std::string fn(const std::string& function) {
    return "  push.i " + std::to_string(static_cast<int32_t>(crc32_string(function.c_str()))) + "\n";
  }
};
