// The text-input dialog of scripts in GTK: text pasted from the clipboard over the default comes
// back as engine text (CP932), and Enter is its OK.
#include "gui_fixture.h"
#include "shell/window_core.h"

namespace {
class TextInputView : public gui_test {
 protected:
  void TearDown() override {
    window_core_reset();
    gui_test::TearDown();
  }
};

TEST_F(TextInputView, PastedJapaneseComesBackAsEngineText) {
  main_window_set(open_window(640, 480));
  struct step {
    decltype(this) test;
    int ticks = 0;
  } s{this};
  guint timer = g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        auto* s = static_cast<step*>(data);
        GtkWidget* d = visible_toplevel(GTK_TYPE_DIALOG);
        if (!d || !gtk_widget_get_mapped(d) || ++s->ticks < 5) return G_SOURCE_CONTINUE;
        int x, y;
        gdk_window_get_origin(gtk_widget_get_window(d), &x, &y);
        s->test->save_screenshot("text-input-dialog", x, y, gtk_widget_get_allocated_width(d),
                                 gtk_widget_get_allocated_height(d));
        GtkWidget* entry = gtk_window_get_focus(GTK_WINDOW(d));
        if (!GTK_IS_ENTRY(entry)) return G_SOURCE_CONTINUE;
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), reinterpret_cast<const char*>(u8"山田　花子"), -1);
        gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
        g_signal_emit_by_name(entry, "paste-clipboard");
        g_spawn_command_line_async("xdotool key Return", nullptr);
        return G_SOURCE_REMOVE;
      },
      &s);
  std::string text = "既定の名前";  // engine text: this file's literals are CP932
  backend->text_input_dialog(main_window_get(), "テスト", "名前を入力してください", text);
  if (s.ticks < 5) g_source_remove(timer);
  EXPECT_EQ(text, "山田　花子");
}

}  // namespace
