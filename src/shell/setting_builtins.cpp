#include "shell/setting_builtins.h"

#include "base/registry.h"
#include "shell/env_keys.h"

int save_screenpos_get() { return reg_get_int(reg_global_name(), reg_local_name(), "SaveScreenpos", 1); }
