// STAND-IN: the press tables without the key map, the block or click suppression; input is
// never blocked.
#include "shell/input.h"

#include "base/int32.h"
#include "shell/env_keys.h"
#include "vm/script_error.h"

static struct {
  unsigned char live_flags[256];
  int32_t live_times[256];
  unsigned char flags[256];
  int32_t times[256];
  int capslock_snapshot;
  int suppress_mask, suppress_left;
  int32_t suppress_last_press;
} input;

// The virtual CapsLock toggle lives across input resets, as a keyboard's would.
static int capslock_toggle = 0;

void input_init() { input = {}; }
void input_unblock() {}

void input_snapshot() {
  for (int i = 0; i < 256; ++i) input.flags[i] = input.live_flags[i], input.times[i] = input.live_times[i];
  input.capslock_snapshot = capslock_toggle;
}

int32_t input_take_press(int index) {
  if (index < 0 || index > 255) return 0;
  input.live_times[index] = 0;
  int32_t t = input.times[index];
  int32_t age = vm_time_now() - t;
  return t != 0 && age >= 0 && age < 60 ? t : 0;
}

int input_is_pressed(int index) {
  if (index < 0 || index > 255) return 0;
  int32_t t = input.times[index];
  return input.flags[index] || (t != 0 && i32_sub(vm_time_now(), t) < 15);
}

void click_suppress_arm(int mask) {
  input.suppress_mask = mask;
  input.suppress_left = 3;
}

int click_suppress_test(int mask) {
  int32_t now = vm_time_now(), since = i32_sub(now, input.suppress_last_press);
  input.suppress_last_press = now;
  if ((input.suppress_mask & mask) && since > -350 && since < 350) {
    if (input.suppress_left-- <= 1) input.suppress_mask = 0;
    return 1;
  }
  input.suppress_mask = 0;
  return 0;
}

void input_press_middle() { input.live_times[136] = vm_time_now(); }

int input_key_held(int key) { return key >= 0 && key < 256 && input.live_flags[key]; }

void input_button_event(int key, int button, int, int down) {
  if (key >= 0 || button < 0 || button > 255) return;  // keys need the key map
  input.live_flags[button] = down ? 1 : 0;
  if (down) input.live_times[button] = vm_time_now();
}

int capslock_skip_active() { return caps_mode() == 0 ? input.capslock_snapshot : 0; }
int capslock_auto_active() { return caps_mode() == 1 ? input.capslock_snapshot : 0; }
void capslock_force(int on) { capslock_toggle = on ? 1 : 0; }
void space_key_mode_set(int) {}
