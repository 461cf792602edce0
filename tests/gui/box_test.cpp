// Message boxes: modal GTK dialogs with the engine's button sets; the engine's messages are handled
// while a box is open, and the window ignores close requests meanwhile.
#include <algorithm>

#include "gui_fixture.h"

// After gtest: the X headers define None.
#include <gdk/gdkx.h>

static GtkWidget* open_message_dialog() { return visible_toplevel(GTK_TYPE_MESSAGE_DIALOG); }

// Steps run from inside the box's own loop, one after another; a step that returns false is asked
// again a tick later (what it looks for has not come yet). A step runs only once the box is on the
// server's screen and holds the keyboard (the box is asked for it meanwhile), and once every key
// sent before it has reached the box: a loaded machine maps the box late and delivers keys late.
// After a budget of 15 s the box is ended with an answer no button gives, so a test that went
// wrong fails rather than waits forever.
struct box_script {
  std::vector<std::function<bool()>> steps;
  size_t next = 0;
  uint32_t started = host_clock_ms();
  GtkWidget* box = nullptr;  // the box whose key releases are counted
  int released = 0, sent = 0;
};
static box_script* running_script = nullptr;

static gboolean count_release(GtkWidget*, GdkEventKey* key, gpointer data) {
  if (!key->is_modifier) ++static_cast<box_script*>(data)->released;
  return FALSE;
}

static gboolean run_step(gpointer data) {
  auto* script = static_cast<box_script*>(data);
  GtkWidget* box = open_message_dialog();
  if (host_clock_ms() - script->started > static_cast<uint32_t>(test_budget_ms(15000))) {
    if (box) gtk_dialog_response(GTK_DIALOG(box), 99);  // an answer no button gives
    return G_SOURCE_CONTINUE;
  }
  GdkWindow* window = box ? gtk_widget_get_window(box) : nullptr;
  if (script->next >= script->steps.size() || !window || !gdk_window_is_viewable(window)) return G_SOURCE_CONTINUE;
  if (box != script->box) {
    script->box = box;
    script->released = script->sent = 0;
    g_signal_connect(box, "key-release-event", G_CALLBACK(count_release), script);
  }
  if (!gtk_window_is_active(GTK_WINDOW(box))) {
    gdk_window_focus(window, gdk_x11_get_server_time(window));
    return G_SOURCE_CONTINUE;
  }
  if (script->released < script->sent) return G_SOURCE_CONTINUE;
  if (script->steps[script->next]()) ++script->next;
  return G_SOURCE_CONTINUE;
}

// Runs the box with the steps running in its loop.
static int box_with_steps(box_script& script, const std::function<int()>& box) {
  running_script = &script;
  guint source = g_timeout_add(50, run_step, &script);
  int answer = box();
  g_source_remove(source);
  running_script = nullptr;
  return answer;
}

// Keys (xdotool's names, one press each) for the box that holds the keyboard; the next step waits
// until the box has had them.
static bool send_keys(const std::string& keys) {
  g_spawn_command_line_sync(("xdotool key " + keys).c_str(), nullptr, nullptr, nullptr, nullptr);
  running_script->sent += static_cast<int>(std::count(keys.begin(), keys.end(), ' ')) + 1;
  return true;
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
        // The user closes the main window (as the window manager's close arrives): ignored.
        GdkEvent* close = gdk_event_new(GDK_DELETE);
        close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(host->toplevel)));
        close->any.send_event = TRUE;
        gtk_main_do_event(close);
        gdk_event_free(close);
        message_post(w, WM_USER, 7, 0);  // handled while the box is open
        return send_keys("Escape");      // a Yes/No box cannot be escaped
      },
      [&] { return user_message_during_box = seen_any(WM_USER); },
      [&] {
        dialog_stayed = open_message_dialog() != nullptr;
        return send_keys("alt+n");  // いいえ(&N)
      },
  };
  int answer = box_with_steps(script, [&] {
    return backend->message_box(w, "終了してよろしいですか？", "テスト", MB_ICONQUESTION | MB_YESNO);
  });
  EXPECT_EQ(answer, IDNO);
  EXPECT_TRUE(dialog_stayed);
  EXPECT_TRUE(user_message_during_box);
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
    script.steps = {[&] { return send_keys(c.keys); }};
    EXPECT_EQ(box_with_steps(script, [&] { return backend->message_box(w, "テキスト", "キャプション", c.style); }),
              c.answer)
        << c.keys;
  }
}

TEST_F(Boxes, AQuitPostedDuringABoxWaitsForTheDrain) {
  window_handle w = open_window(200, 100);
  box_script script;
  script.steps = {[] { message_post_quit(5); return true; }, [] { return send_keys("Return"); }};
  EXPECT_EQ(box_with_steps(script, [&] { return backend->message_box(w, "a", "b", MB_OK); }), IDOK);
  window_message m;
  bool quit = false;
  while (message_peek(m)) quit |= m.message == WM_QUIT && m.wparam == 5;
  EXPECT_TRUE(quit);
}
