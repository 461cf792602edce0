// GUI tests: the desktop backend on a private X server (Xvfb on a free display), driven by xdotool
// and checked by screenshots of the server's screen.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/gtk_backend.h"
#include "test_support.h"

// One message a window received.
struct seen_message {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// What the recording procedure saw, oldest first (window thread only).
extern std::vector<seen_message> seen;
// A window procedure that records every message except painting and then does what the window
// system does by default.
intptr_t recording_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Starts vaskrun (this build's) in a game folder, with HOME, the settings and the runtime folder
// under home, and the extra environment variables (name, value); its process id (not reaped), or -1.
int vaskrun_start(const std::string& game_folder, const std::string& home,
                  const std::vector<std::pair<std::string, std::string>>& environment = {});
// Ends a vaskrun that is still running (child > 0), outright when SIGTERM does not end it within
// 3 s, and reaps it; child becomes -1.
void vaskrun_stop(int& child);
// Starts openbox on the test's display (full screen and the menus' grabs want a window manager);
// its process id, or 0 when openbox is not installed. window_manager_stop ends and reaps it.
int window_manager_start();
void window_manager_stop(int& wm);
// The X window's place on the screen and its size, asked of the server each time (GDK does not
// follow another client's window by itself, and under a window manager xdotool's geometry counts
// the frame in); false when there is no such window.
bool window_geometry(unsigned long xid, int& x, int& y, int& width, int& height);

// The last shown toplevel of the type (GTK_TYPE_MESSAGE_DIALOG, GTK_TYPE_DIALOG), or null.
GtkWidget* visible_toplevel(GType type);

class gui_test : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // A window of the given client size and menu (and status bar), shown and drawn.
  window_handle open_window(int width, int height, const char* menu_name = "",
                            window_procedure procedure = recording_procedure, int status_bar_height = 0);
  // Runs GTK and the engine's queue (dispatching) until done() or the time is up; false on time-out.
  // The time is a budget (test_budget_ms scales it).
  bool pump_until(const std::function<bool()>& done, int timeout_ms = 3000);
  void pump_for(int ms);
  // Pumps until look() gives the same value twice in a row, one that ready() accepts (what it
  // shows has stopped changing); false on time-out.
  template <class Look, class Ready>
  bool pump_until_steady(Look look, Ready ready, int timeout_ms = 3000) {
    std::optional<decltype(look())> last;
    return pump_until([&] { auto now = look(); return std::exchange(last, now) == now && ready(now); }, timeout_ms);
  }
  // Runs xdotool with the arguments while the window keeps handling events; its exit status. What
  // it prints (a few lines: window ids, names, geometry) lands in output when one is given.
  int xdotool(const std::string& arguments, std::string* output = nullptr);
  // The visible windows of the process (its main window, its boxes, dialogs and open menus), ids
  // as xdotool prints them; window_besides gives one that is none of those known, or "".
  std::vector<std::string> window_ids(int pid);
  std::string window_besides(int pid, const std::vector<std::string>& known);
  // The game area of the vaskrun window titled so: the bottom width x height of the window, under
  // its menu bar. False when no such window of that width showed within 20 s.
  bool game_area_find(const char* title, int width, int height, int& left, int& top);
  // The visible window of that title: its width and the top-left corner of the bottom `height`
  // pixels (a game area under its menu bar) on the screen; false when none appears within 20 s.
  bool game_area(const char* title, int height, int& width, int& left, int& top);
  // The client area's top-left corner on the screen.
  void client_origin(window_handle window, int& x, int& y);
  // The X window id of the window's frame.
  unsigned long x_window(window_handle window);
  // The screen's pixels in a rectangle, 0x00RRGGBB, row by row.
  std::vector<uint32_t> screenshot(int x, int y, int width, int height);
  // Saves a rectangle of the screen as a PNG beside the build output (for people to look at).
  void save_screenshot(const std::string& name, int x, int y, int width, int height);
  // The whole window, frame and menu bar included.
  void save_window_screenshot(const std::string& name, window_handle window);
  // Whether some message of that kind arrived.
  static bool seen_any(uint32_t message);
  // Runs a modal dialog loop (run) while a timer waits for its dialog to stay on screen half a
  // second, saves the dialog as a screenshot and hands it with its top-left screen corner to
  // answer; an answer that returns false (its control not ready yet) is asked again a tick later.
  void answer_dialog(const std::string& shot, const std::function<bool(GtkWidget* dialog, int x, int y)>& answer,
                     const std::function<void()>& run);

  gtk_platform* backend = nullptr;
};

// Dialogs over the engine's main window: a 640 x 480 one, opened before each test.
class main_window_dialog_test : public gui_test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A small packaged game that this build's vaskrun plays as a child on the test's display: the
// environment in "fastdata", the start object (assembler text) in "scenario", settings, runtime
// folder and output ("output") in the test's own folder. Skipped without xdotool; a child left
// behind by a failed test is ended.
class vaskrun_game_test : public gui_test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void make_game(const std::string& env, const std::string& start_source);
  void start();
  // A game titled with the test's name at the client size (more keys after), started; its main
  // window's id in `window` once it shows (fatal failure otherwise).
  void play(int width, int height, const std::string& keys, const std::string& start_source);
  // Reaps the child once it has ended (child_status then holds its status).
  bool child_ended();
  std::string file_text(const std::string& relative);
  // Waits until the game shows this many windows titled with its name (the main window, then the
  // boxes over it) or ends; the first one's id, 0 when they did not come.
  unsigned long game_windows(size_t count);
  // Runs xdotool with the arguments and waits until the game shows one window more (a menu, a box).
  bool opens_window(const std::string& arguments);
  // Opens the menu of the bar by its access key and, once it has dropped down, chooses the entry
  // by its key (a key sent earlier would reach the game's window).
  void menu_choose(const std::string& menu_key, const std::string& entry_key);
  // Waits until the game's main window is its only one (its boxes, dialogs and menus gone).
  bool main_window_alone() { return pump_until([&] { return window_ids(child).size() == 1; }, 5000); }
  // Waits for a box or dialog of the game that is not among those given (a menu, which bears the
  // program's name, is none) and gives it the keyboard; its id, "" when none came or the game ended.
  std::string dialog_wait(const std::vector<std::string>& before);

  temp_dir dir;
  // Every test has a game of its own: its title, settings and single-instance lock.
  std::string name = std::filesystem::path(dir.path()).filename().string();
  pid_t child = -1;
  int child_status = -1;
  std::string window;
};
