#include "shell/shell_dialogs.h"

#include "base/registry.h"
#include "platform/platform.h"
#include "shell/env_keys.h"

void process_exit_restore() { plat().idle_inhibit(false); }

int client_height_wide() {
  int height = client_height();
  return reg_get_int(reg_global_name(), reg_local_name(), "WideMode", 0) ? height * 3 / 4 : height;
}
