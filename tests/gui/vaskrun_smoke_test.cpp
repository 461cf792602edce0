// vaskrun on the desktop: the program, run as a child on the test's X server, starts a small
// packaged game; its window carries the game's title, has the game's client size below a menu bar,
// and opening the first menu shows the menu of the variant the game's environment file chooses
// (compared with the same menu opened in a window of this process). The game then ends by itself
// with status 0.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "gui_fixture.h"
#include "shell/exit_state.h"
#include "shell/window_core.h"

namespace {

const int CLIENT_W = 640, CLIENT_H = 400;

// The start object. $init@GLOBAL waits until the test lays "end.jpg" beside the game (every lookup
// sees a loose file there), about 30 s at most, and ends the game with the end built-in.
const char* START = R"(
.builtin time_wait 0xCF35F0E3
.builtin system_end 0x8D8FB32E
.builtin image_exists 0xD3C06820
.func $init@GLOBAL
wait:
    push.i 20
    builtin.drop time_wait 1
    push.s "end"
    builtin image_exists 1
    jt done
    load.i @rounds ++x
    push.i 1500
    lt.i
    jt wait
done:
    builtin.drop system_end 0
    ret
.entry
    builtin.drop system_end 0
    ret
)";

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A rectangle of the screen, placed relative to a window's top-left corner.
struct shot {
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// Whether two shots show the same: same place and size, and all but a few pixels alike within a
// shade (the two processes draw the same text, but nothing promises it to the last bit).
bool alike(const shot& a, const shot& b) {
  if (a.x != b.x || a.y != b.y || a.width != b.width || a.height != b.height || a.pixels.empty() ||
      a.pixels.size() != b.pixels.size())
    return false;
  size_t differing = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    for (int shift : {0, 8, 16})
      if (std::abs(int(a.pixels[i] >> shift & 0xFF) - int(b.pixels[i] >> shift & 0xFF)) > 48) {
        ++differing;
        break;
      }
  return differing * 200 <= a.pixels.size();
}

// What a window with a menu variant shows: its size, its menu bar, and its first menu as F10
// opens it.
struct menu_look {
  int frame_width = 0, frame_height = 0;
  shot bar, menu;
};

class VaskrunWindow : public vaskrun_game_test {
 protected:
  shot take(int origin_x, int origin_y, int x, int y, int width, int height) {
    return {x, y, width, height, screenshot(origin_x + x, origin_y + y, width, height)};
  }
  // The pointer rests outside every window, so that it lights up no entry.
  void pointer_away() { ASSERT_EQ(xdotool("mousemove 1010 750"), 0); }

  // The menu variant in a window of this process (the same backend vaskrun uses), at the game's
  // client size; the first menu is opened by F10.
  menu_look reference(const char* menu_name, bool save) {
    menu_look look;
    window_handle w = open_window(CLIENT_W, CLIENT_H, menu_name);
    gtk_host* host = gtk_platform::host_of(w);
    // The marks and greyed entries of a game that has just started (saving not yet allowed).
    main_window_set(w);
    menu_refresh();
    main_window_set(nullptr);
    int wx, wy, cx, cy;
    gdk_window_get_origin(gtk_widget_get_window(host->toplevel), &wx, &wy);
    client_origin(w, cx, cy);
    look.frame_width = gdk_window_get_width(gtk_widget_get_window(host->toplevel));
    look.frame_height = gdk_window_get_height(gtk_widget_get_window(host->toplevel));
    // The client area lies below the bar, as wide as the window.
    EXPECT_EQ(gtk_widget_get_allocated_width(host->area), CLIENT_W);
    EXPECT_EQ(gtk_widget_get_allocated_height(host->area), CLIENT_H);
    EXPECT_EQ(cx, wx);
    EXPECT_GT(cy - wy, 10) << "no menu bar above the client area";
    EXPECT_EQ(look.frame_width, CLIENT_W);
    EXPECT_EQ(look.frame_height, cy - wy + CLIENT_H);
    look.bar = take(wx, wy, 0, 0, CLIENT_W, cy - wy);

    pointer_away();
    EXPECT_EQ(xdotool("windowfocus --sync " + std::to_string(x_window(w))), 0);
    EXPECT_EQ(xdotool("key F10"), 0);
    EXPECT_TRUE(pump_until([host] { return host->menu_open; })) << menu_name;
    GdkWindow* popup = gtk_widget_get_window(gtk_widget_get_toplevel(host->menus[0]));
    EXPECT_TRUE(pump_until([popup] { return popup && gdk_window_is_viewable(popup); })) << menu_name;
    if (popup) {
      int px, py;
      gdk_window_get_origin(popup, &px, &py);
      int width = gdk_window_get_width(popup), height = gdk_window_get_height(popup);
      // Drawn when two shots in a row agree.
      shot last;
      pump_until([&] {
        shot now = take(wx, wy, px - wx, py - wy, width, height);
        bool steady = now.pixels == last.pixels;
        last = std::move(now);
        return steady;
      });
      look.menu = last;
    }
    if (save) save_screenshot(std::string("reference-") + menu_name, wx, wy, look.frame_width, look.frame_height);
    xdotool("key Escape Escape");
    window_destroy(w);
    pump_for(100);
    return look;
  }

  // A packaged game, as a player gets it. The title has a blank ("|" in the file) and Japanese,
  // which the window shows in UTF-8.
  void make_game(const std::string& menu_keys) {
    std::string env = "TITLEBAR\t" + name + "|起動の確認\nCLIENT_WIDTH\t" + std::to_string(CLIENT_W) +
                      "\nCLIENT_HEIGHT\t" + std::to_string(CLIENT_H) + "\nREG_GLOBAL\tvasktest\nREG_LOCAL\t" + name +
                      "\n" + menu_keys;
    vaskrun_game_test::make_game(env, START);
  }

  // The whole smoke run for one variant: the window, its title and size, the bar, the first menu
  // (alike to this variant's, unlike the other one's), and the game's own end.
  void run_game(const std::string& menu_keys, const char* menu_name, const char* other_menu_name) {
    menu_look expected = reference(menu_name, true), other = reference(other_menu_name, false);
    ASSERT_FALSE(HasFailure());
    ASSERT_FALSE(alike(expected.menu, other.menu)) << "the two variants' first menus look the same";

    make_game(menu_keys);
    start();
    ASSERT_FALSE(HasFatalFailure());
    unsigned long id = game_windows(1);
    ASSERT_NE(id, 0u) << "no window came; the program said: " << file_text("output");
    std::string window = std::to_string(id), title;
    ASSERT_EQ(xdotool("getwindowname " + window, &title), 0);
    std::string wanted_title = name + utf8(u8" 起動の確認") + "\n";
    EXPECT_EQ(title, wanted_title);

    // The window is as large as the reference: the game's client area below a bar of the same
    // height (the bar's pixels below match too).
    std::string geometry;
    ASSERT_EQ(xdotool("getwindowgeometry --shell " + window, &geometry), 0);
    int x = -1, y = -1, width = 0, height = 0;
    ASSERT_EQ(sscanf(geometry.c_str(), "WINDOW=%*u X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &width, &height), 4)
        << geometry;
    EXPECT_EQ(width, expected.frame_width);
    EXPECT_EQ(height, expected.frame_height);
    const shot& bar = expected.bar;
    EXPECT_TRUE(pump_until([&] { return alike(take(x, y, bar.x, bar.y, bar.width, bar.height), bar); }, 5000))
        << "the menu bar is not the reference's";

    pointer_away();
    ASSERT_EQ(xdotool("windowfocus --sync " + window), 0);
    ASSERT_EQ(xdotool("key F10"), 0);
    const shot& menu = expected.menu;
    EXPECT_TRUE(pump_until([&] { return alike(take(x, y, menu.x, menu.y, menu.width, menu.height), menu); }, 5000))
        << "the opened menu is not " << menu_name << "'s";
    const shot& unlike = other.menu;
    EXPECT_FALSE(alike(take(x, y, unlike.x, unlike.y, unlike.width, unlike.height), unlike))
        << "the opened menu is " << other_menu_name << "'s";
    save_screenshot(std::string("vaskrun-") + menu_name, x, y, width, height);
    xdotool("key Escape Escape");

    // The game sees the file and ends with the end built-in: status 0, nothing printed, and the
    // orderly end's clean-exit mark in the settings.
    dir.write("game/end.jpg", "end");
    EXPECT_TRUE(pump_until([this] { return child_ended(); }, 10000)) << "the game did not end";
    ASSERT_TRUE(WIFEXITED(child_status)) << "status " << child_status;
    EXPECT_EQ(WEXITSTATUS(child_status), 0);
    EXPECT_EQ(file_text("output"), "");
    EXPECT_NE(file_text("config/vasktest/" + name + ".ini").find("AbnormalTerminateFlg=0"), std::string::npos);
  }
};

// The two variants' file menus differ: the alternative one has no save-as and load-by-name entries.
TEST_F(VaskrunWindow, WithoutAMenuKeyTheGameHasTheMainMenu) {
  run_game("", "VASKEL_MAIN", "VASKEL_MAIN_ALT_A");
}

TEST_F(VaskrunWindow, TheAltMenuAKeyGivesTheAlternativeMenu) {
  run_game("ALTMENU_A\t1\n", "VASKEL_MAIN_ALT_A", "VASKEL_MAIN");
}

// Every menu drops down by its access key. The exit entry asks first: chosen by keys, No keeps
// the game running, marked unfinished; chosen by mouse, Yes ends it in order.
TEST_F(VaskrunWindow, EveryMenuOpensAndTheExitEntryAsksBeforeAnOrderlyEnd) {
  const shot file_menu = reference("VASKEL_MAIN", false).menu;  // where the first menu drops down
  make_game("");
  start();
  ASSERT_FALSE(HasFatalFailure());
  unsigned long id = game_windows(1);
  ASSERT_NE(id, 0u) << "no window came; the program said: " << file_text("output");
  window = std::to_string(id);
  std::string geometry, ini = "config/vasktest/" + name + ".ini";
  ASSERT_EQ(xdotool("getwindowgeometry --shell " + window, &geometry), 0);
  int x = 0, y = 0;
  ASSERT_EQ(sscanf(geometry.c_str(), "WINDOW=%*u X=%d Y=%d", &x, &y), 2);
  pointer_away();
  ASSERT_EQ(xdotool("windowfocus --sync " + window), 0);
  auto strip = [&] { return take(x, y, 0, file_menu.y, CLIENT_W, 40); };  // just below the bar
  const shot closed = strip();
  for (const char* key : {"f", "q", "d", "s", "c", "h"}) {
    ASSERT_EQ(xdotool(std::string("key alt+") + key), 0);
    EXPECT_TRUE(pump_until([&] { return !alike(strip(), closed); })) << "alt+" << key << " opened nothing";
    save_screenshot(std::string("vaskrun-menu-") + key, x, y, CLIENT_W, CLIENT_H);
    xdotool("key Escape Escape");
    pump_until([&] { return alike(strip(), closed); });
  }
  auto mouse_at = [&](int px, int py) { return "mousemove " + std::to_string(x + px) + " " + std::to_string(y + py); };
  for (const char* answer : {"alt+n", "alt+y"}) {
    if (answer[4] == 'n') {
      menu_choose("f", "x");  // ファイル(&F), then 終了(&X)
      ASSERT_FALSE(HasFatalFailure());
    } else {  // the pointer rests on each target, which lights up, before it clicks
      int bottom = file_menu.y + file_menu.height - 15;  // 終了, the last entry
      ASSERT_TRUE(opens_window(mouse_at(file_menu.x + 20, file_menu.y / 2) + " click 1")) << "the click opened no menu";
      const shot unlit = take(x, y, file_menu.x, bottom - 10, file_menu.width, 20);
      ASSERT_EQ(xdotool(mouse_at(file_menu.x + 40, bottom)), 0);
      ASSERT_TRUE(pump_until([&] { return !alike(take(x, y, file_menu.x, bottom - 10, file_menu.width, 20), unlit); }))
          << "終了 did not light up under the pointer";
      ASSERT_EQ(xdotool("click 1"), 0);
    }
    ASSERT_NE(dialog_wait({window}), "") << "no question came";
    save_screenshot("vaskrun-exit-question", x, y, CLIENT_W, CLIENT_H);
    ASSERT_EQ(xdotool(std::string("key ") + answer), 0);
    if (answer[4] == 'n') {
      EXPECT_TRUE(pump_until([&] { return file_text(ini).find("AbnormalTerminateFlg=1") != std::string::npos; }));
      ASSERT_TRUE(main_window_alone()) << "No ended the game or kept the box";
    }
  }
  EXPECT_TRUE(pump_until([this] { return child_ended(); }, 10000)) << "Yes did not end the game";
  ASSERT_TRUE(WIFEXITED(child_status)) << "status " << child_status;
  EXPECT_EQ(WEXITSTATUS(child_status), 0);
  // No wrote the unfinished mark, which the orderly end then cleared; the window state followed.
  for (const char* value : {"AbnormalTerminateFlg=0\nWinStat=0\n", "WinPosX="})
    EXPECT_NE(file_text(ini).find(value), std::string::npos) << value << " in " << file_text(ini);
}

}  // namespace
