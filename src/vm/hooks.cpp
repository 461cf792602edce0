// STAND-IN for the hooks module: no hooks exist yet, and no thread is started.
#include "vm/hooks.h"

#include "vm/script_error.h"
#include "vm/variables.h"

void hook_list_drop_thread(int32_t) {}

script_thread* thread_start(int32_t) {
  script_error("thread_start : この組み込み関数はまだ実装されていません");
  push_int(0);
  return nullptr;
}
