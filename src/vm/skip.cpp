// STAND-IN: skip-all, skip-read and forced skip; nothing else skips before the skip module exists.
#include "vm/skip.h"

#include "base/registry.h"
#include "shell/env_keys.h"

static struct {
  int skip_all;
  int skip_read;
  int line_read;
  int forced;
  int suppress;
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
      skip.skip_all = skip.skip_read = 0;
      break;
    case 1:
    case 4:
    case 5:
      skip.skip_all = 1, skip.skip_read = 0;
      break;
    case 2:
      skip.skip_read = 1;
      break;
    case 3:
      skip.skip_all = skip.skip_read = 0;
      break;
    case 6:
      skip.forced = skip.skip_all = 1, skip.skip_read = 0;
      break;
    default:
      break;
  }
}

void skip_reset() { skip = {}; }
int force_skip_get() { return skip.forced; }
void skip_suppress_clear() { skip.suppress = 0; }
int line_was_read() { return skip.line_read; }
void line_was_read_set(int flag) { skip.line_read = flag; }

static int fastmode_read = 0;

int fastmode_read_get() { return fastmode_read; }

void fastmode_read_set(int flag) {
  fastmode_read = flag;
  reg_set_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", flag);
}
