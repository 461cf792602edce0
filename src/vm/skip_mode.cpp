// STAND-IN for the skip-mode module: the read-only fast-skip flag alone.
#include "vm/skip_mode.h"

#include "base/registry.h"
#include "shell/env_keys.h"

static int fastmode_read = 0;

int fastmode_read_get() { return fastmode_read; }

void fastmode_read_set(int flag) {
  fastmode_read = flag;
  reg_set_int(reg_global_name(), reg_local_name(), "FastModeFlg_AR", flag);
}
