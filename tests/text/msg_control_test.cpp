// Control codes: the field parser, every code's effect, log entry and event, the control-code
// instruction's fields from the stack, and the code and console built-ins.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "message_fixture.h"
#include "shell/devtools.h"
#include "vm/script_error.h"

namespace {

using strings = std::vector<std::string>;

TEST_F(message_test, FieldsParseHexOfEitherCaseAndAMissingOrCutFieldReadsAsZero) {
  struct { const char* code; int k; int32_t value; } rows[] = {
      {"c0x00FF00000xffffffff", 0, 0x00FF0000}, {"c0x00FF00000xffffffff", 1, -1},
      {"l0x7fffffff0x80000000", 1, INT32_MIN},  {"c0x0000001", 0, 1},      // a field cut short
      {"c0x00000001", 1, 0},                     {"c", 0, 0},               // fields past the end
      {"c0x", 0, 0},                             {"s0x0000zz10", 0, 0x10},  // a stray digit counts 0
  };
  for (auto r : rows) EXPECT_EQ(msg_code_field(r.code, r.k), r.value) << r.code << " " << r.k;
}

TEST_F(message_test, EachCodeSetsTheConsoleLogsItselfAndFiresItsEvent) {
  console_at(10, 20, 400, 100);
  font_descriptor& d = console().d;
  d.indent = 7;
  using state = std::vector<int32_t>;  // x, y, size, width, pitch, no-wait, speed, indent
  struct row {
    std::string code;
    strings events;
    state after;
  } rows[] = {
      {"f0x000000180xffffffff0xffffffff0xffffffffＭＳ 明朝", {}, {10, 20, 24, 12, 30, 0, -1, 7}},
      {"l0x000000640x00000032", {}, {100, 50, 24, 12, 30, 0, -1, 7}},
      {"n", {"newline()"}, {17, 80, 24, 12, 30, 0, -1, 7}},
      {"g0x000000010xffffff9d0x000000030xffffff9d0xffffff9d0xffffff9d", {"custom(1,3)"}, {17, 80, 24, 12, 30, 0, -1, 7}},
      {"x効果", {"text(効果)"}, {17, 80, 24, 12, 30, 0, -1, 7}},
      {"z", {}, {17, 80, 24, 12, 30, 1, -1, 7}},
      {"t0x000003e8", {}, {17, 80, 24, 12, 30, 1, -1, 7}},  // no-wait: no deadline
      {"s0x00000005", {}, {17, 80, 24, 12, 30, 1, 5, 7}},
      {"p", {"page()"}, {17, 80, 24, 12, 30, 0, -1, 7}},
      {"s0x00000005", {}, {17, 80, 24, 12, 30, 0, 5, 7}},
      {"w", {"clear()"}, {10, 20, 24, 12, 30, 0, -1, 0}},
      {"c0x00ff00000xffffffff", {}, {10, 20, 24, 12, 30, 0, -1, 0}},
      {"q", {}, {10, 20, 24, 12, 30, 0, -1, 0}},  // unknown: logged, nothing else
  };
  for (const row& r : rows) {
    ASSERT_EQ(msg_control_exec(r.code.c_str(), 1), 1);
    EXPECT_EQ(fired(), r.events) << r.code;
    EXPECT_EQ(last_entry(), "\\" + r.code);
    EXPECT_EQ((state{d.x, d.y, d.size, d.width, d.pitch, d.no_wait, d.speed, d.indent}), r.after) << r.code;
    EXPECT_EQ(vm_frame->wait_deadline, 0) << r.code;
  }
  EXPECT_EQ((state{d.colour, d.decoration, d.mincho}), (state{0xFF0000, -1, 1}));
  EXPECT_STREQ(d.face, "ＭＳ 明朝");
  msg_control_exec("t0x000003e8", 1);
  EXPECT_TRUE(wait_deadline_reached(vm_frame->wait_deadline, vm_time_get() + 1000));
  EXPECT_FALSE(wait_deadline_reached(vm_frame->wait_deadline, vm_time_get() + 999));
  vm_frame->wait_deadline = 0;
}

TEST_F(message_test, OffsetAndRestoreBringBackStyleAndCursor) {
  console_at(0, 0, 400, 100);
  font_descriptor& d = console().d;
  msg_control_exec("l0x000000640x00000032", 1);
  msg_control_exec("o0x000000050xfffffffe", 1);
  EXPECT_EQ((std::vector<int32_t>{d.x, d.y}), (std::vector<int32_t>{105, 48}));
  msg_control_exec("c0x000000ff0xffffffff", 1);
  msg_control_exec("r", 1);
  EXPECT_EQ((std::vector<int32_t>{d.x, d.y, d.colour}), (std::vector<int32_t>{100, 50, 0xFFFFFF}));
  msg_control_exec("r", 1);  // nothing saved: the console stays as it is
  EXPECT_EQ(d.size, 20);
}

TEST_F(message_test, TheInstructionTakesItsFieldsFromTheStack) {
  console_at(0, 0, 400, 100);
  auto run = [this](const char* tpl, std::vector<value_cell> cells) {  // pushed in order: last on top
    int32_t top = vm_frame->top;
    for (value_cell& c : cells) stack_push_value(&c);
    msg_control_opcode(tpl, static_cast<int>(strlen(tpl)) + 1);
    EXPECT_EQ(vm_thread->frames[base_depth].top, top) << tpl << ": the values are popped";
  };
  auto s = [](const char* t) { return string_cell(string_block_new(t)); };
  run("c", {int_cell(0x123), int_cell(-1)});
  EXPECT_EQ(last_entry(), "\\c0x000001230xffffffff");
  run("f", {int_cell(24), int_cell(-1), int_cell(-1), s("ＭＳ ゴシック"), int_cell(1)});
  EXPECT_EQ((std::vector<int32_t>{console().d.size, console().d.width, console().d.pitch, console().d.fill}),
            (std::vector<int32_t>{24, 12, 30, 1}));
  run("x", {s("abc")});
  EXPECT_EQ(fired(), strings{"text(abc)"});
  run("g", {int_cell(1), int_cell(2), int_cell(3), int_cell(4), int_cell(5), int_cell(-99)});
  EXPECT_EQ(fired(), strings{"custom(1,2,3,4,5)"});
  run("c", {});  // an empty stack: fields of 0
  EXPECT_EQ(console().d.colour, 0);
  run("d", {int_cell(42)});
  run("d", {s("本")});
  run("d", {float_cell(1.5f)});
  EXPECT_TRUE(msg_pending_exists());
  text("「");
  message(2);  // the quote flag: a newline inside 「 」 is logged as N
  fired();
  run("n", {});
  EXPECT_EQ(last_entry(), "\\N");
}

TEST_F(message_test, CodeAndConsoleBuiltInsEmitTheirCodesAndFireOnceEachWay) {
  EXPECT_EQ(call("msg_color_code", {0x00ff00}), 0);
  EXPECT_EQ(console().d.decoration, -1);
  call("msg_font_code", {"ＭＳ 明朝", 30});
  EXPECT_EQ(last_entry(), "\\f0x0000001e0x0000000f0x000000250x00000000ＭＳ 明朝");
  call("msg_locate_code", {3, 4});
  EXPECT_EQ((std::vector<int32_t>{console().d.x, console().d.y}), (std::vector<int32_t>{3, 4}));

  platform.boxes.clear();
  call("console_set", {999999, 5, 6, 300, 200});
  EXPECT_THAT(last_box(), ::testing::HasSubstr("console_set : ページが存在しません"));
  EXPECT_EQ(console().d.target, front->id);
  call("msg_set_cursor", {50, 60});
  EXPECT_EQ(call("msg_cursor_x", {}), 45);
  EXPECT_EQ(call("msg_cursor_abs_y", {}), 60);

  auto self_cleaning = [&](const char* name, std::initializer_list<arg> args) {
    call_self_cleaning(name, args);
    strings events = fired();
    EXPECT_EQ(stack_top()->i, 0);
    stack_pop();
    return events;
  };
  EXPECT_EQ(self_cleaning("console_enable", {7}), strings{"enable(7,0)"});
  EXPECT_EQ(self_cleaning("console_enable", {8, 9}), strings{});
  EXPECT_EQ(call("console_enabled_get", {}), 1);
  EXPECT_EQ(self_cleaning("console_disable", {1, 2}), strings{"disable(1,2)"});
  console().replaying = true;
  EXPECT_EQ(self_cleaning("console_enable", {}), strings{});
  EXPECT_EQ(msg_control_exec("w", 1), 0) << "script codes wait while a replay runs";
  console().replaying = false;
  EXPECT_EQ(self_cleaning("console_clear", {}), strings{"clear()"});
}

TEST_F(message_test, ANewlineAtTheOriginIsIgnoredOnceWhenAskedAndElseEndsTheErrorLine) {
  error_log_position();
  const std::string line = error_line_text();
  console_at(10, 20, 300, 200);
  call("msg_skip_origin_newline", {});
  msg_control_exec("n", 1);
  EXPECT_EQ(fired(), strings{});
  EXPECT_EQ(console().d.y, 20);
  msg_control_exec("n", 1);
  EXPECT_EQ(console().d.y, 45);
  EXPECT_EQ(error_line_text(), line + "\r\n");
}

TEST_F(message_test, VoiceCodesFillTheTableUpToTwentyRowsAndThenReport) {
  console_at(0, 0, 600, 600);
  platform.boxes.clear();
  for (int i = 0; i < VOICE_LIST_ROWS + 1; i++) {
    msg_control_exec(("v0voice" + std::to_string(i)).c_str(), 1);
    text("「「あ」」");
    show();
    msg_control_exec("n", 1);
    fired();
  }
  EXPECT_EQ(call("voice_list_count", {}), VOICE_LIST_ROWS);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_THAT(last_box(), ::testing::HasSubstr("voice :"));
  EXPECT_EQ(call_text("voice_list_name", {19}), "voice19");
  EXPECT_EQ(call_text("voice_list_name2", {19}), "");
  EXPECT_EQ(call("voice_list_y", {3}), 3 * 25);
  EXPECT_EQ(call("voice_list_height", {3}), 25);
  msg_control_exec("w", 1);
  EXPECT_EQ(call("voice_list_count", {}), 0);
}

}  // namespace
