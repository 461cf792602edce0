// Menus: built from the variant's model; choosing an entry sends its command; marks, greying and
// deleting from code.
#include "gui_fixture.h"
#include "resources/menus.h"

static std::vector<uintptr_t> commands_seen() {
  std::vector<uintptr_t> ids;
  for (const seen_message& m : seen)
    if (m.message == WM_COMMAND) ids.push_back(m.wparam);
  return ids;
}

static size_t count_of(uint32_t message) {
  size_t n = 0;
  for (const seen_message& m : seen) n += m.message == message;
  return n;
}

class Menus : public gui_test {
 protected:
  window_handle window = nullptr;
  gtk_host* host = nullptr;
  void open(const char* variant) {
    window = open_window(480, 200, variant);
    host = gtk_platform::host_of(window);
    int x, y;
    client_origin(window, x, y);
    ASSERT_EQ(xdotool("mousemove " + std::to_string(x + 200) + " " + std::to_string(y + 100)), 0);
    ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(window))), 0);
    pump_for(100);
    seen.clear();
  }
  // Opens a menu with Alt and its access key, and waits until it is up.
  void open_menu(const char* key) {
    ASSERT_EQ(xdotool(std::string("key alt+") + key), 0);
    ASSERT_TRUE(pump_until([this] { return host->menu_open; })) << key;
    pump_for(100);
  }
  void close_menus() {
    xdotool("key Escape Escape");
    pump_until([this] { return !host->menu_open; });
  }
};

TEST_F(Menus, EveryVariantHoldsItsModelsEntries) {
  for (const menu_model& model : menu_models()) {
    window_spec spec;
    spec.procedure = recording_procedure;
    spec.client_width = 100;
    spec.client_height = 100;
    spec.menu_name = model.name;
    window_handle w = window_create(spec);
    gtk_host* h = gtk_platform::host_of(w);
    std::vector<int> ids = menu_model_ids(model);
    EXPECT_EQ(h->menu.size(), ids.size()) << model.name;
    for (int id : ids) EXPECT_EQ(h->menu.count(id), 1u) << model.name << " " << id;
    window_destroy(w);
  }
  open("VASKEL_MAIN_NOCONFIG");
  EXPECT_EQ(host->menu.count(IDM_CONFIG), 1u);
  EXPECT_EQ(host->menu.count(IDM_SPEED_DIALOG), 0u);
  std::string label = gtk_menu_item_get_label(GTK_MENU_ITEM(host->menu[IDM_SAVE].item));
  EXPECT_EQ(label, U8("セーブ(_S)"));
}

TEST_F(Menus, ChoosingAnEntrySendsItsCommand) {
  open("VASKEL_MAIN");
  open_menu("f");
  EXPECT_EQ(count_of(WM_INITMENU), 1u);  // before the menu showed, for the marks to be right
  save_window_screenshot("window-menu-open", window);
  int x, y;
  client_origin(window, x, y);
  save_screenshot("menu-file", 0, 0, 480, y + 200);
  ASSERT_EQ(xdotool("key s"), 0);  // セーブ(&S)
  ASSERT_TRUE(pump_until([] { return !commands_seen().empty(); }));
  EXPECT_EQ(commands_seen(), std::vector<uintptr_t>{IDM_SAVE});
  ASSERT_TRUE(pump_until([this] { return !host->menu_open; }));
  pump_for(50);
  ASSERT_FALSE(seen.empty());
  bool closed_seen = false;
  for (const seen_message& m : seen)
    closed_seen |= m.message == WM_MENUSELECT && m.wparam == MENUSELECT_CLOSED && m.lparam == 0;
  EXPECT_TRUE(closed_seen);
}

TEST_F(Menus, MarksFromCodeFireNothingAndClicksKeepThem) {
  open("VASKEL_MAIN");
  backend->menu_item_check(window, IDM_TOPMOST, true);
  backend->menu_item_check(window, IDM_NANIDO_0 + 2, true);
  backend->menu_item_check(window, IDM_SAVE, true);  // no mark to show: only remembered
  backend->menu_item_check(window, 12345, true);     // not in the menu: ignored
  pump_for(100);
  EXPECT_TRUE(commands_seen().empty());
  GtkCheckMenuItem* topmost = GTK_CHECK_MENU_ITEM(host->menu[IDM_TOPMOST].item);
  EXPECT_TRUE(gtk_check_menu_item_get_active(topmost));

  // Choosing the checked entry sends the command; the mark stays as code set it until code
  // changes it.
  open_menu("d");
  ASSERT_EQ(xdotool("key t"), 0);  // 常に手前に表示(&T)
  ASSERT_TRUE(pump_until([] { return !commands_seen().empty(); }));
  EXPECT_EQ(commands_seen(), std::vector<uintptr_t>{IDM_TOPMOST});
  EXPECT_TRUE(gtk_check_menu_item_get_active(topmost));
}

TEST_F(Menus, GreyedAndDeletedEntriesCannotBeChosen) {
  open("VASKEL_MAIN");
  backend->menu_item_enable(window, IDM_LOAD, false);
  backend->menu_item_delete(window, IDM_SAVE);
  EXPECT_EQ(host->menu.count(IDM_SAVE), 0u);
  backend->menu_item_check(window, IDM_SAVE, true);  // gone: ignored
  backend->menu_item_delete(window, IDM_SAVE);
  EXPECT_FALSE(gtk_widget_get_sensitive(host->menu[IDM_LOAD].item));
  open_menu("f");
  ASSERT_EQ(xdotool("key o"), 0);  // ロード(&O), greyed
  pump_for(200);
  EXPECT_TRUE(commands_seen().empty());
  close_menus();
  backend->menu_item_enable(window, IDM_LOAD, true);
  open_menu("f");
  ASSERT_EQ(xdotool("key o"), 0);
  ASSERT_TRUE(pump_until([] { return !commands_seen().empty(); }));
  EXPECT_EQ(commands_seen(), std::vector<uintptr_t>{IDM_LOAD});
}

TEST_F(Menus, F10AndAltAloneOpenTheMenuBarUnlessClaimed) {
  open("VASKEL_MAIN");
  ASSERT_EQ(xdotool("key F10"), 0);
  EXPECT_TRUE(pump_until([this] { return host->menu_open; }));
  EXPECT_TRUE(seen_any(WM_SYSCOMMAND));  // SC_KEYMENU went through the window first
  close_menus();
  ASSERT_EQ(xdotool("key alt"), 0);
  EXPECT_TRUE(pump_until([this] { return host->menu_open; }));
  close_menus();
}

// A window whose procedure claims Alt (as the engine's input lock does): the bar stays shut.
static intptr_t alt_claiming_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  seen.push_back({message, wparam, lparam});
  if ((message == WM_SYSKEYDOWN || message == WM_SYSKEYUP) && wparam == static_cast<uintptr_t>(VK_MENU)) return 1;
  return default_window_procedure(window, message, wparam, lparam);
}

TEST_F(Menus, AClaimedAltKeepsTheMenuBarShut) {
  window = open_window(480, 200, "VASKEL_MAIN", alt_claiming_procedure);
  host = gtk_platform::host_of(window);
  ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(window))), 0);
  ASSERT_EQ(xdotool("key alt"), 0);
  pump_for(300);
  EXPECT_FALSE(host->menu_open);
}
