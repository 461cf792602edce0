// The shell's dialogs in GTK: each opens over the main window with its controls, is saved as a
// screenshot, and a right click on it answers Cancel; OK hands back what the controls hold.
#include "gui_fixture.h"
#include "shell/shell_dialogs.h"
#include "shell/window_core.h"

namespace {
class ShellDialogView : public main_window_dialog_test {
 protected:
  // Shows the form; once it is on screen, saves it and ends it with a right click (or OK).
  int show(dialog_form& form, const std::string& shot, bool ok) {
    int answer = 0;
    answer_dialog(
        shot,
        [ok](GtkWidget* d, int x, int y) {
          if (ok) {
            gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
          } else {
            std::string click = "mousemove " + std::to_string(x + 8) + " " + std::to_string(y + 8) + " click 3";
            g_spawn_command_line_async(("xdotool " + click).c_str(), nullptr);
          }
          return true;
        },
        [&] { answer = backend->dialog_run(main_window_get(), form); });
    return answer;
  }
};

TEST_F(ShellDialogView, EveryDialogOpensAndAnswers) {
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
