#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/gamepath.h"
#include "shell/message_box.h"
#include "shell/window_core.h"
#include "test_support.h"

// What the test handlers saw, in order.
static std::vector<std::string> seen;

// A main window on the headless backend, with the engine's class procedure.
class MainWindowCore : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    window_core_reset();
    windows_reset();
    main_window_open(0, 0, "テストゲーム");
    seen.clear();
  }
  void TearDown() override {
    window_core_reset();
    windows_reset();
    engine_test::TearDown();
  }
};

static intptr_t handler_a(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m == WM_USER || m >= WM_REGISTERED_FIRST) seen.push_back("a");
  return 0;
}
static intptr_t handler_b(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m == WM_USER) seen.push_back("b");
  return 0;
}
static intptr_t handler_removes_itself(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m == WM_USER) {
    seen.push_back("self");
    wndproc_handler_remove(handler_removes_itself);
  }
  return 0;
}
static intptr_t handler_removes_b(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m == WM_USER) wndproc_handler_remove(handler_b);
  return 0;
}

TEST_F(MainWindowCore, HandlerTableAddsOnceAndRemoves) {
  EXPECT_EQ(wndproc_handler_add(handler_a), 0);
  EXPECT_EQ(wndproc_handler_add(handler_a), 1);
  EXPECT_EQ(wndproc_handler_add(handler_b), 0);
  EXPECT_EQ(wndproc_handler_remove(handler_a), 0);
  EXPECT_EQ(wndproc_handler_remove(handler_a), 1);
  message_send(main_window_get(), WM_USER, 0, 0);
  EXPECT_EQ(seen, std::vector<std::string>{"b"});
}

// 256 distinct handlers: a template makes one function per slot.
static int calls_to_numbered = 0;
template <int N>
intptr_t numbered_handler(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m == WM_USER) ++calls_to_numbered;
  return 0;
}
template <int... N>
static int add_numbered(std::integer_sequence<int, N...>) {
  return (wndproc_handler_add(numbered_handler<N>) + ...);  // each add gives 0
}

TEST_F(MainWindowCore, AFullTableCallsAll256) {
  EXPECT_EQ(add_numbered(std::make_integer_sequence<int, HANDLER_TABLE_SIZE>()), 0);
  EXPECT_EQ(wndproc_handler_add(handler_a), 1);
  calls_to_numbered = 0;
  message_send(main_window_get(), WM_USER, 0, 0);
  EXPECT_EQ(calls_to_numbered, HANDLER_TABLE_SIZE);
}

TEST_F(MainWindowCore, RemovalsDuringTheWalk) {
  wndproc_handler_add(handler_removes_itself);
  wndproc_handler_add(handler_a);  // moves up into the removed slot: must still be called
  message_send(main_window_get(), WM_USER, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"self", "a"}));

  seen.clear();
  wndproc_handler_add(handler_removes_b);
  wndproc_handler_add(handler_b);  // removed before its turn: not called
  message_send(main_window_get(), WM_USER, 0, 0);
  EXPECT_EQ(seen, std::vector<std::string>{"a"});
}

static intptr_t claims_with_7(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m != WM_USER) return 0;
  wndproc_set_result(7);
  // A nested message inside the handler keeps its own result.
  EXPECT_EQ(message_send(main_window_get(), WM_USER + 1, 0, 0), 9);
  return 1;
}
static intptr_t claims_nested_with_9(window_handle, uint32_t m, uintptr_t, intptr_t) {
  if (m != WM_USER + 1) return 0;
  wndproc_set_result(9);
  return 1;
}

TEST_F(MainWindowCore, ClaimedResultsPerNestingLevel) {
  wndproc_handler_add(claims_with_7);
  wndproc_handler_add(claims_nested_with_9);
  wndproc_handler_add(handler_a);  // called even after another claimed
  EXPECT_EQ(message_send(main_window_get(), WM_USER, 0, 0), 7);
  EXPECT_EQ(seen, std::vector<std::string>{"a"});
}

TEST_F(MainWindowCore, UnclaimedCloseDestroysAndQuits) {
  wndproc_handler_add(handler_a);
  message_post(main_window_get(), WM_CLOSE, 0, 0);
  window_message m;
  ASSERT_TRUE(message_peek(m));
  message_dispatch(m);  // default handling: destroy, whose WM_DESTROY posts the quit
  EXPECT_FALSE(window_is_alive(main_window_get()));
  ASSERT_TRUE(message_peek(m));
  EXPECT_EQ(m.message, unsigned{WM_QUIT});
  EXPECT_EQ(m.wparam, 0u);
}

TEST_F(MainWindowCore, DrainCountsRegisteredMessagesButNeverDispatchesThem) {
  wndproc_handler_add(handler_a);
  message_post(main_window_get(), WM_USER, 0, 0);
  message_post(main_window_get(), WM_REGISTERED_FIRST, 0, 0);
  message_post(main_window_get(), WM_USER, 0, 0);
  EXPECT_EQ(drain_window_messages(), 3);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "a"}));
  EXPECT_EQ(drain_window_messages(), 0);
}

// An open menu of the bar keeps the drain (and so the game's pass) until it closes, while posted
// messages and timers are handled meanwhile, as in the system's menu loop.
TEST_F(MainWindowCore, AnOpenMenuHoldsTheDrainWhileMessagesAndTimersGoOn) {
  wndproc_handler_add(handler_a);
  timer_set(main_window_get(), 7, 100);
  uint32_t begin = platform.clock_ms();
  bool posted = false;
  platform.menu_open = true;
  platform.on_pump = [&] {
    uint32_t t = platform.clock_ms() - begin;
    if (t >= 150 && !posted) posted = true, message_post(main_window_get(), WM_USER, 0, 0);
    platform.menu_open = t < 350;
  };
  EXPECT_EQ(drain_window_messages(), 4);  // the timer at 100, 200 and 300 ms, and the post
  EXPECT_EQ(platform.clock_ms() - begin, 350u);
  EXPECT_EQ(seen, std::vector<std::string>{"a"});
}

TEST(MainWindowCoreDeath, QuitEndsTheProcessWithItsCode) {
  EXPECT_EXIT(
      {
        message_post(nullptr, WM_USER, 0, 0);
        message_post_quit(3);
        drain_window_messages();
      },
      testing::ExitedWithCode(3), "");
}

// ---------------------------------------------------------------------------------------------
// Message boxes

static int hook_a_calls, hook_b_calls, hook_c_calls;
static void count_hook_a() { ++hook_a_calls; }
static void count_hook_b() { ++hook_b_calls; }
static void count_hook_c() { ++hook_c_calls; }

class MessageBoxes : public MainWindowCore {
 protected:
  void SetUp() override {
    MainWindowCore::SetUp();
    hook_a_calls = hook_b_calls = hook_c_calls = 0;
    box_hook_set(count_hook_a);
    window_hook_set(count_hook_b);
    exit_hook_set(count_hook_c);
  }
};

TEST_F(MessageBoxes, EachBoxHasItsHookStyleAndClipboardRule) {
  platform.answer_boxes({IDRETRY, IDOK, IDOK, IDOK, IDYES, IDNO});
  EXPECT_EQ(error_box_retry("page_release : %s", "ページが存在しません"), IDRETRY);
  EXPECT_EQ(hook_b_calls, 1);
  EXPECT_EQ(platform.clipboard, "page_release : ページが存在しません");
  error_box_fatal("fatal %d", 1);
  EXPECT_EQ(hook_b_calls, 2);
  EXPECT_EQ(platform.clipboard, "fatal 1");  // two error texts in a row: the second alone
  warning_box("warn %s", "x");
  EXPECT_EQ(hook_a_calls, 1);
  EXPECT_EQ(platform.clipboard, "warn x");
  notice_box("notice");
  EXPECT_EQ(platform.clipboard, "warn x");  // notices stay off the clipboard
  EXPECT_EQ(question_box("終了してよろしいですか？"), 1);
  EXPECT_EQ(question_box("again?"), 0);
  EXPECT_EQ(hook_a_calls, 4);
  EXPECT_EQ(hook_b_calls, 2);
  EXPECT_EQ(hook_c_calls, 0);

  ASSERT_EQ(platform.boxes.size(), 6u);
  const unsigned expected_styles[] = {
      MB_TOPMOST | MB_ICONERROR | MB_RETRYCANCEL, MB_TOPMOST | MB_ICONERROR | MB_OK,
      MB_TOPMOST | MB_ICONWARNING | MB_OK,        MB_TOPMOST | MB_OK,
      MB_ICONQUESTION | MB_YESNO,                 MB_ICONQUESTION | MB_YESNO};
  for (size_t i = 0; i < platform.boxes.size(); ++i) {
    EXPECT_EQ(platform.boxes[i].style, expected_styles[i]) << i;
    EXPECT_EQ(platform.boxes[i].caption, "テストゲーム");
    EXPECT_EQ(platform.boxes[i].owner, main_window_get());
  }
  EXPECT_EQ(platform.foreground, main_window_get());
}

TEST_F(MessageBoxes, CancelRunsTheExitHookAndEndsTheProgram) {
  platform.answer_boxes({IDCANCEL});
  try {
    error_box_retry("x");
    FAIL();
  } catch (const fatal_exit_called& e) {
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_EQ(hook_c_calls, 1);
  // Before start-up sets the hook: the same end, without it.
  exit_hook_set(nullptr);
  platform.answer_boxes({IDCANCEL});
  EXPECT_THROW(error_box_retry("y"), fatal_exit_called);
  EXPECT_EQ(hook_c_calls, 1);
}

// A box names a file refused during its own operation (a scope), never one an earlier operation
// met and left unreported, nor one met outside any operation.
TEST_F(MessageBoxes, AnErrorBoxNamesOnlyTheRefusalOfItsOwnOperation) {
  temp_dir folder;  // a folder in a file's place: refused as no regular file
  auto refuse = [&] { EXPECT_EQ(host_file_open(folder.path(), 1), -1); };
  auto box = [&] {
    platform.answer_boxes({IDOK});
    error_box_fatal("x");
    return platform.boxes.back().text;
  };
  refuse();
  EXPECT_EQ(box(), "x");
  {
    file_failure_scope earlier;
    refuse();
  }
  file_failure_scope operation;
  EXPECT_EQ(box(), "x");
  refuse();
  EXPECT_EQ(box(), "x\n(" + folder.path() + ": not a regular file)");
}

TEST_F(MessageBoxes, LongTextsAreCutOnACharacterBoundary) {
  platform.answer_boxes({IDOK});
  std::string text = "a";
  for (int i = 0; i < 600; ++i) text += "表";
  error_box_fatal("%s", text.c_str());
  const std::string& shown = platform.boxes[0].text;
  EXPECT_EQ(shown.size(), 1023u);  // "a" and 511 whole characters
  EXPECT_EQ(shown.substr(1, 2), "表");
  EXPECT_EQ(shown.substr(shown.size() - 2), "表");
  // A percent sign in an argument is printed as it stands.
  platform.answer_boxes({IDOK});
  error_box_fatal("%s", "100%d");
  EXPECT_EQ(platform.boxes[1].text, "100%d");
}
