// vaskrun: runs the game whose data lies in the current folder (or in the program's folder).
//
//   vaskrun [arguments]     the arguments form the command line that the debugger link reads
//
// The desktop backend is used when it is built and a display can be opened; otherwise, and when
// the environment variable VASKRUN_HEADLESS is "1", the program runs headless: boxes print their
// caption and text to stderr and take their default answer.
#include <string>

#include "base/memory.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "shell/startup.h"
#if VASK_HAVE_GTK
#include "platform/gtk/gtk_platform.h"
#endif

// A headless run is still a run of the game: it holds the game's single-instance lock like the
// desktop backend does, so that two runs never share one set of saves.
class batch_platform : public headless_platform {
 public:
  // Sounds play through the null output at their real pace, so that their ends come.
  batch_platform() { sound_clocked = true; }
  bool single_instance(const char* name) override {
    return headless_platform::single_instance(name) && instance_lock_acquire(name ? name : "");
  }
};

static platform_backend* backend_choose() {
#if VASK_HAVE_GTK
  if (platform_backend* desktop = desktop_backend_choose()) return desktop;
#endif
  return new batch_platform;  // lives for the whole process, like the desktop backend
}

int main(int argc, char** argv) {
  mem_new_handler_install();
  plat_install(backend_choose());
  // A logout, a service manager or Ctrl+C ends the game as the session's end does.
  session_end_signals_catch();
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  return WinMain(command_line.c_str(), 1);
}
