#include "vm/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "base/gamepath.h"
#include "platform/platform.h"
#include "shell/window_core.h"
#include "shell/devtools.h"
#include "vm/script_error.h"

void debug_log_append(const char* text) {
  if (error_report_mode_get() == 1) return;
  time_t now = time(nullptr);
  tm local;
  localtime_r(&now, &local);
  char stamp[32];
  snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d ", local.tm_year % 100, local.tm_mon + 1, local.tm_mday,
           local.tm_hour, local.tm_min);
  std::string line = std::string(stamp) + text + "\n";
  // A log that a game ships as a link is never followed, nor one that is no plain file (a FIFO would
  // hold the game until someone reads it); a new log gets the user's usual permissions.
  int fd = open(game_path_native(save_path(DEBUG_LOG_FILE)).c_str(),
                O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return;
  }
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n <= 0) break;
    p += n, left -= static_cast<size_t>(n);
  }
  close(fd);
}

void debug_log_open() {
  call_window_hook();
  plat().shell_open(save_path(DEBUG_LOG_FILE));
}
