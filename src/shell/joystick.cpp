#include "shell/joystick.h"

#include <cstdlib>

#include "base/int32.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/window_core.h"

enum { DEVICE_NONE = -1, DEVICE_BOTH = -2 };
constexpr int32_t POLL_INTERVAL_MS = 10;
// Axes run 0..65535; the stick counts as pushed beyond one sixth from either end.
constexpr uint32_t AXIS_LOW = 10922, AXIS_HIGH = 54612;

// State bits of one pad, in the order their keys are posted.
enum : uint32_t { PAD_A = 0x01, PAD_B = 0x02, PAD_LEFT = 0x04, PAD_RIGHT = 0x08, PAD_UP = 0x10, PAD_DOWN = 0x20 };
constexpr uint32_t POST_ORDER[6] = {PAD_A, PAD_B, PAD_UP, PAD_DOWN, PAD_LEFT, PAD_RIGHT};
// The keys of those bits (same order): mode 1; mode 2's primary pad; mode 2's second pad.
constexpr int KEYS_MODE1[6] = {VK_ESCAPE, VK_RETURN, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
constexpr int KEYS_MODE2[6] = {'Z', 'X', 'I', 'M', 'J', 'L'};
constexpr int KEYS_MODE2_PAD1[6] = {VK_RIGHT, VK_LEFT, VK_NUMPAD0 + 8, VK_NUMPAD0 + 2, VK_NUMPAD0 + 4, VK_NUMPAD0 + 6};

// Module state: joystick_state.
static struct {
  int device = DEVICE_NONE;
  int mode = 1;
  int saved_device = DEVICE_NONE;
  uint32_t last_poll = 0;
  uint32_t previous = 0;       // the primary pad (pad 0, or the only pad)
  uint32_t previous_pad1 = 0;  // pad 1 in two-pad mode 2
  bool suspended = false;
  bool installed = false;
} joy;
// Process-long: the exit handler is registered once.
static bool joy_exit_registered = false;

void joy_reset() {
  joy_handler_remove();
  joy = {};
}

int joy_device_get() { return joy.device; }

static void post_key(int vk, bool down) {
  window_handle w = main_window_get();
  if (!w) return;
  intptr_t lparam = down ? 1 : 1 | KEY_WAS_DOWN | KEY_RELEASED;
  message_post(w, down ? WM_KEYDOWN : WM_KEYUP, static_cast<uintptr_t>(vk), lparam);
}

void joy_handler_remove() {
  if (!joy.installed) return;
  wndproc_handler_remove(joy_focus_handler);
  joy.installed = false;
}

static void device_lost() {
  joy.device = joy.saved_device = DEVICE_NONE;
  joy_handler_remove();
}

// Selects a device: the first selection installs the focus handler; later ones only change the
// device that mapping mode 1 returns to.
static void handler_install() {
  if (!joy_exit_registered) atexit(joy_handler_remove), joy_exit_registered = true;
  wndproc_handler_add(joy_focus_handler);
  joy.installed = true;
  joy.suspended = false;
  joy.previous = joy.previous_pad1 = 0;
}

static void device_take(int device) {
  if (joy.installed) {
    joy.saved_device = device;
    return;
  }
  handler_install();
  joy.device = joy.saved_device = device;
}

void joy_select_device(int choice) {
  switch (choice) {
    case 0: device_take(0); break;
    case 1: device_take(1); break;
    case 2: device_take(DEVICE_BOTH); break;
    default: device_lost(); break;
  }
}

// With no pad in use there is no key a pad could hold, so nothing is posted: the key-ups would only
// switch a mouse player into keyboard mode at every reset.
void joy_reset_keys(int mode) {
  joy.mode = mode;
  joy.device = mode == 2 ? DEVICE_BOTH : joy.saved_device;
  if (joy.suspended || joy.device == DEVICE_NONE) return;
  for (const int* keys : {KEYS_MODE1, KEYS_MODE2_PAD1, KEYS_MODE2})
    for (int i = 0; i < 6; ++i) post_key(keys[i], false);
}

intptr_t joy_focus_handler(window_handle, uint32_t message, uintptr_t wparam, intptr_t) {
  switch (message) {
    case WM_SETFOCUS: joy.suspended = false; break;
    case WM_KILLFOCUS: joy.suspended = true; break;
    case WM_MENUSELECT: joy.suspended = (wparam & 0xFFFF0000u) != MENUSELECT_CLOSED; break;
    default: break;
  }
  return 0;
}

// The state bits of a pad; false when it cannot be read.
static bool pad_bits(int pad, uint32_t& bits) {
  joystick_reading r{32767, 32767, 0};
  if (!plat().joystick_read(pad, r)) return false;
  bits = 0;
  if (r.buttons & 0x5) bits |= PAD_A;  // button 1 or 3
  if (r.buttons & 0xA) bits |= PAD_B;  // button 2 or 4
  if (r.x < AXIS_LOW) bits |= PAD_LEFT;
  if (r.x > AXIS_HIGH) bits |= PAD_RIGHT;
  if (r.y < AXIS_LOW) bits |= PAD_UP;
  if (r.y > AXIS_HIGH) bits |= PAD_DOWN;
  return true;
}

// Stores the new bits and, unless posting is suspended, posts a key for each bit that changed.
static void post_changes(uint32_t bits, uint32_t& previous, const int keys[6]) {
  uint32_t changed = bits ^ previous;
  if (!changed) return;
  previous = bits;
  if (joy.suspended) return;
  for (int i = 0; i < 6; ++i)
    if (changed & POST_ORDER[i]) post_key(keys[i], (bits & POST_ORDER[i]) != 0);
}

// Milliseconds since the last poll, either way round (a clock set back counts as time passed).
static long long since_last_poll() {
  uint32_t now = plat().clock_ms();
  return std::llabs(static_cast<long long>(i32_sub(static_cast<int32_t>(now), static_cast<int32_t>(joy.last_poll))));
}

uint32_t joy_poll_due_in() {
  if (joy.device == DEVICE_NONE) return WAIT_NO_LIMIT;
  long long since = since_last_poll();
  return since >= POLL_INTERVAL_MS ? 0 : static_cast<uint32_t>(POLL_INTERVAL_MS - since);
}

void joy_poll() {
  uint32_t now = plat().clock_ms();
  if (since_last_poll() < POLL_INTERVAL_MS) return;
  joy.last_poll = now;
  if (joy.device == DEVICE_NONE) return;
  uint32_t bits = 0, pad1 = 0;
  if (joy.mode == 1) {
    if (!pad_bits(joy.device == DEVICE_BOTH ? 0 : joy.device, bits)) return device_lost();
    if (joy.device == DEVICE_BOTH && pad_bits(1, pad1)) bits |= pad1;
    post_changes(bits, joy.previous, KEYS_MODE1);
  } else if (joy.mode == 2) {
    int primary = joy.device;
    if (joy.device == DEVICE_BOTH) {
      if (!pad_bits(1, pad1)) {
        if (!joy.installed) handler_install();  // the second pad is gone: pad 0 alone
        joy.device = joy.saved_device = 0;
      } else {
        post_changes(pad1, joy.previous_pad1, KEYS_MODE2_PAD1);
      }
      primary = 0;
    }
    if (!pad_bits(primary, bits)) return device_lost();
    post_changes(bits, joy.previous, KEYS_MODE2);
  }
}
