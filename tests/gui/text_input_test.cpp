// The text-input dialog of scripts in GTK: text pasted from the clipboard over the default comes
// back as engine text (CP932), and Enter is its OK.
#include "gui_fixture.h"
#include "shell/window_core.h"

namespace {
using TextInputView = main_window_dialog_test;

TEST_F(TextInputView, PastedJapaneseComesBackAsEngineText) {
  std::string text = "既定の名前";  // engine text: this file's literals are CP932
  answer_dialog(
      "text-input-dialog",
      [](GtkWidget* d, int, int) {
        GtkWidget* entry = gtk_window_get_focus(GTK_WINDOW(d));
        if (!GTK_IS_ENTRY(entry) || !gtk_window_is_active(GTK_WINDOW(d))) return false;  // Return needs the keyboard
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), reinterpret_cast<const char*>(u8"山田　花子"), -1);
        gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
        g_signal_emit_by_name(entry, "paste-clipboard");
        g_spawn_command_line_async("xdotool key Return", nullptr);
        return true;
      },
      [&] { backend->text_input_dialog(main_window_get(), "テスト", "名前を入力してください", text); });
  EXPECT_EQ(text, "山田　花子");
}

}  // namespace
