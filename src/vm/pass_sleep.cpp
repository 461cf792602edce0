#include "vm/pass_sleep.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "graphics/sprite.h"
#include "platform/platform.h"
#include "shell/display_mode.h"
#include "shell/joystick.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/thread.h"

// VM milliseconds as platform milliseconds, rounded down: at a speed above 1 the VM clock runs
// ahead of the platform's. A clock that stands still or runs back keeps the old 1 ms pass.
static uint32_t platform_ms_of_vm(int32_t vm_ms) {
  double speed = vm_speed_get();
  if (!(speed > 0) || !std::isfinite(speed)) return 1;
  double ms = std::floor(vm_ms / speed);
  return ms < 1 ? 1 : ms >= PASS_SLEEP_MAX_MS ? PASS_SLEEP_MAX_MS : static_cast<uint32_t>(ms);
}

uint32_t pass_sleep_ms(bool input_came) {
  int32_t left = threads_wait_left();
  if (left <= 0) return 0;
  uint32_t ms = left == INT32_MAX ? PASS_SLEEP_MAX_MS : platform_ms_of_vm(left);
  if (is_fullscreen() || sprite_frame_work_pending()) ms = std::min(ms, frame_due_in());
  ms = std::min(ms, builtin_waits_due_in(input_came));
  ms = std::min(ms, timers_due_in());
  return std::min(ms, joy_poll_due_in());
}

void pass_sleep(bool input_came) { plat().wait_events(pass_sleep_ms(input_came)); }
