#include "shell/input.h"

#include <cstdlib>
#include <cstring>

#include "base/int32.h"
#include "graphics/presentation.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/joystick.h"
#include "shell/menu_request.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

// Key map bits: what a key presses besides (0x0001) its own code.
enum : uint16_t {
  MAP_OWN = 0x0001,
  MAP_DECIDE = 0x0002,
  MAP_CANCEL = 0x0004,
  MAP_UP = 0x0008,
  MAP_DOWN = 0x0010,
  MAP_RIGHT = 0x0020,
  MAP_LEFT = 0x0040,
  MAP_MIDDLE = 0x0080,
  MAP_EXTRA = 0x0100,
};
enum { SUPPRESS_DECIDE = 1, SUPPRESS_CANCEL = 2, SUPPRESS_MIDDLE = 4 };
constexpr int32_t TAKE_WINDOW_MS = 60, HELD_WINDOW_MS = 15, SUPPRESS_WINDOW_MS = 350;
constexpr int32_t RESTORE_POSITION = -10000;

static uint16_t initial_key_map(int k) {
  if ((k >= 48 && k <= 56) || (k >= 65 && k <= 89 && k != 88) || (k >= 106 && k <= 111)) return MAP_OWN;
  switch (k) {
    case 5: case 9: case 12: case 23: case 33: case 34: case 36: case 47: case 64:
    case 97: case 99: case 101: case 103: case 105: case 144: case 145:
      return MAP_OWN;
    case VK_RETURN: case VK_SPACE: case 88: return MAP_OWN | MAP_DECIDE;
    case VK_SHIFT: case VK_CONTROL: case VK_CAPITAL: return MAP_OWN | MAP_MIDDLE;
    case VK_ESCAPE: case VK_END: case VK_INSERT: case VK_DELETE: case 90: case 96: return MAP_OWN | MAP_CANCEL;
    case VK_LEFT: case 102: return MAP_OWN | MAP_LEFT;
    case VK_UP: case 104: return MAP_OWN | MAP_UP;
    case VK_RIGHT: case 100: return MAP_OWN | MAP_RIGHT;
    case VK_DOWN: case 98: return MAP_OWN | MAP_DOWN;
    default: return 0;
  }
}

// Shift, Ctrl, Space and F1-F24 leave the mouse in charge.
static bool keeps_mouse(int k) { return k == VK_SHIFT || k == VK_CONTROL || k == VK_SPACE || (k >= 112 && k <= 135); }

// Module state: input_state.
static struct input_state {
  uint8_t live_flags[256];
  int32_t live_times[256];
  uint8_t flags[256];
  int32_t times[256];
  int32_t x, y;            // live logical position (window coordinates)
  int32_t real_x, real_y;  // the last position the window reported
  int32_t raw_x, raw_y;    // previous raw position (movement detection)
  int32_t snap_x, snap_y;
  int mouse_used, snap_mouse_used;
  int in_window;
  int last_key;
  uint32_t event_count;
  int blocked, locked;
  int auto_remembered;
  int capslock_snapshot;
  int suppress_mask, suppress_count;
  int32_t suppress_time;
  uint16_t key_map[256];
} input;
// The virtual CapsLock toggle lives across input resets, as a keyboard's would.
static int capslock_toggle = 0;

static void input_state_fresh() {
  memset(&input, 0, sizeof input);
  input.mouse_used = input.snap_mouse_used = 1;
  for (int k = 0; k < 256; ++k) input.key_map[k] = initial_key_map(k);
}

static struct input_state_init {
  input_state_init() { input_state_fresh(); }
} input_state_init_once;

void input_reset() {
  input_state_fresh();
  capslock_toggle = 0;
}

void input_init() {
  wndproc_handler_add(input_message_handler);  // refuses a second copy
  memset(input.live_flags, 0, sizeof input.live_flags);
  memset(input.live_times, 0, sizeof input.live_times);
  memset(input.flags, 0, sizeof input.flags);
  memset(input.times, 0, sizeof input.times);
  input.locked = 0;
  joy_reset_keys(1);
}

// ---------------------------------------------------------------------------------------------
// Presses

static bool index_ok(int i) { return i >= 0 && i < 256; }
static bool not_forced() { return force_skip_get() == 0; }
// A time on the script clock; 0 means none, so a press at time 0 is kept as 1.
static int32_t press_now() {
  int32_t now = vm_time_now();
  return now == 0 ? 1 : now;
}

static void press(int i) {
  input.event_count++;
  input.live_flags[i] = 1;
  input.live_times[i] = press_now();
}

int input_blocked() { return input.blocked && request_current() == 0 ? 1 : 0; }
void input_unblock() { input.blocked = 0; }

int click_suppress_test(int mask) {
  int32_t now = vm_time_now();
  bool near = std::llabs(static_cast<long long>(i32_sub(now, input.suppress_time))) < SUPPRESS_WINDOW_MS;
  input.suppress_time = now;
  if ((input.suppress_mask & mask) && near) {
    if (input.suppress_count-- <= 1) input.suppress_mask = 0;
    return 1;
  }
  input.suppress_mask = 0;
  return 0;
}

void click_suppress_arm(int mask) {
  input.suppress_mask = mask;
  input.suppress_count = 3;
}

static int suppress_mask_of(int button) {
  switch (button) {
    case BUTTON_DECIDE: return SUPPRESS_DECIDE;
    case BUTTON_CANCEL: return SUPPRESS_CANCEL;
    case BUTTON_MIDDLE: return SUPPRESS_MIDDLE;
    default: return 0;
  }
}

void input_button_event(int key, int button, int mask, int down) {
  if (!index_ok(button)) return;
  if (key >= 0 && (!index_ok(key) || !(input.key_map[key] & mask))) return;
  if (!down) {
    input.live_flags[button] = 0;
    return;
  }
  if ((button == BUTTON_DECIDE || button == BUTTON_CANCEL) && not_forced()) skip_mode_set(0);
  if (int m = suppress_mask_of(button); m && click_suppress_test(m)) return;
  press(button);
}

void input_press_middle() {
  if (click_suppress_test(SUPPRESS_MIDDLE)) return;
  input.event_count++;
  input.live_flags[BUTTON_MIDDLE] = 0;  // set and cleared at once
  input.live_times[BUTTON_MIDDLE] = press_now();
}

void input_snapshot() {
  input.snap_mouse_used = input.mouse_used;
  if (input_blocked()) {
    memset(input.flags, 0, sizeof input.flags);
    memset(input.times, 0, sizeof input.times);
    input.capslock_snapshot = 0;
    return;
  }
  memcpy(input.flags, input.live_flags, sizeof input.flags);
  memcpy(input.times, input.live_times, sizeof input.times);
  input.snap_x = input.x, input.snap_y = input.y;
  input.capslock_snapshot = capslock_toggle & 1;
}

// Ages compare across the clock's wrap; a time ahead of now (the clock was reset) is not recent.
static bool recent(int32_t t, int32_t window) {
  if (t == 0) return false;
  int32_t age = i32_sub(vm_time_now(), t);
  return age >= 0 && age < window;
}

int32_t input_take_press(int index) {
  if (!index_ok(index)) return 0;
  input.live_times[index] = 0;  // the next snapshot no longer has it
  int32_t t = input.times[index];
  if (input_blocked()) return 0;
  return recent(t, TAKE_WINDOW_MS) ? t : 0;
}

int input_is_pressed(int index) {
  if (!index_ok(index) || input_blocked()) return 0;
  return input.flags[index] || recent(input.times[index], HELD_WINDOW_MS) ? 1 : 0;
}

int input_key_held(int key) { return index_ok(key) && input.live_flags[key] ? 1 : 0; }

int input_take_last_key() {
  int k = input.last_key;
  input.last_key = 0;
  return k;
}
void input_clear_last_key() { input.last_key = 0; }

// ---------------------------------------------------------------------------------------------
// Keys

// Pressing Shift, Ctrl or CapsLock while auto mode is on remembers it, so that their release
// returns to auto mode.
static void remember_auto() { input.auto_remembered |= is_auto_mode(); }

static void skip_key_down(int k) {
  switch (k) {
    case VK_SHIFT:
      if (!capslock_toggle || input_blocked()) {
        remember_auto();
        if (not_forced()) skip_mode_set(2);
      }
      break;
    case VK_CAPITAL:
      remember_auto();
      if (not_forced()) skip_mode_set(0);
      break;
    case VK_CONTROL:
      remember_auto();
      if (not_forced()) skip_mode_set(ctrl_key_def() ? 1 : 4);
      break;
    default:
      break;
  }
}

static void key_down(int k, intptr_t lparam) {
  input.last_key = k;
  // The host's CapsLock light is not ours: our toggle follows the key's presses.
  if (k == VK_CAPITAL && !(lparam & KEY_WAS_DOWN)) capslock_toggle ^= 1;
  skip_key_down(k);
  if (!keeps_mouse(k)) input.mouse_used = 0;
  if (input.locked) return;
  uint16_t map = input.key_map[k];
  if (k == VK_TAB && (map & MAP_OWN)) {
    bool shift = input.live_flags[VK_SHIFT] || plat().key_async_state(VK_SHIFT);
    press(shift ? BUTTON_SHIFT_TAB : BUTTON_TAB);
    press(shift ? BUTTON_RIGHT : BUTTON_LEFT);
  }
  if (map & MAP_OWN) {
    int m = suppress_mask_of(k);
    if ((k == BUTTON_DECIDE || k == BUTTON_CANCEL) && not_forced()) skip_mode_set(0);
    if (!(m && click_suppress_test(m))) press(k);
  }
  if (map & MAP_DECIDE) {
    if (not_forced()) skip_mode_set(0);
    if (!click_suppress_test(SUPPRESS_DECIDE)) press(BUTTON_DECIDE);
  }
  if (map & MAP_CANCEL) {
    if (not_forced()) skip_mode_set(0);
    if (!click_suppress_test(SUPPRESS_CANCEL)) press(BUTTON_CANCEL);
  }
  if ((map & MAP_MIDDLE) && !click_suppress_test(SUPPRESS_MIDDLE)) press(BUTTON_MIDDLE);
  static const struct {
    uint16_t bit;
    int button;
  } plain[] = {{MAP_UP, BUTTON_UP}, {MAP_DOWN, BUTTON_DOWN}, {MAP_RIGHT, BUTTON_RIGHT},
               {MAP_LEFT, BUTTON_LEFT}, {MAP_EXTRA, BUTTON_EXTRA}};
  for (const auto& p : plain)
    if (map & p.bit) press(p.button);
}

static void key_up(int k) {
  if (k == VK_SHIFT || k == VK_CONTROL) {
    if (not_forced()) skip_mode_set(input.auto_remembered ? 3 : 0);
    input.auto_remembered = 0;
  } else if (k == VK_CAPITAL) {
    remember_auto();
    if (not_forced()) skip_mode_set(0);
  }
  if (!keeps_mouse(k)) input.mouse_used = 0;
  if (input.locked) return;
  if (k == VK_TAB && (input.key_map[k] & MAP_OWN)) {
    input.live_flags[BUTTON_TAB] = input.live_flags[BUTTON_SHIFT_TAB] = input.live_flags[BUTTON_RIGHT] = 0;
    input.live_flags[BUTTON_LEFT] = 0;
  }
  static const struct {
    int button;
    uint16_t bit;
  } released[] = {{-1, MAP_OWN},          {BUTTON_DECIDE, MAP_DECIDE}, {BUTTON_CANCEL, MAP_CANCEL},
                  {BUTTON_MIDDLE, MAP_MIDDLE}, {BUTTON_UP, MAP_UP},         {BUTTON_DOWN, MAP_DOWN},
                  {BUTTON_RIGHT, MAP_RIGHT},   {BUTTON_LEFT, MAP_LEFT},     {BUTTON_EXTRA, MAP_EXTRA}};
  for (const auto& r : released) input_button_event(k, r.button < 0 ? k : r.button, r.bit, 0);
}

// ---------------------------------------------------------------------------------------------
// Mouse

static void release_mouse_buttons() {
  input.live_flags[BUTTON_DECIDE] = input.live_flags[BUTTON_MIDDLE] = input.live_flags[BUTTON_CANCEL] = 0;
}

// A position from a move or button message (the low and high words, unsigned: a point left of or
// above the window lies far off the page).
static void pointer_at(intptr_t lparam) {
  int32_t x = static_cast<int32_t>(lparam & 0xFFFF), y = static_cast<int32_t>((lparam >> 16) & 0xFFFF);
  if (!window_point_in_page(x, y)) {
    release_mouse_buttons();
    return;
  }
  if (!input.mouse_used && (x != input.raw_x || y != input.raw_y)) input.mouse_used = input.in_window = 1;
  input.raw_x = x, input.raw_y = y;
  if (input.mouse_used) {
    input.x = input.real_x = x;
    input.y = input.real_y = y;
  }
}

// The virtual button of a mouse button message, and whether it goes down.
static int mouse_button_of(uint32_t message, bool* down) {
  *down = true;
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: return BUTTON_DECIDE;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: return BUTTON_CANCEL;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: return BUTTON_MIDDLE;
    default: break;
  }
  *down = false;
  switch (message) {
    case WM_LBUTTONUP: return BUTTON_DECIDE;
    case WM_RBUTTONUP: return BUTTON_CANCEL;
    case WM_MBUTTONUP: return BUTTON_MIDDLE;
    default: return 0;
  }
}

// The desktop holds the pointer for the window while a button is down (an implicit grab), which
// is what the engine's capture did; and it reports every leave, so no leave tracking is asked for.
intptr_t input_message_handler(window_handle, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case WM_KEYDOWN:
      if (wparam < 256) key_down(static_cast<int>(wparam), lparam);
      return 0;
    case WM_KEYUP:
      if (wparam < 256) key_up(static_cast<int>(wparam));
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      memset(input.live_flags, 0, sizeof input.live_flags);
      return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (wparam == VK_MENU && input.locked) {
        wndproc_set_result(1);
        return 1;
      }
      return 0;
    case WM_MOUSEWHEEL: {
      int delta = static_cast<int16_t>((wparam >> 16) & 0xFFFF);
      if (delta > 0) input.live_times[BUTTON_WHEEL_FORWARD] = press_now();
      if (delta < 0) input.live_times[BUTTON_WHEEL_BACKWARD] = press_now();
      return 0;
    }
    case WM_PARENTNOTIFY: {
      bool down;
      int button = mouse_button_of(static_cast<uint32_t>(wparam & 0xFFFF), &down);
      if (button && down) {
        input_button_event(-1, button, 0, 1);
        input_button_event(-1, button, 0, 0);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      input.in_window = 0;
      return 0;
    case WM_MOUSEMOVE:
      pointer_at(lparam);
      return 0;
    default:
      break;
  }
  bool down;
  if (int button = mouse_button_of(message, &down)) {
    input_button_event(-1, button, 0, down ? 1 : 0);
    pointer_at(lparam);
  }
  return 0;
}

int mouse_used_get() { return input.snap_mouse_used; }
void mouse_used_set(int value) { input.mouse_used = input.snap_mouse_used = value; }

int mouse_x() { return window_to_page_x(input.snap_x); }
int mouse_y() { return window_to_page_y(input.snap_y); }

void mouse_set_logical_pos(int32_t x, int32_t y) {
  if (x == RESTORE_POSITION) {
    input.x = input.snap_x = input.real_x;
    input.y = input.snap_y = input.real_y;
    return;
  }
  input.x = input.snap_x = page_to_window_x(x);
  input.y = input.snap_y = page_to_window_y(y);
}

// With x = -10000 the pointer only goes back logically: there is no page point to move the
// system cursor to.
void mouse_set_pos(int32_t x, int32_t y) {
  mouse_set_logical_pos(x, y);
  if (x != RESTORE_POSITION) plat().cursor_warp(main_window_get(), page_to_window_x(x), page_to_window_y(y));
}

int mouse_in_client() {
  int x, y;
  if (!input.in_window || !plat().cursor_position(main_window_get(), x, y)) return 0;
  return window_point_in_page(x, y);
}

// ---------------------------------------------------------------------------------------------
// CapsLock and Space

int capslock_skip_active() { return caps_mode() == 0 ? input.capslock_snapshot : 0; }
int capslock_auto_active() { return caps_mode() == 1 ? input.capslock_snapshot : 0; }
// The engine pressed CapsLock twice through the system to move its toggle; ours moves directly.
void capslock_force(int on) { capslock_toggle = on ? 1 : 0; }

void space_key_mode_set(int mode) {
  if (mode == 0) input.key_map[VK_SPACE] = MAP_OWN | MAP_DECIDE;
  if (mode == 1) input.key_map[VK_SPACE] = MAP_OWN | MAP_EXTRA;
}

// ---------------------------------------------------------------------------------------------
// Built-ins

static int result(int32_t value) {
  push_int(value);
  return 0;
}

int builtin_input_block(int32_t, int32_t) {
  int before = input_blocked();
  input.blocked = 1;
  menu_refresh();
  return result(before == 0 ? -1 : 0);
}

int builtin_input_unblock(int32_t, int32_t) {
  input.blocked = 0;
  menu_refresh();
  return result(0);
}

int builtin_joystick_use_set(int32_t, int32_t) {
  int32_t value = builtin_arg_int(1);
  joy_use_set(value);
  return result(value);
}

int builtin_joystick_use_get(int32_t, int32_t) { return result(joy_use_get()); }

int builtin_joystick_mode_set(int32_t, int32_t) {
  int32_t mode = builtin_arg_int(1);
  joy_reset_keys(mode);
  return result(mode);
}

int builtin_input_lock(int32_t, int32_t) {
  int was_clear = input.locked == 0;
  input.locked = 1;
  return result(was_clear ? 1 : 0);
}

int builtin_input_unlock(int32_t, int32_t) {
  input.locked = 0;
  input_init();
  return result(0);
}

int builtin_key_async_state(int32_t, int32_t) {
  int32_t key = builtin_arg_int(1);
  key = key < 0 ? 0 : key > 127 ? 127 : key;
  return result(plat().key_async_state(key));
}

int builtin_input_event_count(int32_t, int32_t) { return result(static_cast<int32_t>(input.event_count)); }
int builtin_capslock_state(int32_t, int32_t) { return result(capslock_toggle & 1); }

int builtin_capslock_set(int32_t, int32_t) {
  capslock_force(builtin_arg_int(1));
  return result(0);
}

int builtin_input_pending_get(int32_t, int32_t) {
  const script_thread* t = vm_thread;
  int32_t bits = (t->decide_key ? 1 : 0) | (t->cancel_key ? 2 : 0) | (t->middle_key ? 4 : 0);
  if (input_take_press(BUTTON_WHEEL_FORWARD)) bits |= 8;
  if (input_take_press(BUTTON_WHEEL_BACKWARD)) bits |= 16;
  if (input_take_press(BUTTON_EXTRA)) bits |= 32;
  return result(bits);
}
