#include "base/system.h"

#include <glib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/cp932.h"
#include "shell/window_core.h"
#include "platform/platform.h"

static bool clipboard_append = false;
static bool message_dialog_open = false;
static int cached_nt = -1, cached_nt6 = -1, cached_cpuid = -1, cached_mmx = -1, cached_cpus = -1;

static constexpr size_t CLIPBOARD_BUFFER = 4096;

int clipboard_copy_text(const char* text) {
  if (!plat().clipboard_set_text(text)) return -1;
  clipboard_append = true;
  return 0;
}

int clipboard_add_text(const char* text) {
  std::string result = text;
  if (clipboard_append) {
    std::string current;
    if (!plat().clipboard_get_text(current)) current.clear();
    current.resize(cp932_cut_length(current, CLIPBOARD_BUFFER - 1));
    if (current.size() + result.size() < CLIPBOARD_BUFFER)
      result = current + result;
    else
      result.resize(cp932_cut_length(result, CLIPBOARD_BUFFER - 1));
  }
  int r = plat().clipboard_set_text(result) ? 0 : -1;
  clipboard_append = false;
  return r;
}

uint64_t free_physical_memory() {
  // MemAvailable counts reclaimable caches, which is what "available" meant on the old host.
  if (FILE* f = fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && fgets(line, sizeof line, f)) found = sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    fclose(f);
    if (found) return static_cast<uint64_t>(kib) * 1024;
  }
  long pages = sysconf(_SC_AVPHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
  return pages > 0 && page_size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) : 0;
}

int message_dialog_show(window_handle /*owner*/, const char* template_name) {
  if (message_dialog_open) {
    plat().message_dialog_close();
    message_dialog_open = false;
    drain_window_messages();
  }
  if (!plat().message_dialog_show(template_name)) return -1;
  message_dialog_open = true;
  drain_window_messages();  // so that it is painted before the long step starts
  return 0;
}

int message_dialog_close() {
  if (!message_dialog_open) return 1;
  plat().message_dialog_close();
  message_dialog_open = false;
  drain_window_messages();
  return 0;
}

int os_is_nt() {
  if (cached_nt < 0) cached_nt = 1;
  return cached_nt;
}

int os_is_nt6_or_later() {
  if (cached_nt6 < 0) cached_nt6 = os_is_nt() ? 1 : 0;
  return cached_nt6;
}

static int cpu_has_cpuid() {
  if (cached_cpuid < 0) cached_cpuid = 1;  // every x86-64 processor has it
  return cached_cpuid;
}

int cpu_has_mmx() {
  if (cached_mmx < 0) {
    cached_mmx = 0;
    if (cpu_has_cpuid()) {
#if defined(__x86_64__) || defined(__i386__)
      cached_mmx = __builtin_cpu_supports("mmx") ? 1 : 0;
#else
      cached_mmx = 1;  // the kernels' plain paths give the same results
#endif
    }
  }
  return cached_mmx;
}

int cpu_count() {
  if (cached_cpus < 0) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    cached_cpus = n > 0 ? static_cast<int>(n) : 1;
  }
  return cached_cpus;
}

static const char* special_folder_utf8(int csidl) {
  switch (csidl & 0xFF) {  // the high bits are flags
    case 0x00:  // desktop
    case 0x10:  // desktop folder
      return g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    case 0x05:  // documents
      return g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    case 0x0D:  // music
      return g_get_user_special_dir(G_USER_DIRECTORY_MUSIC);
    case 0x0E:  // videos
      return g_get_user_special_dir(G_USER_DIRECTORY_VIDEOS);
    case 0x27:  // pictures
      return g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
    case 0x1A:  // roaming application data
      return g_get_user_config_dir();
    case 0x1C:  // local application data
      return g_get_user_data_dir();
    case 0x28:  // the user's profile
      return g_get_home_dir();
    default:
      return nullptr;
  }
}

int get_special_folder_path(window_handle /*window*/, int csidl, char* path) {
  const char* utf8 = special_folder_utf8(csidl);
  if (!utf8 || !*utf8) return 0;
  std::string engine;
  if (!utf8_to_cp932(utf8, engine)) engine = utf8;  // the path layer tries raw bytes too
  if (engine.size() >= SPECIAL_FOLDER_PATH_SIZE) return 0;  // a cut path would name another folder
  cp932_copy(path, SPECIAL_FOLDER_PATH_SIZE, engine);
  return 1;
}
