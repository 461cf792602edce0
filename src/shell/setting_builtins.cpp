#include "shell/setting_builtins.h"

#include "base/registry.h"
#include "shell/env_keys.h"

int save_screenpos_get() { return reg_get_int(reg_global_name(), reg_local_name(), "SaveScreenpos", 1); }
int font_shadow_get() { return reg_get_int(reg_global_name(), reg_local_name(), "FontShadow", 1); }
int fuchidori_get() { return reg_get_int(reg_global_name(), reg_local_name(), "Fuchidori", 1); }
int font_bold_get() { return reg_get_int(reg_global_name(), reg_local_name(), "FontBold", 0); }
