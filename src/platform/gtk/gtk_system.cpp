// System services of the desktop: clipboard, displays, keys, cursor, idle inhibit, single instance,
// opening addresses and documents, and starting programs.
#include <sys/wait.h>

#include <cstdlib>

#include "base/cp932.h"
#include "base/gamepath.h"
#include "platform/gtk/gtk_backend.h"

// ---- Clipboard

// The clipboard manager takes a copy at exit, so that an error text put there just before the
// program ended can still be pasted into a report.
static void clipboard_store_at_exit() { gtk_clipboard_store(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)); }

bool gtk_platform::clipboard_set_text(const std::string& text) {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  std::string utf8 = cp932_to_utf8_lenient(text);
  gtk_clipboard_set_text(clipboard, utf8.c_str(), static_cast<int>(utf8.size()));
  gtk_clipboard_set_can_store(clipboard, nullptr, 0);
  if (!clipboard_owned_) {
    clipboard_owned_ = true;
    atexit(clipboard_store_at_exit);
  }
  return true;
}

bool gtk_platform::clipboard_get_text(std::string& text) {
  gchar* utf8 = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  if (!utf8) return false;
  std::string cp932;
  bool ok = utf8_to_cp932(utf8, cp932);
  g_free(utf8);
  if (ok) text = cp932;
  return ok;  // text the engine cannot hold counts as none
}

// ---- Displays

void gtk_platform::monitors(std::vector<monitor_info>& list) {
  list.clear();
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  int count = gdk_display_get_n_monitors(display);
  for (int i = 0; i < count; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GdkRectangle area, work;
    gdk_monitor_get_geometry(monitor, &area);
    gdk_monitor_get_workarea(monitor, &work);
    list.push_back({{area.x, area.y, area.width, area.height},
                    {work.x, work.y, work.width, work.height},
                    (gdk_monitor_get_refresh_rate(monitor) + 500) / 1000,
                    primary ? monitor == primary : i == 0});
  }
  if (list.empty()) list.push_back({{0, 0, 640, 480}, {0, 0, 640, 480}, 0, true});
}

int gtk_platform::window_monitor(window_handle window) {
  GdkDisplay* display = gdk_display_get_default();
  gtk_host* host = host_of(window);
  GdkWindow* gdk_window = host ? gtk_widget_get_window(host->toplevel) : nullptr;
  GdkMonitor* monitor = gdk_window ? gdk_display_get_monitor_at_window(display, gdk_window)
                                   : gdk_display_get_primary_monitor(display);
  for (int i = 0; monitor && i < gdk_display_get_n_monitors(display); ++i)
    if (gdk_display_get_monitor(display, i) == monitor) return i;
  return 0;
}

// ---- Keys

int gtk_platform::key_async_state(int vk) {
  auto it = keys_down_.find(vk);
  return it != keys_down_.end() && it->second ? KEY_STATE_DOWN : 0;
}

bool gtk_platform::caps_lock_on() {
  return gdk_keymap_get_caps_lock_state(gdk_keymap_get_for_display(gdk_display_get_default()));
}

// ---- Cursor

static GdkDevice* pointer_device() {
  return gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
}

void gtk_platform::cursor_show(window_handle window, bool shown) {
  gtk_host* host = host_of(window);
  GdkWindow* area = host ? gtk_widget_get_window(host->area) : nullptr;
  if (!area) return;
  GdkCursor* blank = shown ? nullptr : gdk_cursor_new_for_display(gdk_window_get_display(area), GDK_BLANK_CURSOR);
  gdk_window_set_cursor(area, blank);
  if (blank) g_object_unref(blank);
}

bool gtk_platform::cursor_position(window_handle window, int& x, int& y) {
  gtk_host* host = host_of(window);
  GdkWindow* area = host ? gtk_widget_get_window(host->area) : nullptr;
  if (!area) return false;
  gdk_window_get_device_position(area, pointer_device(), &x, &y, nullptr);
  return true;
}

bool gtk_platform::cursor_warp(window_handle window, int x, int y) {
  gtk_host* host = host_of(window);
  GdkWindow* area = host ? gtk_widget_get_window(host->area) : nullptr;
  // Wayland lets no program move the pointer.
  if (!area || g_strcmp0(G_OBJECT_TYPE_NAME(gdk_window_get_display(area)), "GdkWaylandDisplay") == 0) return false;
  int origin_x, origin_y;
  gdk_window_get_origin(area, &origin_x, &origin_y);
  gdk_device_warp(pointer_device(), gdk_window_get_screen(area), origin_x + x, origin_y + y);
  return true;
}

// ---- Idle inhibit: the desktop's screen-saver service, held by our bus connection, so that it
// ends with the process.

static GDBusConnection* session_bus() {
  // Without a session bus there is nobody to ask (and GLib would try to start one).
  const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string socket = runtime ? std::string(runtime) + "/bus" : std::string();
  if (!(address && *address) && !(runtime && g_file_test(socket.c_str(), G_FILE_TEST_EXISTS))) return nullptr;
  return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
}

bool gtk_platform::idle_inhibit(bool on) {
  GDBusConnection* bus = session_bus();
  if (!bus) return false;
  bool ok = false;
  if (on && !inhibit_cookie_) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "Inhibit",
        g_variant_new("(ss)", "vaskrun", "game running"), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 1000,
        nullptr, nullptr);
    if (reply) {
      g_variant_get(reply, "(u)", &inhibit_cookie_);
      g_variant_unref(reply);
      ok = true;
    }
  } else if (!on && inhibit_cookie_) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
        "UnInhibit", g_variant_new("(u)", inhibit_cookie_), nullptr, G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    inhibit_cookie_ = 0;
    if (reply) g_variant_unref(reply);
    ok = reply != nullptr;
  } else {
    ok = true;
  }
  g_object_unref(bus);
  return ok;
}

// ---- Single instance, addresses and documents, programs

bool gtk_platform::single_instance(const char* name) { return instance_lock_acquire(name ? name : ""); }

// "https://..." or "mailto:...": a scheme of two letters or more (a drive letter is one).
static bool is_address(const std::string& target) {
  size_t colon = target.find(':');
  if (colon < 2 || colon == std::string::npos || !g_ascii_isalpha(target[0])) return false;
  for (size_t i = 1; i < colon; ++i)
    if (!g_ascii_isalnum(target[i]) && target[i] != '+' && target[i] != '-' && target[i] != '.') return false;
  return true;
}

bool gtk_platform::shell_open(const char* target) {
  std::string text = target ? target : "";
  std::string uri;
  if (is_address(text)) {
    uri = cp932_to_utf8_lenient(text);
  } else {
    std::string host_path = game_path_native(text);
    gchar* absolute = g_canonicalize_filename(host_path.c_str(), nullptr);
    gchar* file_uri = g_filename_to_uri(absolute, nullptr, nullptr);
    if (file_uri) uri = file_uri;
    g_free(file_uri);
    g_free(absolute);
  }
  if (uri.empty()) return false;
  return g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr);
}

struct child_watch {
  window_handle notify;
  uint32_t message;
};

static void on_child_exit(GPid pid, int status, gpointer data) {
  auto* watch = static_cast<child_watch*>(data);
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  message_post(watch->notify, watch->message, static_cast<uintptr_t>(code), static_cast<intptr_t>(pid));
  g_spawn_close_pid(pid);
  delete watch;
}

// An argument as the host takes it: UTF-8 where it converts, else the bytes as they are.
static std::string host_text(const std::string& engine_text) {
  std::string utf8;
  return cp932_to_utf8(engine_text, utf8) ? utf8 : engine_text;
}

bool gtk_platform::process_spawn(const char* command_line, const char* folder, window_handle notify,
                                 uint32_t message) {
  std::vector<std::string> words = command_line_split(command_line ? command_line : "");
  if (words.empty()) return false;
  std::vector<std::string> args;
  for (size_t i = 0; i < words.size(); ++i) {
    // The program given with a folder is an engine path; a bare name is looked up in PATH.
    bool has_folder = game_path_file_name(words[i]).size() != words[i].size();
    args.push_back(i == 0 && has_folder ? game_path_native(words[i]) : host_text(words[i]));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string working = folder && *folder ? game_path_native(folder) : std::string();
  GPid pid;
  if (!g_spawn_async(working.empty() ? nullptr : working.c_str(), argv.data(), nullptr,
                     GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr, &pid, nullptr))
    return false;
  g_child_watch_add(pid, on_child_exit, new child_watch{notify, message});
  return true;
}
