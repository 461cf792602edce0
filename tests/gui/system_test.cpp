// The desktop's system services: clipboard, displays, cursor, programs, the file chooser and the
// wait dialog.
#include <sys/stat.h>

#include <algorithm>

#include "gui_fixture.h"
#include "platform/gtk/gtk_platform.h"
#include "shell/window_core.h"
#include "test_support.h"

#include <gdk/gdkx.h>  // last: its macros clash with names above

class DesktopServices : public gui_test {};

TEST_F(DesktopServices, ClipboardKeepsEngineText) {
  ASSERT_TRUE(backend->clipboard_set_text("エラー: ファイルがありません"));
  std::string text;
  ASSERT_TRUE(backend->clipboard_get_text(text));
  EXPECT_EQ(text, "エラー: ファイルがありません");
}

TEST_F(DesktopServices, DisplaysCursorAndWindowPlace) {
  std::vector<monitor_info> list;
  backend->monitors(list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].primary);
  EXPECT_EQ(list[0].area.width, 1024);
  EXPECT_EQ(list[0].area.height, 768);
  int width = 0, height = 0;
  backend->primary_screen_size(width, height);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 768);

  window_handle w = open_window(200, 100);
  EXPECT_EQ(backend->window_monitor(w), 0);
  ASSERT_TRUE(backend->cursor_warp(w, 30, 40));
  int x = 0, y = 0;
  EXPECT_TRUE(pump_until([&] { return backend->cursor_position(w, x, y) && x == 30 && y == 40; }));
  backend->cursor_show(w, false);
  backend->cursor_show(w, true);

  backend->window_set_client_size(w, 240, 120);
  EXPECT_TRUE(pump_until([&] {
    backend->window_client_size(w, width, height);
    return width == 240 && height == 120;
  }));
  // A side no page can hold never reaches GTK: a resize to it is ignored, a window made with it
  // gets the smallest client area.
  backend->window_set_client_size(w, 65536, 65536);
  window_spec huge;
  huge.client_width = INT32_MAX;
  backend->window_client_size(window_create(huge), x, y);
  EXPECT_EQ(x * 10000 + y, 10001);
  backend->window_client_size(w, width, height);
  EXPECT_EQ(width * 10000 + height, 2400120);
  ASSERT_TRUE(backend->window_move(w, 50, 60));
  EXPECT_TRUE(pump_until([&] {
    backend->window_position(w, x, y);
    return x == 50 && y == 60;
  }));
  EXPECT_TRUE(pump_until([] { return seen_any(WM_MOVE); }));
}

// Another program destroys the window, and a request about it leaves before the news arrives (a
// pass asks for the pointer): the error that comes back ends the session in order, not the
// process on the spot.
TEST_F(DesktopServices, ARequestAboutAWindowAnotherProgramDestroyedEndsTheSession) {
  window_handle w = open_window(200, 100);
  ASSERT_TRUE(pump_until([&] { return gtk_platform::host_of(w)->xid != 0; }));
  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  XDestroyWindow(other, x_window(w));
  XSync(other, False);
  XCloseDisplay(other);
  int x, y;
  backend->cursor_position(w, x, y);
  EXPECT_TRUE(pump_until([] { return seen_any(WM_ENDSESSION); }));
}

TEST_F(DesktopServices, MenuBarCanBeHiddenAndShown) {
  window_handle w = open_window(300, 100, "VASKEL_MAIN");
  gtk_host* host = gtk_platform::host_of(w);
  int x0, y0;
  client_origin(w, x0, y0);
  backend->window_show_menu_bar(w, false);
  int x1 = 0, y1 = 0;
  EXPECT_TRUE(pump_until([&] {
    client_origin(w, x1, y1);
    return y1 < y0;
  }));
  backend->window_show_menu_bar(w, true);
  EXPECT_TRUE(gtk_widget_get_visible(host->menu_holder));
}

TEST_F(DesktopServices, TheStatusBarMakesTheWindowTallerAndShowsItsText) {
  window_handle plain = open_window(200, 100);
  window_handle with_bar = open_window(200, 100, "", recording_procedure, STATUS_BAR_HEIGHT);
  int width[2], height[2];
  gtk_window_get_size(GTK_WINDOW(gtk_platform::host_of(plain)->toplevel), &width[0], &height[0]);
  gtk_window_get_size(GTK_WINDOW(gtk_platform::host_of(with_bar)->toplevel), &width[1], &height[1]);
  EXPECT_EQ(height[1] - height[0], STATUS_BAR_HEIGHT);
  backend->window_status_text(with_bar, "12 \"ゲーム\" ");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_platform::host_of(with_bar)->status_bar)), U8("12 \"ゲーム\" "));
  // The text is drawn in blue below the client area.
  int x = 0, y = 0;
  client_origin(with_bar, x, y);
  EXPECT_TRUE(pump_until([&] {
    std::vector<uint32_t> strip = screenshot(x, y + 100, 200, STATUS_BAR_HEIGHT);
    return std::any_of(strip.begin(), strip.end(), [](uint32_t p) {
      return (p & 0xFF) > 0x80 && (p >> 16 & 0xFF) < 0x60 && (p >> 8 & 0xFF) < 0x60;
    });
  }));
}

TEST_F(DesktopServices, SpawnedProgramPostsItsExit) {
  window_handle w = open_window(100, 100);
  temp_dir dir;
  ASSERT_TRUE(backend->process_spawn("sh -c \"pwd > out.txt; exit 3\"", engine_path_from_host(dir.path()).c_str(), w,
                                     WM_APP + 1));
  ASSERT_TRUE(pump_until([] { return seen_any(WM_APP + 1); }));
  for (const seen_message& m : seen) {
    if (m.message == WM_APP + 1) {
      EXPECT_EQ(m.wparam, 3u);
    }
  }
  FILE* f = fopen(dir.at("out.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string folder = read_rest(f);
  fclose(f);
  char* real = realpath(dir.path().c_str(), nullptr);
  EXPECT_EQ(folder, std::string(real) + "\n");
  free(real);
  EXPECT_FALSE(backend->process_spawn("/no/such/program", nullptr, w, WM_APP + 1));
}

TEST_F(DesktopServices, FileChooserAddsTheDefaultExtension) {
  window_handle w = open_window(300, 200);
  temp_dir dir;
  file_dialog_spec spec;
  spec.save = true;
  spec.title = "データに名前を指定してセーブ";
  spec.filter_name = "ゲームデータ (*.sav)";
  spec.filter_pattern = "*.sav";
  spec.default_extension = "sav";
  spec.folder = engine_path_from_host(dir.path());
  spec.file_name = "セーブ1";
  // Once the chooser is up, Return takes the proposed name.
  guint source = g_timeout_add(
      800,
      [](gpointer) -> gboolean {
        g_spawn_command_line_async("xdotool key Return", nullptr);
        return G_SOURCE_CONTINUE;
      },
      nullptr);
  std::string path;
  int result = backend->file_dialog(w, spec, path);
  g_source_remove(source);
  ASSERT_EQ(result, FILE_DIALOG_OK);
  EXPECT_EQ(path, engine_path_from_host(dir.path() + "/セーブ1.sav"));
}

TEST_F(DesktopServices, WaitDialogAndPads) {
  EXPECT_FALSE(backend->message_dialog_show("NO_SUCH_TEMPLATE"));
  ASSERT_TRUE(backend->message_dialog_show("NAMECACHE"));
  pump_for(200);
  backend->message_dialog_close();
  joystick_reading pad;
  EXPECT_FALSE(backend->joystick_read(0, pad));  // no pads on the test server
  EXPECT_FALSE(backend->joystick_read(2, pad));
}

TEST_F(DesktopServices, VaskrunChoosesTheDesktopUnlessToldNotTo) {
  EXPECT_EQ(desktop_backend_choose(), backend);
  setenv("VASKRUN_HEADLESS", "1", 1);
  EXPECT_EQ(desktop_backend_choose(), nullptr);
  setenv("VASKRUN_HEADLESS", "0", 1);
  EXPECT_EQ(desktop_backend_choose(), backend);
  unsetenv("VASKRUN_HEADLESS");
}
