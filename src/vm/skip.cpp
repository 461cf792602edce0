#include "vm/skip.h"

#include "base/registry.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/input.h"
#include "shell/menu_request.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/variables.h"

// The key the flags built-in looks at.
enum { KEY_CONTROL = 17 };
// Menu requests of the two screen modes.
enum { REQUEST_FULL_SCREEN = 92, REQUEST_WINDOW = 93 };

// Module state. The skip block is what skip_reset clears.
static struct {
  struct {
    int skip_all, skip_read, line_read, auto_on, forced, lock_a, lock_b;
  } block;
  int auto_ready;
  int suppress;
  int fastmode_read;  // the user setting: lives across resets
  bool pumping;       // the cancel rule's message pump is running
} skip;

// ---------------------------------------------------------------------------------------------
// The predicate

// Cancel held under the skip key stops skipping for good. The pump lets the window see the
// forced CapsLock; the handlers it runs may ask the predicate again, and must not start a second
// pump inside the first (the outer one handles what is left).
static void skip_key_cancel() {
  input_take_press(BUTTON_CANCEL);
  input_take_press(BUTTON_DECIDE);
  input_take_press(BUTTON_MIDDLE);
  skip.block.skip_read = 0;
  capslock_force(0);
  if (skip.pumping) return;
  struct pump_mark {
    pump_mark() { skip.pumping = true; }
    ~pump_mark() { skip.pumping = false; }
  } mark;
  drain_window_messages();
}

bool is_skipping() {
  if (skip.suppress != 0) return false;
  if (skip.block.skip_all || skip.block.forced) return true;
  bool skip_key = capslock_skip_active() != 0;
  if (skip_key || skip.block.skip_read) {
    if (!skip.block.line_read) {
      skip.block.skip_read = 0;  // reading stops at the first unread line
      return false;
    }
    if (skip_key && input_is_pressed(BUTTON_CANCEL)) {
      skip_key_cancel();
      return false;
    }
    return true;
  }
  return is_auto_mode() && skip.auto_ready;
}

// ---------------------------------------------------------------------------------------------
// Modes and flags

void skip_mode_set(int mode) {
  auto& b = skip.block;
  b.forced = 0;
  switch (mode) {
    case 0:
    case 7:
      b.skip_all = b.skip_read = b.auto_on = 0;
      break;
    case 1:
      if (!skip.fastmode_read) return skip_mode_set(4);
      b.skip_read = 1, b.skip_all = b.auto_on = 0;
      break;
    case 2:
      b.skip_read = 1, b.auto_on = 0;
      break;
    case 3:
      b.auto_on = 1, b.skip_all = b.skip_read = 0;
      break;
    case 4:
      b.skip_all = 1, b.skip_read = b.auto_on = 0;
      break;
    case 5:
      return skip_mode_set(alt_menu_a() ? 1 : 4);
    case 6:
      b.forced = b.skip_all = 1, b.skip_read = b.auto_on = 0;
      break;
    default:
      break;
  }
}

void skip_reset() {
  skip.block = {};
  skip.auto_ready = 0;
}

int is_auto_mode() { return capslock_auto_active() ? 1 : skip.block.auto_on; }
int force_skip_get() { return skip.block.forced; }
int line_was_read() { return skip.block.line_read; }
void line_was_read_set(int flag) { skip.block.line_read = flag; }
int* line_was_read_slot() { return &skip.block.line_read; }

int skip_suppress_push() { return skip.suppress++ == 0 ? 1 : 0; }
void skip_suppress_clear() { skip.suppress = 0; }

void skip_flags_set(int bits) {
  skip.block.skip_all = bits & 1;
  skip.block.skip_read = (bits >> 1) & 1;
  skip.block.auto_on = (bits >> 2) & 1;
}
int skip_flags_get() { return skip.block.skip_all + 2 * skip.block.skip_read + 4 * skip.block.auto_on; }

void auto_ready_set(int flag) { skip.auto_ready = flag; }

int fastmode_read_get() { return skip.fastmode_read; }
void fastmode_read_set(int flag) {
  skip.fastmode_read = flag;
  reg_set_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", flag);
}

int menu_lock_a_get() { return skip.block.lock_a; }
int menu_lock_b_get() { return skip.block.lock_b; }
void menu_lock_a_set(int flag) { skip.block.lock_a = flag; }
void menu_lock_b_set(int flag) { skip.block.lock_b = flag; }

void screen_mode_set(int full) {
  if (ignore_screen_mode() == 0) {
    display_mode_toggle(full);
    return;
  }
  int code = full ? REQUEST_FULL_SCREEN : REQUEST_WINDOW;
  if (request_allowed(code)) request_queue(code);
}

// ---------------------------------------------------------------------------------------------
// Built-ins

static int result(int32_t value) {
  push_int(value);
  return 0;
}

int builtin_skip_state_get(int32_t, int32_t) { return result(is_skipping() ? 1 : 0); }

static int mode_builtin(int mode) {
  skip_mode_set(mode);
  return result(0);
}
int builtin_skip_off(int32_t, int32_t) { return mode_builtin(0); }
int builtin_skip_on(int32_t, int32_t) { return mode_builtin(1); }
int builtin_skip_read_on(int32_t, int32_t) { return mode_builtin(2); }
int builtin_auto_on(int32_t, int32_t) { return mode_builtin(3); }
int builtin_skip_all_on(int32_t, int32_t) { return mode_builtin(4); }

int builtin_skip_force_on(int32_t, int32_t) {
  if (skip.block.lock_a) {
    input_press_middle();
    skip_mode_set(6);
  }
  return result(0);
}

int builtin_skip_force_end(int32_t, int32_t) {
  int forced = skip.block.forced;
  if (forced) skip_mode_set(7);
  return result(forced);
}

int builtin_skip_flags_set(int32_t, int32_t) {
  skip_flags_set(builtin_arg_int(1));
  return result(0);
}

int builtin_skip_flags_get(int32_t, int32_t) { return result(input_key_held(KEY_CONTROL) ? 0 : skip_flags_get()); }
int builtin_skip_suppress_push(int32_t, int32_t) { return result(skip_suppress_push()); }

int builtin_skip_suppress_clear(int32_t, int32_t) {
  skip_suppress_clear();
  return result(0);
}

int builtin_is_auto_mode(int32_t, int32_t) { return result(is_auto_mode()); }
int builtin_force_skip_get(int32_t, int32_t) { return result(skip.block.forced); }
int builtin_line_was_read(int32_t, int32_t) { return result(skip.block.line_read); }

int builtin_auto_ready_set(int32_t, int32_t) {
  auto_ready_set(builtin_arg_int(1));
  return result(0);
}

int builtin_fastmode_read_set(int32_t, int32_t) {
  fastmode_read_set(builtin_arg_int(1));
  return result(0);
}

// The locks grey out menu items, so every change refreshes the menu.
static int lock_set(int* lock) {
  *lock = 1;
  menu_refresh();
  return result(0);
}
static int lock_clear(int* lock) {
  int old = *lock;
  *lock = 0;
  menu_refresh();
  return result(old);
}
int builtin_menu_lock_a_set(int32_t, int32_t) { return lock_set(&skip.block.lock_a); }
int builtin_menu_lock_b_set(int32_t, int32_t) { return lock_set(&skip.block.lock_b); }
int builtin_menu_lock_a_clear(int32_t, int32_t) { return lock_clear(&skip.block.lock_a); }
int builtin_menu_lock_b_clear(int32_t, int32_t) { return lock_clear(&skip.block.lock_b); }
