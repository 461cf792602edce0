// Message boxes: modal GTK dialogs with the engine's button sets; the engine's messages are handled
// while a box is open, and the window ignores close requests meanwhile.
#include <algorithm>

#include "gui_fixture.h"

static GtkWidget* open_message_dialog() { return visible_toplevel(GTK_TYPE_MESSAGE_DIALOG); }

// Steps run from inside the box's own loop, one after another.
struct box_script {
  gui_test* test;
  window_handle window;
  std::vector<std::function<void()>> steps;
  size_t next = 0;
};

static gboolean run_step(gpointer data) {
  auto* script = static_cast<box_script*>(data);
  if (script->next >= script->steps.size()) return G_SOURCE_REMOVE;
  script->steps[script->next++]();
  return G_SOURCE_CONTINUE;
}

static void send_keys(const char* keys) {
  std::string command = std::string("xdotool key ") + keys;
  g_spawn_command_line_async(command.c_str(), nullptr);
}

class Boxes : public gui_test {
 public:
  using gui_test::save_screenshot;
};

TEST_F(Boxes, YesNoBoxAnswersWithItsButtonsAlone) {
  window_handle w = open_window(400, 300, "VASKEL_MAIN");
  gtk_host* host = gtk_platform::host_of(w);
  bool dialog_stayed = false, user_message_during_box = false;
  box_script script{this, w, {}, 0};
  script.steps = {
      [&] {
        ASSERT_NE(open_message_dialog(), nullptr);
        save_screenshot("message-box", 0, 0, 640, 480);
        gtk_window_close(GTK_WINDOW(host->toplevel));  // the user closes the main window: ignored
        message_post(w, WM_USER, 7, 0);                // handled while the box is open
        send_keys("Escape");                           // a Yes/No box cannot be escaped
      },
      [&] {
        dialog_stayed = open_message_dialog() != nullptr;
        user_message_during_box = std::any_of(seen.begin(), seen.end(), [](const seen_message& m) { return m.message == WM_USER; });
        send_keys("alt+n");  // いいえ(&N)
      },
  };
  guint source = g_timeout_add(400, run_step, &script);
  int answer = backend->message_box(w, "終了してよろしいですか？", "テスト", MB_ICONQUESTION | MB_YESNO);
  g_source_remove(source);
  EXPECT_EQ(answer, IDNO);
  EXPECT_TRUE(dialog_stayed);
  EXPECT_TRUE(user_message_during_box);
  pump_for(200);
  EXPECT_FALSE(seen_any(WM_CLOSE));
  EXPECT_EQ(open_message_dialog(), nullptr);

  // Once no box is open, closing the window asks the engine.
  gtk_window_close(GTK_WINDOW(host->toplevel));
  EXPECT_TRUE(pump_until([] { return seen_any(WM_CLOSE); }));
}

TEST_F(Boxes, ButtonSetsAndTheirAnswers) {
  window_handle w = open_window(400, 300);
  struct case_ {
    unsigned style;
    const char* keys;
    int answer;
  };
  const case_ cases[] = {
      {MB_OK | MB_ICONERROR, "Return", IDOK},              // the first button is the default
      {MB_OKCANCEL | MB_ICONWARNING, "Escape", IDCANCEL},  // closing means Cancel
      {MB_RETRYCANCEL | MB_ICONERROR | MB_TOPMOST, "Return", IDRETRY},
      {MB_RETRYCANCEL | MB_ICONERROR, "Escape", IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, "alt+y", IDYES},
  };
  for (const case_& c : cases) {
    box_script script{this, w, {}, 0};
    script.steps = {[&] { send_keys(c.keys); }};
    guint source = g_timeout_add(300, run_step, &script);
    EXPECT_EQ(backend->message_box(w, "テキスト", "キャプション", c.style), c.answer) << c.keys;
    g_source_remove(source);
  }
}

TEST_F(Boxes, AQuitPostedDuringABoxWaitsForTheDrain) {
  window_handle w = open_window(200, 100);
  box_script script{this, w, {}, 0};
  script.steps = {[&] { message_post_quit(5); }, [&] { send_keys("Return"); }};
  guint source = g_timeout_add(250, run_step, &script);
  EXPECT_EQ(backend->message_box(w, "a", "b", MB_OK), IDOK);
  g_source_remove(source);
  window_message m;
  bool quit = false;
  while (message_peek(m)) quit |= m.message == WM_QUIT && m.wparam == 5;
  EXPECT_TRUE(quit);
}
