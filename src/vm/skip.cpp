// STAND-IN: nothing skips until the skip module exists.
#include "vm/skip.h"

#include "base/registry.h"
#include "shell/env_keys.h"

bool is_skipping() { return false; }
void skip_suppress_clear() {}

static int fastmode_read = 0;

int fastmode_read_get() { return fastmode_read; }

void fastmode_read_set(int flag) {
  fastmode_read = flag;
  reg_set_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", flag);
}
