// The shell's dialogs in GTK: each opens over the main window with its controls, is saved as a
// screenshot, and a right click on it answers Cancel; OK hands back what the controls hold.
#include "gui_fixture.h"
#include "shell/shell_dialogs.h"
#include "shell/window_core.h"

namespace {
class ShellDialogView : public gui_test {
 protected:
  void TearDown() override {
    window_core_reset();
    gui_test::TearDown();
  }
  // Shows the form; once it is on screen, saves it and ends it with a right click (or OK).
  int show(dialog_form& form, const std::string& shot, bool ok) {
    struct step {
      ShellDialogView* test;
      std::string shot;
      bool ok;
      int ticks = 0;
    } s{this, shot, ok};
    guint timer = g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
          auto* s = static_cast<step*>(data);
          GtkWidget* d = visible_toplevel(GTK_TYPE_DIALOG);
          if (!d || !gtk_widget_get_mapped(d) || ++s->ticks < 5) return G_SOURCE_CONTINUE;
          int x, y;
          gdk_window_get_origin(gtk_widget_get_window(d), &x, &y);
          s->test->save_screenshot(s->shot, x, y, gtk_widget_get_allocated_width(d), gtk_widget_get_allocated_height(d));
          if (s->ok) {
            gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
          } else {
            std::string click = "mousemove " + std::to_string(x + 8) + " " + std::to_string(y + 8) + " click 3";
            g_spawn_command_line_async(("xdotool " + click).c_str(), nullptr);
          }
          return G_SOURCE_REMOVE;
        },
        &s);
    int answer = backend->dialog_run(main_window_get(), form);
    if (s.ticks < 5) g_source_remove(timer);
    return answer;
  }
};

TEST_F(ShellDialogView, EveryDialogOpensAndAnswers) {
  main_window_set(open_window(640, 480));
  dialog_form about = about_dialog_form(1);
  EXPECT_EQ(show(about, "about-debug-dialog", false), IDCANCEL) << "a right click is Cancel";
  dialog_form support = user_support_dialog_form();
  support.find(IDC_SUPPORT_TEXT)->text = "一行目\n二行目\n三行目";
  EXPECT_EQ(show(support, "user-support-dialog", false), IDCANCEL);
  std::vector<screen_option_row> rows;
  dialog_form screen = screen_option_dialog_form(rows);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(show(screen, "screen-option-dialog", true), IDOK);
  EXPECT_EQ(screen.find(IDC_SCREEN_MODES)->value, 0) << "the selected row comes back";
}

}  // namespace
