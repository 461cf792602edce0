// STAND-IN for the skip module: the flags without the auto and key rules.
#include "vm/skip.h"

#include "base/registry.h"
#include "shell/env_keys.h"

static struct {
  int skip_all, skip_read, line_read, auto_on, forced, lock_a, lock_b;
  int auto_ready, fastmode_read, suppress;
} skip;

bool is_skipping() {
  if (skip.suppress) return false;
  if (skip.skip_all || skip.forced) return true;
  if (skip.skip_read && !skip.line_read) skip.skip_read = 0;
  return skip.skip_read != 0;
}

void skip_mode_set(int mode) {
  skip.forced = 0;
  switch (mode) {
    case 0:
    case 7:
      skip.skip_all = skip.skip_read = skip.auto_on = 0;
      break;
    case 1:
      if (!skip.fastmode_read) return skip_mode_set(4);
      skip.skip_read = 1, skip.auto_on = skip.skip_all = 0;
      break;
    case 5:
      return skip_mode_set(alt_menu_a() ? 1 : 4);
    case 2:
      skip.skip_read = 1, skip.auto_on = 0;
      break;
    case 3:
      skip.auto_on = 1, skip.skip_all = skip.skip_read = 0;
      break;
    case 4:
      skip.skip_all = 1, skip.skip_read = skip.auto_on = 0;
      break;
    case 6:
      skip.forced = skip.skip_all = 1, skip.skip_read = skip.auto_on = 0;
      break;
  }
}

void skip_reset() {
  skip.skip_all = skip.skip_read = skip.line_read = skip.auto_on = skip.forced = 0;
  skip.lock_a = skip.lock_b = 0;
}

int is_auto_mode() { return skip.auto_on; }
int force_skip_get() { return skip.forced; }
int line_was_read() { return skip.line_read; }
void line_was_read_set(int flag) { skip.line_read = flag; }

int skip_suppress_push() { return skip.suppress++ == 0 ? 1 : 0; }
void skip_suppress_clear() { skip.suppress = 0; }

void skip_flags_set(int bits) {
  skip.skip_all = bits & 1;
  skip.skip_read = (bits >> 1) & 1;
  skip.auto_on = (bits >> 2) & 1;
}
int skip_flags_get() { return skip.skip_all + 2 * skip.skip_read + 4 * skip.auto_on; }

void auto_ready_set(int flag) { skip.auto_ready = flag; }
int fastmode_read_get() { return skip.fastmode_read; }

void fastmode_read_set(int flag) {
  skip.fastmode_read = flag;
  reg_set_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", flag);
}

int menu_lock_a_get() { return skip.lock_a; }
int menu_lock_b_get() { return skip.lock_b; }
void menu_lock_a_set(int flag) { skip.lock_a = flag; }
void menu_lock_b_set(int flag) { skip.lock_b = flag; }
