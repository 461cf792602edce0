#include "vm/script_error.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "base/cp932.h"
#include "platform/platform.h"
#include "shell/devtools.h"
#include "shell/message_box.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/debug_log.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"

// Module state: the report mode and the clock.
static int report_mode = -1;
static struct {
  bool started;          // the timer's origin is taken at its first reading
  uint32_t timer_start;  // platform clock at that reading
  double speed;
  uint32_t base;  // 0: no scaling
  int32_t offset;
  int32_t cached;  // this pass's time
} clock_state = {false, 0, 1.0, 0, 0, 0};

// ---------------------------------------------------------------------------------------------
// The reporter

static std::string frame_position(const call_frame* f) {
  script_object* o = object_find_by_address(f->code);
  return std::string(o ? o->name : "?") + "(" + std::to_string(f->line) + ")";
}

std::string script_error_position() {
  if (!vm_thread || !object_find_by_address(vm_frame->code)) return std::string();
  int32_t depth = vm_thread->depth;
  std::string text;
  for (int32_t k = depth >= 3 ? depth - 3 : 0; k < depth; ++k) text += frame_position(&vm_thread->frames[k]) + ".";
  text += frame_position(vm_frame);
  text += depth >= 3 ? " : \n" : " : ";
  return text;
}

// With AutoOpenErrorLine the editor shows the line. When the error lies in an object without read
// marks (a library) called from one that has them, the calling story line at frame 0 opens too.
static void error_line_open(const script_object* current) {
  if (!auto_open_error_line()) return;
  editor_open_at_line(current->name, vm_frame->line);
  if (current->readmarks) return;
  for (int32_t k = vm_thread->depth - 1; k >= 0; --k) {
    if (frame_readmarks(&vm_thread->frames[k])) {
      call_frame* first = &vm_thread->frames[0];
      script_object* o = object_find_by_address(first->code);
      editor_open_at_line(o ? o->name : "", first->line);
      return;
    }
  }
}

static std::string format_text(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  int n = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(n));
  return text;
}

void script_error(const char* format, ...) {
  if (report_mode == 1) return;
  watch_list_show();
  std::string text;
  const script_object* current = vm_thread ? object_find_by_address(vm_frame->code) : nullptr;
  if (current) {
    error_line_open(current);
    text = script_error_position();
  }
  skip_mode_set(0);
  va_list args;
  va_start(args, format);
  text += format_text(format, args);
  va_end(args);
  text.resize(cp932_cut_length(text, SCRIPT_ERROR_TEXT_MAX));
  debug_log_append(text.c_str());
  call_window_hook();
  error_box_retry("%s", text.c_str());
}

void error_report_mode_set(int result) {
  if (result == -2)
    report_mode = -2;
  else if (result == 0)
    report_mode = 0;
  else if (result == 2)
    report_mode = 1;
}

int error_report_mode_get() { return report_mode; }

// ---------------------------------------------------------------------------------------------
// The clock

uint32_t vm_timer_ms() {
  uint32_t now = plat().clock_ms();
  if (!clock_state.started) {
    clock_state.started = true;
    clock_state.timer_start = now;
  }
  return now - clock_state.timer_start + VM_TIMER_ORIGIN;
}

int32_t vm_time_now() {
  uint32_t now = vm_timer_ms();
  if (clock_state.base == 0) return static_cast<int32_t>(now + static_cast<uint32_t>(clock_state.offset));
  // The scaled span may exceed 32 bits at a large speed; the clock wraps like the timer does.
  double scaled = std::trunc(static_cast<double>(now - clock_state.base) * clock_state.speed);
  int64_t span = std::isfinite(scaled) ? static_cast<int64_t>(std::fmod(scaled, 4294967296.0)) : 0;
  return static_cast<int32_t>(clock_state.base + static_cast<uint32_t>(span) + static_cast<uint32_t>(clock_state.offset));
}

int32_t vm_time_get() { return clock_state.cached; }

int32_t vm_time_update() { return clock_state.cached = vm_time_now(); }

void vm_speed_set(double speed) {
  uint32_t now = vm_timer_ms();
  if (speed != 1.0) {
    // What the old speed made of the time so far goes into the offset, so that the clock goes on
    // from where it stands instead of falling back to the timer.
    clock_state.offset = static_cast<int32_t>(static_cast<uint32_t>(vm_time_now()) - now);
    clock_state.base = now ? now : 1;
  } else {
    clock_state.offset = static_cast<int32_t>(static_cast<uint32_t>(clock_state.cached) - now);
    clock_state.base = 0;
  }
  clock_state.speed = speed;
}

double vm_speed_get() { return clock_state.speed; }

void vm_clock_reset() {
  clock_state.speed = 1.0;
  clock_state.base = 0;
  clock_state.offset = 0;
}

void script_error_reset() {
  report_mode = -1;
  clock_state = {false, 0, 1.0, 0, 0, 0};
}
