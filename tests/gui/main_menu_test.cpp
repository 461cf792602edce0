// The sample game's menu bar with the real main window handler: every menu opens by its access
// key while the refresh sets the marks without firing a command, and entries chosen by access key
// and by mouse do what they say.
#include "base/registry.h"
#include "gui_fixture.h"
#include "resources/menus.h"
#include "shell/exit_state.h"
#include "shell/main_window.h"
#include "shell/menu_request.h"
#include "shell/settings.h"
#include "shell/window_core.h"

namespace {

std::vector<int> commands;  // WM_COMMAND ids, in arrival order

intptr_t command_recorder(window_handle, uint32_t message, uintptr_t wparam, intptr_t) {
  if (message == WM_COMMAND) commands.push_back(static_cast<int>(wparam));
  return 0;
}

class MainMenu : public gui_test {
 protected:
  void SetUp() override {
    gui_test::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    reset();
    window = open_window(480, 200, "VASKEL_MAIN", main_window_class_proc);
    main_window_set(window);
    wndproc_handler_add(command_recorder);
    wndproc_handler_add(main_window_handler);
    host = gtk_platform::host_of(window);
    ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(window))), 0);
    pump_for(100);
  }
  void TearDown() override {
    reset();
    gui_test::TearDown();
  }
  static void reset() {
    commands.clear();
    window_core_reset();
    main_window_reset();
    exit_state_reset();
    request_reset();
    settings_reset();
    reg_store_reset();
  }
  void open_menu(const char* key) {
    ASSERT_EQ(xdotool(std::string("key alt+") + key), 0);
    ASSERT_TRUE(pump_until([this] { return host->menu_open; })) << key;
    pump_for(100);
  }
  void close_menus() {
    xdotool("key Escape Escape");
    pump_until([this] { return !host->menu_open; });
  }
  bool checked(int id) { return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(host->menu[id].item)); }

  window_handle window = nullptr;
  gtk_host* host = nullptr;
};

TEST_F(MainMenu, EveryMenuOpensByItsAccessKeyAndTheRefreshFiresNothing) {
  setting_store(SETTING_NANIDO, 1);
  for (const char* key : {"f", "q", "d", "s", "c", "h"}) {
    open_menu(key);
    save_window_screenshot(std::string("main-menu-") + key, window);
    close_menus();
  }
  pump_for(100);
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(checked(IDM_WINDOWED));  // the refresh did set the marks
  EXPECT_TRUE(checked(IDM_NANIDO_0 + 1));
  EXPECT_TRUE(checked(IDM_MOVIE_METHOD_2));
}

TEST_F(MainMenu, EntriesChosenByAccessKeyAndByMouseAct) {
  open_menu("c");
  ASSERT_EQ(xdotool("key d"), 0);  // 難易度(&D)
  pump_for(150);
  ASSERT_EQ(xdotool("key 3"), 0);  // ふつう(&3)
  ASSERT_TRUE(pump_until([] { return !commands.empty(); }));
  EXPECT_EQ(commands, std::vector<int>{IDM_NANIDO_0 + 2});
  EXPECT_EQ(difficulty_get(), 2);
  EXPECT_TRUE(checked(IDM_NANIDO_0 + 2));
  pump_until([this] { return !host->menu_open; });

  open_menu("d");
  save_window_screenshot("main-menu-before-click", window);
  GtkWidget* item = host->menu[IDM_TOPMOST].item;
  GtkAllocation a;
  gtk_widget_get_allocation(item, &a);
  int x = 0, y = 0;
  gdk_window_get_root_coords(gtk_widget_get_window(item), a.x + a.width / 2, a.y + a.height / 2, &x, &y);
  ASSERT_EQ(xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"), 0);
  ASSERT_TRUE(pump_until([] { return commands.size() == 2; }));
  EXPECT_EQ(commands.back(), IDM_TOPMOST);
  EXPECT_EQ(topmost_get(), 1);
  EXPECT_TRUE(checked(IDM_TOPMOST));
  pump_until([this] { return !host->menu_open; });
  save_window_screenshot("main-menu-after-click", window);

  open_menu("f");
  EXPECT_FALSE(gtk_widget_get_sensitive(host->menu[IDM_SAVE_AS].item));  // saving is not allowed
  ASSERT_EQ(xdotool("key o"), 0);  // ロード(&O)
  ASSERT_TRUE(pump_until([] { return commands.size() == 3; }));
  EXPECT_EQ(request_pending(), REQUEST_LOAD_MENU);
}

}  // namespace
