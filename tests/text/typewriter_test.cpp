// The typewriter: line breaking under each KINSOKU_TYPE, name pop-up, indent after 「 and the
// blanks dropped after it, bars, overflow, voice marks, the line event's arguments, long texts
// and the work of laying them out.
#include <gmock/gmock.h>

#include <sstream>
#include <string>
#include <vector>

#include "message_fixture.h"
#include "text/pending_text.h"
#include "vm/skip.h"

namespace {

using ints = std::vector<int>;
using strings = std::vector<std::string>;

class typewriter : public message_test {
 protected:
  void SetUp() override {
    message_test::SetUp();
    font_descriptor d = font_descriptor_default();
    cw = text_measure(&d, "あ", 0).width;
    ASSERT_EQ(cw, 2 * d.width) << "the cases below count in full-width characters";
  }
  // One line event's numbers: page, x, y, width, height, no-wait.
  static ints numbers(const std::string& event) {
    ints v;
    std::stringstream in(event.substr(event.find('(') + 1));
    for (int n; in >> n; in.ignore()) v.push_back(n);
    return v;
  }
  // Shows the text in a window `chars` full-width characters wide; each line's width in them.
  ints widths(const std::string& s, int chars, ints* xs = nullptr) {
    console_at(0, 0, chars * cw, 400);
    text(s);
    ints out;
    for (const std::string& e : show()) {
      if (e.rfind("line(", 0) != 0) continue;
      ints n = numbers(e);
      out.push_back(n[3] / cw);
      if (xs) xs->push_back(n[1]);
    }
    return out;
  }
  int cw = 0;
};

TEST_F(typewriter, LinesBreakByTheKinsokuRulesOfEachType) {
  struct { const char* kt; const char* text; ints lines; } rows[] = {
      {"0", "あああああああ", {5, 2}},
      {"0", "あああああ。ああ", {4, 4}},   // 。 never starts a line: the character before it goes down too
      {"0", "ああああ（ああ", {4, 3}},     // （ never ends one
      {"0", "ああああ。」あ", {3, 4}},     // nor does 。 before 」: both go down with the one before
      {"0", "ああ（あ。」あ", {2, 5}},     // and （ goes down rather than end the line
      {"0", "あああ。。」あ", {2, 5}},
      {"1", "あああああああ", {4, 3}},     // past the edge the last character always goes down
      {"1", "ああああ。ああ", {5, 2}},     // unless it may not start a line
      {"2", "あああああああ", {3, 3, 1}},  // a margin of 2 x 2 font widths
      {"2", "あああ。あああ", {4, 3}},     // 。 hangs into the margin
  };
  for (auto r : rows) {
    env_free();
    load_env(std::string("KINSOKU_TYPE\t") + r.kt + "\n");
    message_module_reset();
    EXPECT_EQ(widths(r.text, 5), r.lines) << r.kt << " " << r.text;
  }
}

TEST_F(typewriter, ANameBeforeTheQuoteGoesToThePopUp) {
  struct { const char* env; const char* text; int chars; strings first; ints lines; } rows[] = {
      {"NAMEPOPUP\t1\n", "太郎「こんにちは」", 20, {"name(太郎)"}, {7}},
      {"NAMEPOPUP\t0\n", "太郎「こんにちは」", 20, {}, {9}},
      // Only a message's start holds a name: text after a break up to a later 「 stays on the page.
      {"NAMEPOPUP\t1\n", "「はい」ああああ彼は「また」", 5, {}, {5, 5, 4}},
  };
  for (auto r : rows) {
    env_free();
    load_env(r.env);
    console_at(0, 0, r.chars * cw, 400);
    text(r.text);
    strings events = show();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().rfind("name(", 0) == 0 ? strings{events.front()} : strings{}, r.first);
    ints lines;
    for (const std::string& e : events)
      if (e.rfind("line(", 0) == 0) lines.push_back(numbers(e)[3] / cw);
    EXPECT_EQ(lines, r.lines) << r.env;
  }
}

TEST_F(typewriter, AQuoteIndentsTheLinesAfterItAndTheirLeadingBlanksGo) {
  struct { const char* env; ints lines, xs; } rows[] = {
      {"SPACEINDENT\t1\n", {5, 2}, {0, 20}},
      {"SPACEINDENT\t1\nINDENTOFFSET\t5\n", {5, 2}, {0, 25}},
      {"SPACEINDENT\t0\n", {5, 4}, {0, 0}},
  };
  for (auto r : rows) {
    env_free();
    load_env(r.env);
    ints xs;
    EXPECT_EQ(widths("「ああああ　　ああ", 5, &xs), r.lines) << r.env;
    EXPECT_EQ(xs, r.xs) << r.env;
  }
}

TEST_F(typewriter, ALineEventCarriesItsRectangleAndTheFirstLineIsKept) {
  console().enabled = false;
  call("console_set", {static_cast<int32_t>(front->id), 30, 40, 5 * cw, 400});
  msg_control_exec("z", 1);
  text("a|bああああ");
  strings events = show();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "enable(0,0)");  // the console switches itself on
  font_descriptor d = font_descriptor_default();
  int first = text_measure(&d, "a bあああ", 0).width;
  EXPECT_EQ(numbers(events[1]), (ints{static_cast<int>(front->id), 30, 40, first, 20, 1}));
  EXPECT_EQ(numbers(events[2])[2], 65);
  EXPECT_EQ(call_text("msg_last_text", {}), "a bあああ");  // the bar shows as a blank
  EXPECT_EQ(last_entry(), "a|bああああ");               // and is logged as written
  EXPECT_EQ(call("msg_cursor_y", {}), 25);
  msg_control_exec("w", 1);
  EXPECT_EQ(call_text("msg_last_text", {}), "");
}

TEST_F(typewriter, AWindowThatOverflowsIsReportedAndClearedUnlessSkippingByForce) {
  console_at(0, 0, 5 * cw, 45);  // two lines
  platform.boxes.clear();
  text("あああああああああああああああ");
  strings events = show();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[2], "clear()");
  EXPECT_EQ((ints{numbers(events[0])[2], numbers(events[1])[2], numbers(events[3])[2]}), (ints{0, 25, 0}));
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_THAT(last_box(), ::testing::HasSubstr("message : ページからはみ出しました"));

  skip_mode_set(6);
  text("あ");
  EXPECT_EQ(show(), strings{"unread()"});  // dropped undrawn on an unread line
  EXPECT_EQ(platform.boxes.size(), 1u);
  skip_reset();
}

TEST_F(typewriter, VoiceMarksTieTheVoiceToItsLines) {
  console_at(0, 0, 5 * cw, 400);
  msg_control_exec("v0voice01", 1);
  text("「「ああああああ」」");
  ints lines;
  for (const std::string& e : show())
    if (e.rfind("line(", 0) == 0) lines.push_back(numbers(e)[3] / cw);
  EXPECT_EQ(lines, (ints{5, 1}));  // the markers are not drawn
  EXPECT_EQ(call("voice_list_count", {}), 1);
  EXPECT_EQ(call("voice_list_y", {0}), 0);
  EXPECT_EQ(call("voice_list_height", {0}), 50);

  msg_control_exec("w", 1);
  fired();
  msg_control_exec("v1a", 1);
  msg_control_exec("v1b", 1);
  ints xs;
  EXPECT_EQ(widths("「（ああああ）」", 4, &xs), (ints{4, 2}));  // inner brackets indent like 「
  EXPECT_EQ(xs, (ints{0, cw}));
  EXPECT_EQ(call_text("voice_list_name2", {0}), "b");
  EXPECT_EQ(call("voice_list_height", {0}), 50);
}

TEST_F(typewriter, ALongTextIsKeptWholeAndLoggedOnce) {
  console_at(0, 0, 600, 400);
  std::string big(6000, 'a');
  text(big.substr(0, 3000));
  text(big.substr(3000));
  ASSERT_EQ(message(2), 1);
  fired();
  EXPECT_EQ(last_entry(), big);
  message(2);
  fired();
  EXPECT_EQ(message_log_bytes()[MESSAGE_LOG_SIZE - 6004], 0) << "logged once";
}

TEST_F(typewriter, LayingOutALongTextCostsWorkInProportionToIt) {
  // Prose; spoken lines with names, voice marks and inner brackets; markers packed after a long
  // stretch of prose. Twice the text may take twice the characters walked, never four times.
  struct { const char* head; const char* tail; } rows[] = {
      {"吾輩は猫である。名前はまだ無い。", "吾輩は猫である。名前はまだ無い。"},
      {"太郎「「名前は（まだ）無い。」」", "太郎「「名前は（まだ）無い。」」"},
      {"吾輩は猫である。名前はまだ無い。", "「「あ」」）」"},
  };
  console_at(0, 0, 20 * cw, 1 << 30);
  for (auto r : rows) {
    uint64_t work[2];
    for (size_t half : {4096, 8192}) {
      std::string s;
      while (s.size() < half) s += r.head;
      while (s.size() < 2 * half) s += r.tail;
      uint64_t before = pending_text_visits();
      text(s);
      while (message(2)) fired();
      work[half / 8192] = pending_text_visits() - before;
    }
    EXPECT_LE(work[1], 3 * work[0]) << r.head << r.tail;
  }
}

}  // namespace
