#include "vm/debugger.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/message_box.h"
#include "shell/window_core.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

struct breakpoint {
  uint32_t object_hash;
  int32_t line;
};

// Blocks are never named to the debugger by address: it gets a handle, which holds a reference
// until the engine resumes, so a later text request cannot reach freed or foreign memory.
constexpr size_t HANDLE_MAX = 4096;

struct debugger_state {
  std::unique_ptr<debug_channel> channel;
  plat_window peer;
  breakpoint breakpoints[DEBUGGER_BREAKPOINT_MAX];
  int breakpoint_count = 0;
  int32_t target_thread = -1;
  int32_t saved_depth = 0;
  bool step = false, step_over = false, step_into = false;
  int resume = 0;
  bool stopped = false;
  bool exit_registered = false;
  std::vector<value_cell> handles;  // type and block of every handed-out handle (index + 1)
  debugger_state() { peer.alive = false; }
};
debugger_state state;

void send_plain(uint32_t message, uint64_t wparam) {
  if (!state.channel) return;
  debug_frame f;
  f.message = message;
  f.wparam = wparam;
  state.channel->send(f);
}

void send_record(uint64_t kind, const void* data, size_t size) {
  if (!state.channel) return;
  debug_frame f;
  f.message = DEBUG_FRAME_RECORD;
  f.wparam = kind;
  f.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  state.channel->send(f);
}

void send_error(uint32_t request, uintptr_t argument) {
  uint8_t r[DBG_ERROR_SIZE];
  uint32_t a = uint32_t(argument);
  std::memcpy(r, &request, 4);
  std::memcpy(r + 4, &a, 4);
  send_record(DBG_RECORD_ERROR, r, sizeof r);
}

void handles_release() {
  for (value_cell& c : state.handles) value_release(&c);
  state.handles.clear();
}

// The payload as the debugger sees it: numbers as stored, blocks as handles (0 when none).
int32_t payload_for_debugger(const value_cell& c) {
  if (!type_is_block(c.type)) return c.i;
  if (!c.s || state.handles.size() >= HANDLE_MAX) return 0;
  value_cell held = c;
  if (c.type == TYPE_STRING)
    c.s->refcount++;
  else
    c.a->refcount++;
  state.handles.push_back(held);
  return int32_t(state.handles.size());
}

void send_cell(const value_cell& c) {
  uint8_t r[DBG_CELL_SIZE] = {};
  int32_t payload = payload_for_debugger(c);
  std::memcpy(r, &c.hash, 4);
  std::memcpy(r + 4, &c.type, 2);
  std::memcpy(r + 6, &c.scope, 2);
  std::memcpy(r + 8, &payload, 4);
  send_record(DBG_RECORD_CELL, r, sizeof r);
}

// The current frame's local at a slot; null outside the frame's cells.
value_cell* local_cell(uintptr_t slot) {
  if (!vm_thread || !vm_frame) return nullptr;
  intptr_t count = intptr_t(vm_frame->top) - vm_frame->base;
  if (intptr_t(slot) < 0 || intptr_t(slot) >= count) return nullptr;
  return &vm_thread->stack[vm_frame->base + intptr_t(slot)];
}

value_cell* variable_cell(uintptr_t hash) { return vm_thread ? var_find_any(uint32_t(hash)) : var_find_global(uint32_t(hash)); }

int breakpoint_find(uint32_t hash, int32_t line) {
  for (int i = 0; i < state.breakpoint_count; i++)
    if (state.breakpoints[i].object_hash == hash && state.breakpoints[i].line == line) return i;
  return -1;
}

void resume_engine() {
  state.resume++;
  handles_release();
}

void step_from_here() {
  state.saved_depth = vm_thread ? vm_thread->depth : 0;
  state.target_thread = vm_thread ? vm_thread->id : -1;
}

// A closed channel lets the engine run on: a debugger that went away must not hold it stopped.
void disconnect() {
  if (state.channel) state.channel->close();
  state.channel.reset();
  state.peer.alive = false;
  state.step = state.step_over = state.step_into = false;
  state.breakpoint_count = 0;
  resume_engine();
}

// One nested round: the window's own messages, then the debugger's requests.
bool pump_round() {
  int handled = drain_window_messages();
  if (!state.channel) return handled > 0;
  return debugger_poll(handled > 0 ? 0 : 1) || handled > 0;
}

}  // namespace

window_handle debugger_window() { return state.peer.alive ? &state.peer : nullptr; }

bool debugger_poll(int wait_ms) {
  bool any = false;
  while (state.channel) {
    debug_frame f;
    int r = state.channel->receive(f, wait_ms);
    if (r < 0) {
      disconnect();
      return any;
    }
    if (r == 0) return any;
    any = true;
    wait_ms = 0;
    intptr_t result = 0;
    // Requests are plain messages of the debugger's own range: a record, data, or any other number
    // (the window's own messages would take their parameters for pointers) answers an error and is
    // not used.
    if (f.message < DBG_FIRST || f.message > DBG_LAST || !f.data.empty()) {
      send_error(f.message, uintptr_t(f.wparam));
      result = -1;
    } else {
      window_handle main = main_window_get();
      result = main ? message_send(main, f.message, uintptr_t(f.wparam), intptr_t(f.lparam))
                    : main_window_class_proc(nullptr, f.message, uintptr_t(f.wparam), intptr_t(f.lparam));
    }
    if (!state.channel) return any;
    debug_frame answer;
    answer.message = DEBUG_FRAME_RESULT;
    answer.wparam = f.message;
    answer.lparam = result;
    state.channel->send(answer);
  }
  return any;
}

intptr_t debugger_message_hook(window_handle, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case DBG_RESUME:
      resume_engine();
      return 1;
    case DBG_BREAK_ADD: {
      uint32_t hash = uint32_t(wparam);
      int32_t line = int32_t(lparam);
      if (breakpoint_find(hash, line) >= 0) return wndproc_set_result(1), 1;
      if (state.breakpoint_count >= DEBUGGER_BREAKPOINT_MAX) {
        error_box_fatal("BreakPointが多すぎます。");
        return wndproc_set_result(1), 1;
      }
      state.breakpoints[state.breakpoint_count++] = {hash, line};
      return wndproc_set_result(0), 1;
    }
    case DBG_BREAK_CLEAR:
      state.breakpoint_count = 0;
      return 1;
    case DBG_BREAK_REMOVE: {
      int i = breakpoint_find(uint32_t(wparam), int32_t(lparam));
      if (i < 0) return wndproc_set_result(1), 1;
      std::memmove(&state.breakpoints[i], &state.breakpoints[i + 1],
                   sizeof(breakpoint) * size_t(state.breakpoint_count - i - 1));
      state.breakpoint_count--;
      return wndproc_set_result(0), 1;
    }
    case DBG_STOP_NEXT:
      state.step = true;
      state.target_thread = -1;
      return 1;
    case DBG_VAR_CELL: {
      value_cell* c = variable_cell(wparam);
      if (!c) return wndproc_set_result(-1), 1;
      send_cell(*c);
      return wndproc_set_result(0), 1;
    }
    case DBG_STRING_TEXT: {
      const value_cell* held = wparam >= 1 && wparam <= state.handles.size() ? &state.handles[wparam - 1] : nullptr;
      if (!held || held->type != TYPE_STRING) {
        send_error(message, wparam);
        return wndproc_set_result(-1), 1;
      }
      send_record(DBG_RECORD_TEXT, held->s->text, size_t(held->s->length));
      return 1;
    }
    case DBG_LOCAL_CELL: {
      value_cell* c = local_cell(wparam);
      if (!c) {
        send_error(message, wparam);
        return wndproc_set_result(-1), 1;
      }
      send_cell(*c);
      return 1;
    }
    case DBG_LOCAL_VALUE: {
      value_cell* c = local_cell(wparam);
      return wndproc_set_result(c ? intptr_t(payload_for_debugger(*c)) : 0), 1;
    }
    case DBG_VAR_VALUE: {
      value_cell* c = variable_cell(wparam);
      return wndproc_set_result(c ? intptr_t(payload_for_debugger(*c)) : 0), 1;
    }
    case DBG_STEP_OVER:
    case DBG_STEP:
    case DBG_STEP_INTO:
    case DBG_CONTINUE:
      if (!state.stopped) return 1;
      if (message != DBG_CONTINUE) step_from_here();
      state.step_over = message == DBG_STEP_OVER;
      state.step = message == DBG_STEP;
      state.step_into = message == DBG_STEP_INTO;
      resume_engine();
      return 1;
    default:
      return 0;
  }
}

void debugger_line_hook(int line) {
  if (!state.channel) return;
  debugger_poll(0);
  if (!state.channel || !vm_thread) return;
  bool stop = false;
  if (state.target_thread == -1 || vm_thread->id == state.target_thread)
    stop = state.step || (state.step_over && state.saved_depth >= vm_thread->depth) ||
           (state.step_into && state.saved_depth < vm_thread->depth);
  script_object* object = object_current();
  if (!stop && state.breakpoint_count > 0 && object)
    stop = breakpoint_find(object->name_hash, line) >= 0;
  if (!stop) return;

  uint8_t notice[DBG_STOP_SIZE] = {};
  if (object) std::memcpy(notice, object->name, strnlen(object->name, 63));
  int32_t at = line;
  std::memcpy(notice + 68, &at, 4);
  send_record(DBG_RECORD_STOP, notice, sizeof notice);
  state.resume = 0;
  state.step = state.step_over = state.step_into = false;
  state.stopped = true;
  while (!state.resume) {
    if (!pump_round() && !state.channel) plat().sleep_ms(1);
  }
  state.stopped = false;
}

void debugger_attach(std::unique_ptr<debug_channel> channel) {
  state.channel = std::move(channel);
  state.peer.title = "debugger";
  state.peer.alive = true;
  if (!state.exit_registered) {
    std::atexit(debugger_notify_exit);
    state.exit_registered = true;
  }
  wndproc_handler_add(debugger_message_hook);
  window_handle main = main_window_get();
  send_plain(DBG_HELLO, uint64_t(uintptr_t(main)));
  state.resume = 0;
  debugger_message_hook(main, DBG_BREAK_CLEAR, 0, 0);
  send_plain(DBG_READY, 0);
  int idle = 0;
  while (!state.resume) {
    if (pump_round()) continue;
    if (++idle < 10000) continue;
    idle = 0;
    if (!question_box("デバッガが応答していません。もう１０秒待ちますか？")) std::exit(1);
  }
  if (state.channel) debugger_message_hook(main, DBG_STOP_NEXT, 0, 0);
}

void debugger_connect(const char* command_line) {
  const char* at = command_line ? std::strstr(command_line, "/DEBUG:") : nullptr;
  if (!at) return;
  at += 7;
  std::string address;
  while (*at && *at != ' ' && *at != '\t') address += *at++;
  if (address.empty() || address == "0") return;
  std::unique_ptr<debug_channel> channel = debug_channel_connect(address.c_str());
  if (!channel) {
    warning_box("デバッガに接続できません。[%s]", address.c_str());
    return;
  }
  debugger_attach(std::move(channel));
}

void debugger_notify_exit() {
  if (state.channel) send_plain(DBG_EXIT, 0);
}

void debugger_reset() {
  if (state.channel) state.channel->close();
  state.channel.reset();
  handles_release();
  wndproc_handler_remove(debugger_message_hook);
  bool registered = state.exit_registered;
  state = debugger_state();
  state.exit_registered = registered;
}
