#include "vm/dispatcher.h"

#include <cstring>

#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

// STAND-IN until the dispatcher module exists: every built-in is unknown. The operands are
// consumed and the arguments replaced by an int 0 (kept) or by nothing (dropped), so the stack
// stays balanced under both call instructions.
void builtin_dispatch(int drop) {
  uint32_t hash;
  int16_t count;
  memcpy(&hash, vm_frame->code, 4);
  memcpy(&count, vm_frame->code + 4, 2);
  vm_frame->code += 6;
  script_error("組み込み関数[%08X]は定義されていません", hash);
  int32_t base = vm_frame->top - (count > 0 ? count : 0);
  if (base < vm_frame->base) base = vm_frame->base;
  while (vm_frame->top > base) stack_pop();
  if (!drop) push_int(0);
}
