#include "gui_fixture.h"

#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive_writer.h"
#include "vko_assembler.h"

#include "platform/gtk/gtk_platform.h"
#include "shell/window_core.h"

// GTK keeps its type system, fonts and themes for the whole process; those are no leaks of ours.
extern "C" const char* __lsan_default_options() {
  return "suppressions=" VASK_SOURCE_DIR "/tests/gui/lsan.supp:print_suppressions=0";
}

std::vector<seen_message> seen;

intptr_t recording_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message != WM_PAINT) seen.push_back({message, wparam, lparam});
  return default_window_procedure(window, message, wparam, lparam);
}

// The private X server: started once per test program, ended with it.
static pid_t xvfb_pid = 0, xvfb_owner = 0;
static bool display_ready = false;
static bool xvfb_missing = false;

// Only by the process that started it: a child forked by a test inherits the exit handler.
static void xvfb_stop() {
  if (xvfb_pid > 0 && getpid() == xvfb_owner) {
    kill(xvfb_pid, SIGTERM);
    waitpid(xvfb_pid, nullptr, 0);
    xvfb_pid = 0;
  }
}

// Starts Xvfb on the first free display (it reports the number through -displayfd).
static bool xvfb_start() {
  gchar* program = g_find_program_in_path("Xvfb");
  if (!program) {
    xvfb_missing = true;
    return false;
  }
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    // The server ends with the test program, also when the program crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execl(program, "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-ac",
          "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  g_free(program);
  close(fds[1]);
  if (pid < 0) return false;
  xvfb_pid = pid;
  xvfb_owner = getpid();
  atexit(xvfb_stop);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return false;
  setenv("DISPLAY", (":" + number).c_str(), 1);
  // A fake display goes with SDL's fake sound card: the programs under test open their sound
  // output on machines that have none, as they would open it on a player's machine.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  return true;
}

void gui_test::SetUpTestSuite() {
  if (display_ready || xvfb_missing) return;
  // A plain, quiet desktop: X11, no accessibility bus, settings in memory.
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  setenv("GTK_THEME", "Adwaita", 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  display_ready = xvfb_start() && gtk_backend_open() != nullptr;
}

void gui_test::SetUp() {
  if (xvfb_missing) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(display_ready) << "the private X server did not start";
  backend = &gtk_backend();
  plat_install(backend);
  seen.clear();
  // Every test starts as on a fresh server: the keyboard follows the pointer, which rests in the
  // middle of the screen (an earlier test may have moved both away, and keys sent then are lost).
  Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  XSetInputFocus(x, PointerRoot, RevertToPointerRoot, CurrentTime);
  XWarpPointer(x, None, DefaultRootWindow(x), 0, 0, 0, 0, 512, 384);
  XSync(x, False);
}

void gui_test::TearDown() {
  if (!backend) return;
  windows_reset();
  pump_for(50);
  plat_install(nullptr);
}

window_handle gui_test::open_window(int width, int height, const char* menu_name, window_procedure procedure,
                                    int status_bar_height) {
  window_spec spec;
  spec.class_name = "VASKEL_EXEC_CLASS";
  spec.title = "テスト";
  spec.procedure = procedure;
  spec.client_width = width;
  spec.client_height = height;
  spec.menu_name = menu_name;
  spec.status_bar_height = status_bar_height;
  window_handle w = window_create(spec);
  backend->window_show(w, true);
  gtk_host* host = gtk_platform::host_of(w);
  bool drawn = pump_until([&] {
    GdkWindow* gw = gtk_widget_get_window(host->area);
    return gw && gdk_window_is_viewable(gw) && gtk_widget_get_allocated_width(host->area) == width;
  });
  EXPECT_TRUE(drawn) << "the window did not appear";
  pump_for(100);
  return w;
}

bool gui_test::pump_until(const std::function<bool()>& done, int timeout_ms) {
  uint32_t start = host_clock_ms(), budget = static_cast<uint32_t>(test_budget_ms(timeout_ms));
  while (!done()) {
    if (host_clock_ms() - start > budget) return false;
    g_main_context_iteration(nullptr, FALSE);
    window_message m;
    while (message_peek(m))
      if (m.message != WM_QUIT) message_dispatch(m);
    host_sleep_ms(2);
  }
  return true;
}

void gui_test::pump_for(int ms) {
  uint32_t start = host_clock_ms();
  pump_until([&] { return host_clock_ms() - start >= static_cast<uint32_t>(ms); }, ms + 1000);
}

bool gui_test::game_area_find(const char* title, int width, int height, int& left, int& top) {
  // A busy machine may show the window before it takes its size.
  int found_width = 0;
  return pump_until([&] { return game_area(title, height, found_width, left, top) && found_width == width; }, 20000);
}

int gui_test::xdotool(const std::string& arguments, std::string* output) {
  std::string command = "xdotool " + arguments;
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(command.c_str(), nullptr, &argv, nullptr)) return -1;
  GPid pid;
  int out = -1;
  bool started = g_spawn_async_with_pipes(nullptr, argv, nullptr,
                                          GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                          nullptr, &pid, nullptr, output ? &out : nullptr, nullptr, nullptr);
  g_strfreev(argv);
  if (!started) return -1;
  int status = -1;
  // The window must keep handling events while xdotool waits for them (--sync).
  bool ended = pump_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
  if (output) {
    // The output is far smaller than the pipe, so xdotool never waits for it to be read.
    output->clear();
    char buffer[256];
    for (ssize_t n; ended && (n = read(out, buffer, sizeof buffer)) > 0;) output->append(buffer, static_cast<size_t>(n));
    close(out);
  }
  pump_for(150);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> gui_test::window_ids(int pid) {
  std::string out;
  if (pid > 0) xdotool("search --onlyvisible --pid " + std::to_string(pid), &out);
  std::vector<std::string> ids;
  std::istringstream lines(out);
  for (std::string id; std::getline(lines, id);) ids.push_back(id);
  return ids;
}

std::string gui_test::window_besides(int pid, const std::vector<std::string>& known) {
  for (const std::string& id : window_ids(pid))
    if (std::find(known.begin(), known.end(), id) == known.end()) return id;
  return "";
}

bool gui_test::game_area(const char* title, int height, int& width, int& left, int& top) {
  std::string found, search = std::string("search --onlyvisible --name \"") + title + "\"";
  if (!pump_until([&] { return xdotool(search, &found) == 0 && !found.empty(); }, 20000)) return false;
  int h;
  if (!window_geometry(strtoul(found.c_str(), nullptr, 10), left, top, width, h)) return false;
  top += h - height;
  return true;
}

void gui_test::client_origin(window_handle window, int& x, int& y) {
  gdk_window_get_origin(gtk_widget_get_window(gtk_platform::host_of(window)->area), &x, &y);
}

unsigned long gui_test::x_window(window_handle window) {
  return gdk_x11_window_get_xid(gtk_widget_get_window(gtk_platform::host_of(window)->toplevel));
}

std::vector<uint32_t> gui_test::screenshot(int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, width, height);
  if (!shot) return pixels;
  int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
  const guchar* data = gdk_pixbuf_read_pixels(shot);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) {
      const guchar* p = data + j * stride + i * channels;
      pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
  g_object_unref(shot);
  return pixels;
}

void gui_test::save_screenshot(const std::string& name, int x, int y, int width, int height) {
  std::filesystem::path folder = std::filesystem::path(VASK_BINARY_DIR) / "gui-screenshots";
  std::filesystem::create_directories(folder);
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, width, height);
  ASSERT_NE(shot, nullptr);
  std::string path = (folder / (name + ".png")).string();
  EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) << path;
  g_object_unref(shot);
}

void gui_test::save_window_screenshot(const std::string& name, window_handle window) {
  GdkRectangle frame;
  gdk_window_get_frame_extents(gtk_widget_get_window(gtk_platform::host_of(window)->toplevel), &frame);
  save_screenshot(name, std::max(frame.x, 0), std::max(frame.y, 0), frame.width, frame.height);
}

bool gui_test::seen_any(uint32_t message) {
  return std::any_of(seen.begin(), seen.end(), [message](const seen_message& m) { return m.message == message; });
}

int vaskrun_start(const std::string& game_folder, const std::string& home,
                  const std::vector<std::pair<std::string, std::string>>& environment) {
  gchar** env = g_get_environ();
  env = g_environ_setenv(env, "HOME", home.c_str(), TRUE);
  env = g_environ_setenv(env, "XDG_CONFIG_HOME", (home + "/config").c_str(), TRUE);
  env = g_environ_setenv(env, "XDG_RUNTIME_DIR", home.c_str(), TRUE);
  for (const auto& [name, value] : environment) env = g_environ_setenv(env, name.c_str(), value.c_str(), TRUE);
  gchar* argv[] = {const_cast<gchar*>(VASK_BINARY_DIR "/vaskrun"), nullptr};
  GPid pid = 0;
  bool started = g_spawn_async(game_folder.c_str(), argv, env, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr);
  g_strfreev(env);
  return started ? pid : -1;
}

void vaskrun_stop(int& child) {
  if (child <= 0) return;
  kill(child, SIGTERM);
  // SIGTERM ends the game in order; one whose window thread takes no messages for a few seconds is
  // ended outright.
  bool reaped = false;
  for (int i = 0; i < 300 && !(reaped = waitpid(child, nullptr, WNOHANG) == child); ++i) usleep(10000);
  if (!reaped) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  child = -1;
}

int window_manager_start() {
  gchar* path = g_find_program_in_path("openbox");
  if (!path) return 0;
  gchar* argv[] = {path, nullptr};
  GPid wm = 0;
  bool started = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &wm, nullptr);
  g_free(path);
  return started ? wm : 0;
}

void window_manager_stop(int& wm) {
  if (wm <= 0) return;
  kill(wm, SIGTERM);
  waitpid(wm, nullptr, 0);
  wm = 0;
}

bool window_geometry(unsigned long xid, int& x, int& y, int& width, int& height) {
  GdkWindow* w = xid ? gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), xid) : nullptr;
  if (!w) return false;
  gdk_window_get_geometry(w, nullptr, nullptr, &width, &height);
  gdk_window_get_origin(w, &x, &y);
  g_object_unref(w);
  return true;
}

GtkWidget* visible_toplevel(GType type) {
  GList* all = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* l = all; l; l = l->next)
    if (G_TYPE_CHECK_INSTANCE_TYPE(l->data, type) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      found = GTK_WIDGET(l->data);
  g_list_free(all);
  return found;
}

void gui_test::answer_dialog(const std::string& shot, const std::function<bool(GtkWidget*, int, int)>& answer,
                             const std::function<void()>& run) {
  struct step {
    gui_test* test;
    const std::string& shot;
    const std::function<bool(GtkWidget*, int, int)>& answer;
    int ticks = 0;
    bool answered = false;
  } s{this, shot, answer};
  guint timer = g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        auto* s = static_cast<step*>(data);
        GtkWidget* d = visible_toplevel(GTK_TYPE_DIALOG);
        if (!d || !gtk_widget_get_mapped(d) || ++s->ticks < 5) return G_SOURCE_CONTINUE;
        int x, y;
        gdk_window_get_origin(gtk_widget_get_window(d), &x, &y);
        s->test->save_screenshot(s->shot, x, y, gtk_widget_get_allocated_width(d), gtk_widget_get_allocated_height(d));
        if (!s->answer(d, x, y)) return G_SOURCE_CONTINUE;
        s->answered = true;
        return G_SOURCE_REMOVE;
      },
      &s);
  run();
  // The timer must not outlive the step it points at.
  if (!s.answered) g_source_remove(timer);
}

void main_window_dialog_test::SetUp() {
  gui_test::SetUp();
  if (!IsSkipped() && !HasFatalFailure()) main_window_set(open_window(640, 480));
}

void main_window_dialog_test::TearDown() {
  window_core_reset();
  gui_test::TearDown();
}

void vaskrun_game_test::SetUp() {
  gui_test::SetUp();
  if (IsSkipped() || HasFatalFailure()) return;
  gchar* found = g_find_program_in_path("xdotool");
  if (!found) GTEST_SKIP() << "xdotool is not installed";
  g_free(found);
}

void vaskrun_game_test::TearDown() {
  if (child > 0) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    child = -1;
  }
  gui_test::TearDown();
}

void vaskrun_game_test::make_game(const std::string& env, const std::string& start_source) {
  for (const char* folder : {"game", "config", "run"}) dir.mkdir(folder);
  vko_builder b;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(start_source, b, error)) << error;
  ASSERT_TRUE(archive_write(dir.at("game/fastdata.arc"), archive_version::v3, {{"vaskel.env", env}}));
  ASSERT_TRUE(archive_write(dir.at("game/scenario.arc"), archive_version::v3, {{"start.vko", b.build()}}));
}

void vaskrun_game_test::start() {
  gchar** env = g_get_environ();
  env = g_environ_setenv(env, "DISPLAY", getenv("DISPLAY"), TRUE);
  env = g_environ_unsetenv(env, "VASKRUN_HEADLESS");
  env = g_environ_setenv(env, "XDG_CONFIG_HOME", dir.at("config").c_str(), TRUE);
  env = g_environ_setenv(env, "XDG_RUNTIME_DIR", dir.at("run").c_str(), TRUE);
  // Under the leak checker the program keeps GTK's process-long allocations out of the report.
  env = g_environ_setenv(env, "LSAN_OPTIONS",
                         "suppressions=" VASK_SOURCE_DIR "/tests/gui/lsan.supp:print_suppressions=0", TRUE);
  int out = open(dir.at("output").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(out, 0);
  gchar* argv[] = {const_cast<gchar*>(VASK_BINARY_DIR "/vaskrun"), nullptr};
  GPid pid;
  GError* error = nullptr;
  bool started = g_spawn_async_with_fds(dir.at("game").c_str(), argv, env, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                        nullptr, &pid, -1, out, out, &error);
  close(out);
  g_strfreev(env);
  ASSERT_TRUE(started) << (error ? error->message : "");
  child = pid;
}

void vaskrun_game_test::play(int width, int height, const std::string& keys, const std::string& start_source) {
  make_game("TITLEBAR\t" + name + "\nCLIENT_WIDTH\t" + std::to_string(width) + "\nCLIENT_HEIGHT\t" +
                std::to_string(height) + "\nREG_GLOBAL\tvasktest\nREG_LOCAL\t" + name + "\n" + keys,
            start_source);
  ASSERT_FALSE(HasFatalFailure());
  start();
  ASSERT_FALSE(HasFatalFailure());
  unsigned long id = game_windows(1);
  ASSERT_NE(id, 0u) << "no window came; the program said: " << file_text("output");
  window = std::to_string(id);
}

bool vaskrun_game_test::child_ended() {
  if (child > 0 && waitpid(child, &child_status, WNOHANG) == child) child = -1;
  return child <= 0;
}

std::string vaskrun_game_test::file_text(const std::string& relative) {
  std::ifstream in(dir.at(relative), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

unsigned long vaskrun_game_test::game_windows(size_t count) {
  std::string found;
  bool shown = pump_until(
      [&] {
        found.clear();
        xdotool("search --onlyvisible --name " + name, &found);
        return static_cast<size_t>(std::count(found.begin(), found.end(), '\n')) >= count || child_ended();
      },
      10000);
  return shown && child > 0 ? strtoul(found.c_str(), nullptr, 10) : 0;
}

bool vaskrun_game_test::opens_window(const std::string& arguments) {
  size_t shown = window_ids(child).size();
  return xdotool(arguments) == 0 && pump_until([&] { return window_ids(child).size() > shown; }, 5000);
}

void vaskrun_game_test::menu_choose(const std::string& menu_key, const std::string& entry_key) {
  ASSERT_EQ(xdotool("windowfocus --sync " + window), 0);
  ASSERT_TRUE(opens_window("key alt+" + menu_key)) << "alt+" << menu_key << " opened no menu";
  ASSERT_EQ(xdotool("key " + entry_key), 0);
}

std::string vaskrun_game_test::dialog_wait(const std::vector<std::string>& before) {
  std::string found, title;
  pump_until(
      [&] {
        for (const std::string& id : window_ids(child))
          if (std::find(before.begin(), before.end(), id) == before.end() && xdotool("getwindowname " + id, &title) == 0 &&
              title != "vaskrun\n")
            found = id;
        return !found.empty() || child_ended();
      },
      10000);
  if (!found.empty() && xdotool("windowfocus --sync " + found) != 0) found.clear();
  return found;
}
