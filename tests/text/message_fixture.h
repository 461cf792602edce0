// The message window on the headless backend: every event the console fires is caught by a
// handler of its own, and fired() reads what each received (and drops the handler frames).
#pragma once

#include <string>
#include <vector>

#include "base/hash.h"
#include "text/message.h"
#include "text/message_log.h"
#include "text/msg_control.h"
#include "text_fixture.h"
#include "vko_assembler.h"
#include "vm/hooks.h"
#include "vm/script_object.h"

class message_test : public text_test {
 protected:
  struct event {
    const char* name;
    uint32_t key;
  };
  static constexpr event EVENTS[] = {
      {"line", 0x47bb540c},  {"name", 0x44a4ff72},    {"clear", 0x93b38a0b}, {"enable", 0xf7a4c8d8},
      {"disable", 0x0d9b7f0e}, {"newline", 0x04ae36bd}, {"page", 0x20ce505d},  {"custom", 0xd3ca70e5},
      {"text", 0xec771b85},  {"unread", 0x1a95282e},
  };

  void SetUp() override {
    text_test::SetUp();
    modules_reset();
    vko_builder b;
    for (const event& e : EVENTS) b.function(e.name), b.ret();
    game.write("hooks.vko", b.build());
    object_load("hooks");
    for (const event& e : EVENTS) call("event_hook_add", {name_with_crc(e.key).c_str(), crc32_string(e.name)});
    base_depth = vm_thread->depth;
  }
  void TearDown() override {
    fired();
    ReleaseEventAll();
    ReleaseVaskel();
    modules_reset();
    text_test::TearDown();
  }
  static void modules_reset() {
    message_log_reset();
    console_module_reset();
    message_module_reset();
  }

  // A name whose CRC-32 is the key: the events are known by key only. Four bytes after a prefix
  // steer the register to any value; prefixes are tried until those bytes hold no NUL.
  static std::string name_with_crc(uint32_t key) {
    uint32_t table[256], inverse[256];
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = i;
      for (int k = 0; k < 8; k++) c = c & 1 ? c >> 1 ^ 0xEDB88320u : c >> 1;
      table[i] = c;
      inverse[c >> 24] = i;
    }
    for (char p = 'a';; p++) {
      std::string name(1, p);
      uint32_t reg = ~crc32_string(name.c_str()), x = ~key;
      for (int k = 0; k < 4; k++) {
        uint32_t i = inverse[x >> 24];
        x = (x ^ table[i]) << 8 | i;
      }
      x ^= reg;
      for (int k = 0; k < 4; k++) name += static_cast<char>(x >> 8 * k);
      if (name.find('\0') == std::string::npos && crc32_string(name.c_str()) == key) return name;
    }
  }

  // The events fired since the last call, oldest first, as "name(argument 1,argument 2,...)".
  std::vector<std::string> fired() {
    std::vector<std::string> out;
    script_thread* t = vm_thread;
    for (int d = base_depth + 1; d <= t->depth; d++) {
      const call_frame& f = t->frames[d];
      std::string text = "?";
      for (const event& e : EVENTS)
        if (f.code == object_function_any(e.name)) text = e.name;
      int n = t->stack[f.base - 1].i;
      text += "(";
      for (int k = 1; k <= n; k++) {
        const value_cell& c = t->stack[f.base - 1 - k];
        text += (k > 1 ? "," : "") + (c.type == TYPE_STRING ? std::string(c.s->text) : std::to_string(c.i));
      }
      out.push_back(text + ")");
    }
    call_frame& base = t->frames[base_depth];
    for (int i = base.top; i < t->frames[t->depth].top; i++) value_release(&t->stack[i]);
    t->depth = base_depth;
    base.drop_result = 0;
    vm_frame = &t->frames[base_depth];
    return out;
  }
  static uint8_t* object_function_any(const char* name) { return function_find(crc32_string(name)); }

  // Lays the pending text out to its end; the events of every line.
  std::vector<std::string> show() {
    std::vector<std::string> all;
    for (int guard = 0; guard < 200 && message(2); guard++)
      for (std::string& e : fired()) all.push_back(e);
    return all;
  }
  static void text(const std::string& s) { msg_text_append(s.c_str(), static_cast<int>(s.size()) + 1); }
  // The console on the front page at (x, y), width by height, switched on.
  void console_at(int x, int y, int width, int height) {
    call("console_set", {static_cast<int32_t>(front->id), x, y, width, height});
    console().enabled = true;
    console().d.indent = 0;
  }
  // The built-in's row; its arguments pushed (the first on top) and the call made.
  void call_self_cleaning(const char* name, std::initializer_list<arg> args) {
    const builtin_entry* e = builtin_named(name);
    if (!e) return;
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) stack_push_value(&it->cell);
    builtin_call(e, e->hash, static_cast<int16_t>(args.size()), 0);
  }
  std::string call_text(const char* name, std::initializer_list<arg> args) {
    call_self_cleaning(name, args);
    std::string t = stack_top()->type == TYPE_STRING ? stack_top()->s->text : "(not a string)";
    stack_pop();
    return t;
  }
  // The newest log entry's bytes.
  static std::string last_entry() {
    const unsigned char* log = message_log_bytes();
    int n = log[MESSAGE_LOG_SIZE - 2] | log[MESSAGE_LOG_SIZE - 1] << 8;
    return n < 3 ? "" : std::string(reinterpret_cast<const char*>(log) + MESSAGE_LOG_SIZE - n, n - 3);
  }
  static std::string log_bytes(int n) {
    return std::string(reinterpret_cast<const char*>(message_log_bytes()) + MESSAGE_LOG_SIZE - n, n);
  }

  int base_depth = 0;
};
