// Message boxes: modal GTK dialogs with the engine's button sets; the engine's messages are handled
// while a box is open, and the window ignores close requests meanwhile.
#include <algorithm>

#include "gui_fixture.h"

// After gtest: the X headers define None.
#include <gdk/gdkx.h>

static GtkWidget* open_message_dialog() { return visible_toplevel(GTK_TYPE_MESSAGE_DIALOG); }

// Steps run from inside the box's own loop, one after another; each waits until the box is on the
// screen. Keys go to the box after it is given the keyboard, and are delivered before the next
// step: a loaded machine may map the box late or let a key from an earlier step overtake one.
// After a budget of 15 s the box is ended with an answer no button gives, so a test that went
// wrong fails rather than waits forever.
struct box_script {
  std::vector<std::function<void()>> steps;
  size_t next = 0;
  uint32_t started = host_clock_ms();
};

static gboolean run_step(gpointer data) {
  auto* script = static_cast<box_script*>(data);
  GtkWidget* box = open_message_dialog();
  if (host_clock_ms() - script->started > static_cast<uint32_t>(test_budget_ms(15000))) {
    if (box) gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_NONE);
    return G_SOURCE_CONTINUE;
  }
  if (script->next >= script->steps.size() || !box || !gtk_widget_get_mapped(box)) return G_SOURCE_CONTINUE;
  script->steps[script->next++]();
  return G_SOURCE_CONTINUE;
}

// Runs the box with the steps running in its loop every interval.
static int box_with_steps(box_script& script, int interval_ms, const std::function<int()>& box) {
  guint source = g_timeout_add(interval_ms, run_step, &script);
  int answer = box();
  g_source_remove(source);
  return answer;
}

static void send_keys(const char* keys) {
  GtkWidget* box = open_message_dialog();
  if (!box) return;
  std::string command = "xdotool windowfocus --sync " +
                        std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(box))) + " key " + keys;
  g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
}

class Boxes : public gui_test {
 public:
  using gui_test::save_screenshot;
};

TEST_F(Boxes, YesNoBoxAnswersWithItsButtonsAlone) {
  window_handle w = open_window(400, 300, "VASKEL_MAIN");
  gtk_host* host = gtk_platform::host_of(w);
  bool dialog_stayed = false, user_message_during_box = false;
  box_script script;
  script.steps = {
      [&] {
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
  int answer = box_with_steps(script, 400, [&] {
    return backend->message_box(w, "終了してよろしいですか？", "テスト", MB_ICONQUESTION | MB_YESNO);
  });
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
    box_script script;
    script.steps = {[&] { send_keys(c.keys); }};
    EXPECT_EQ(box_with_steps(script, 300, [&] { return backend->message_box(w, "テキスト", "キャプション", c.style); }),
              c.answer)
        << c.keys;
  }
}

TEST_F(Boxes, AQuitPostedDuringABoxWaitsForTheDrain) {
  window_handle w = open_window(200, 100);
  box_script script;
  script.steps = {[&] { message_post_quit(5); }, [&] { send_keys("Return"); }};
  EXPECT_EQ(box_with_steps(script, 250, [&] { return backend->message_box(w, "a", "b", MB_OK); }), IDOK);
  window_message m;
  bool quit = false;
  while (message_peek(m)) quit |= m.message == WM_QUIT && m.wparam == 5;
  EXPECT_TRUE(quit);
}
