// STAND-IN: see main_window.h.
#include "shell/main_window.h"

#include "shell/devtools.h"

// Only the compiler's messages are served: the development tools wait for them.
intptr_t main_window_handler(window_handle, uint32_t message, uintptr_t, intptr_t) {
  if (message == COMPILE_STARTED_MESSAGE) compile_finished_set(1);
  if (message == COMPILE_DONE_MESSAGE) {
    compile_running_set(0);
    compile_finished_set(1);
  }
  return 0;
}
