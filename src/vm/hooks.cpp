// STAND-IN: no hooks exist yet, so there is nothing to drop.
#include "vm/hooks.h"

void hook_list_drop_thread(int32_t) {}
