// STAND-IN: no hooks exist yet: there is nothing to keep, mark or free, and a firing only takes
// its arguments off the stack.
#include "vm/hooks.h"

#include "vm/variables.h"

void hook_list_drop_thread(int32_t) {}
void hook_list_keep(int) {}
void hook_list_mark_all() {}
void hook_list_purge() {}
void ReleaseEventAll() {}

void hook_fire(uint32_t, int32_t n, int32_t push0) {
  for (int32_t i = 0; i < n; ++i) stack_pop();
  if (push0) push_int(0);
}
