// The instructions that are not operators: the opcode map, calls and returns, parameters,
// jumps, switch and case, the jump table, skip, back and end labels, line marks and read marks,
// the message instructions, and malformed code that must be reported rather than followed.
#include "interpreter_fixture.h"
#include "vm/opcodes.h"
#include "vm/readmark.h"

namespace {

using opcodes = program_test;

TEST_F(opcodes, TheMapHolds163OpcodesAndNothingBelow0x100) {
  int defined = 0;
  for (uint32_t op = 0; op <= 0xFFFF; ++op) defined += opcode_defined(static_cast<uint16_t>(op));
  EXPECT_EQ(defined, 163);
  for (uint16_t op : {0x0000, 0x00FF, 0x0102, 0x1E1, 0x1B6, 0x2D3, 0x328, 0x851, 0x804})
    EXPECT_FALSE(opcode_defined(op)) << std::hex << op;
  for (uint16_t op : {0x11A, 0x165, 0x1B5, 0x1D2, 0x260, 0x2C0, 0x2F2, 0x320, 0x850, 0x839})
    EXPECT_TRUE(opcode_defined(op)) << std::hex << op;
}

TEST_F(opcodes, AnUndefinedOpcodeIsReportedAndTheNextWordRuns) {
  retry(1);
  eval(".word 0x0102\npush.i 3\nset.i.pop @r");
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_THAT(reports()[0], HasSubstr("コード[0102]は定義されていません"));
  EXPECT_EQ(int_of("@r"), 3);
}

const char* CALLS = R"(
.entry
    push.i 100          ; a cell of the caller's that must survive
    push.i 2
    push.i 1            ; the first argument lies on top
    call f 2
    set.i.pop @kept
    push.i 2
    push.i 1
    call.drop f 2
    ret
.func f
    params int int
    locals int str
    push.i 9            ; temporaries
    push.s "t"
    load.i _p1
    load.i _p2
    sub.i
    ret
)";

TEST_F(opcodes, AReturnCollapsesArgumentsCountLocalsAndTemporariesIntoTheResult) {
  script_object* o = load(CALLS);
  object_entry_set(o->name);
  EXPECT_EQ(turn(), RUN_END_TURN);
  EXPECT_EQ(int_of("@kept"), -1);  // parameter 1 - parameter 2
  EXPECT_EQ(vm_thread->depth, 0);
  ASSERT_EQ(vm_frame->top, 2);  // the dropped call left nothing
  EXPECT_EQ(stack_top()->i, 100);
  // The call sites cached their callee: both caches now hold an index of the resolved calls.
  int caches = 0;
  for (uint32_t i = 0; i + 10 < o->code_size; ++i)
    if (code_u16(o->code + i) == OP_CALL && code_u32(o->code + i + 2) == crc32_string("f"))
      caches += code_u32(o->code + i + 6) != 0;
  EXPECT_EQ(caches, 1);
}

TEST_F(opcodes, RecursionAndLoopsRunToTheirResults) {
  enter(R"(
.entry
    push.i 10
    call fact 1
    set.i.pop @fact
    locals int int
loop:
    load.i _0
    push.i 100
    ge.i                ; -1 once done
    jt done
    load.i _0 ++x
    load.i _1
    add.i
    set.i.pop _1
    jmp loop
done:
    load.i _1
    set.i.pop @sum
    ret
.func fact
    params int
    load.i _p1
    push.i 1
    le.i
    jf deeper
    push.i 1
    ret
deeper:
    load.i _p1
    load.i _p1
    push.i 1
    sub.i
    call fact 1
    mul.i
    ret
)");
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@fact"), 3628800);
  EXPECT_EQ(int_of("@sum"), 5050);
  EXPECT_EQ(thread_count(), 0);
}

TEST_F(opcodes, TooFewArgumentsAreReportedAndEveryParameterTakesItsDefault) {
  retry(2);
  enter(R"(
.entry
    push.i 5
    call f 1
    set.i.pop @r
    push.s "text"
    push.i 1
    call.drop g 2      ; a string where an int is declared
    push.i 1
    push.i 2
    push.i 3
    call.drop f 3      ; more arguments than parameters are accepted
    ret
.func f
    params int int
    load.i _p1
    push.i 10
    mul.i
    load.i _p2
    add.i
    ret
.func g
    params int int
    push.i 0
    ret
)");
  turn();
  ASSERT_EQ(reports().size(), 2u);
  EXPECT_THAT(reports()[0], HasSubstr("関数のパラメータが不足しています。"));
  EXPECT_EQ(int_of("@r"), 0);  // both parameters are defaults, the 5 passed included
  EXPECT_THAT(reports()[1], HasSubstr("関数のパラメータが(2個中、2番目)間違っています。"));
  EXPECT_EQ(vm_frame->top, 1);
}

TEST_F(opcodes, CasesCompareIntsFloatsAndCaseBlindTexts) {
  struct {
    const char *value, *test, *op;
    bool holds;
  } rows[] = {
      {"push.s \"Hello\"", "push.s \"hELLO\"", "case.eq", true}, {"push.s \"a\"", "push.s \"b\"", "case.eq", false},
      {"push.i 5", "push.i 3", "case.gt", false},               {"push.i 5", "push.i 7", "case.gt", true},
      {"push.i 5", "push.i 3", "case.lt", true},                {"push.i 5", "push.i 5", "case.le", true},
      {"push.i 5", "push.i 4", "case.ge", false},               {"push.f 1.5", "push.f 1.5", "case.eq", true},
      {"push.i 2", "push.f 2", "case.eq", true},
  };
  for (const auto& row : rows) {
    eval(std::string(row.value) + "\nswitch test\ntest:\n" + row.test + "\n" + row.op +
         " other\npop\npush.i 1\nset.i.pop @r\nret\nother:\npop\npush.i 2\nset.i.pop @r");
    EXPECT_EQ(int_of("@r"), row.holds ? 1 : 2) << row.value << " " << row.op << " " << row.test;
    EXPECT_EQ(vm_frame->top, 1);  // the switch value went to the thread variable
  }
  value_cell* v = var_table_find(&vm_thread->vars, SWITCH_VALUE_HASH);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->i, 2);
}

TEST_F(opcodes, TheJumpTableTakesTheLastEntryOutOfRangeAndNoneWithoutEntries) {
  const char* table = "\njtable a b c\na:\npush.i 1\njmp end\nb:\npush.i 2\njmp end\nc:\npush.i 3\nend:\nset.i.pop @r";
  for (auto [index, entry] : {std::pair{0, 1}, {1, 2}, {7, 3}, {-2, 3}}) {
    eval("push.i " + std::to_string(index) + table);
    EXPECT_EQ(int_of("@r"), entry) << index;
    EXPECT_EQ(vm_frame->top, 1);
  }
  eval("push.i 0\njtable\npush.i 9\nset.i.pop @r");
  EXPECT_EQ(int_of("@r"), 9);
}

// Malformed code in a callee: each case is reported and the callee returns, so the caller
// carries on.
TEST_F(opcodes, MalformedCodeIsReportedAndItsFrameReturns) {
  struct {
    const char* code;
    const char* report;
  } rows[] = {
      {".word 0x82C\n.dword 100000", "コード[082C] : オブジェクトのコードの外を指しています"},
      {".word 0x82C\n.dword -100000", "コード[082C] : オブジェクトのコードの外を指しています"},
      {"push.i 0\n.word 0x82D\n.dword 0\npush.i 1\n.word 0x82D\n.dword -5000", "コード[082D]"},
      {".word 0x801\n.word 0xFFFF", "コード[0801] : 個数が負の値です"},
      {".word 0x829\n.word 0xFFFE", "コード[0829] : 個数が負の値です"},
      {".word 0x850\n.word 0x8000", "コード[0850] : 個数が負の値です"},
      {"push.i 1\n.word 0x850\n.word 2\n.dword 0\n.dword -100000", "コード[0850] : オブジェクトのコードの外を指しています"},
      {"locals int 9", "コード[0829] : オペランドが不正です"},
      {"push.i 1\nadd.i", "コード[0118] : スタックの値が足りません"},
      {"pop", "コード[082F] : スタックの値が足りません"},
      {"push.i 1\ncall g 3", "コード[080F] : スタックの値が足りません"},
      {"load.i @x word=0x0620", "コード[0802] : オペランドが不正です"},  // type 6
      {"push.i 0\naload.i @x 1 word=0x0120", "コード[0837] : オペランドが不正です"},  // no index
      // @x is an int array, the access word names string elements
      {"push.i 9\npush.i 0\naset.i.pop @x 1 word=0x0A20", "コード[02D0] : オペランドが不正です"},
  };
  for (const auto& row : rows) {
    platform.boxes.clear();
    retry(1);
    array_block* x = global_array("@x", TYPE_INT_ARRAY, 1, 1, 1);
    eval("call bad 0\npop\npush.i 1\nset.i.pop @after\nret\n.func bad\n" + std::string(row.code) +
         "\npush.i 7\nset.i.pop @late\nret\n.func g\nret");
    ASSERT_EQ(reports().size(), 1u) << row.code;
    EXPECT_THAT(reports()[0], HasSubstr(row.report)) << row.code;
    EXPECT_EQ(int_of("@after"), 1) << row.code;
    EXPECT_EQ(variable("@late"), nullptr) << row.code;
    EXPECT_EQ(vm_frame->top, 1) << row.code;
    EXPECT_EQ(array_numbers(x)[0].i, 0) << row.code;
  }
  // A push of text longer than the rest of the block stops at the block's end.
  retry(1);
  eval("call bad 0\nret\n.func bad\n.word 0x801\n.word 0x7FFF");
  EXPECT_THAT(reports().back(), HasSubstr("コード[0801] : オブジェクトのコードの外を指しています"));
}

TEST_F(opcodes, AReturnAtDepthZeroEndsTheThreadOrKeepsItWaiting) {
  enter(".entry\nret\nret\n");
  uint8_t* start = vm_frame->code;
  EXPECT_EQ(turn(), RUN_END_TURN);
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(vm_frame->code, start + 2);
  // Told to end already: the code pointer goes back onto the return, so the thread waits there.
  EXPECT_EQ(turn(), RUN_END_TURN);
  EXPECT_EQ(vm_frame->code, start + 2);
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
  vm_thread->state = THREAD_END_HANDLER;
  turn();
  EXPECT_EQ(vm_thread->state, THREAD_DEAD);
  // A frame without code returns before anything runs.
  vm_thread->state = THREAD_RUNNING;
  vm_frame->code = nullptr;
  EXPECT_EQ(turn(), RUN_END_TURN);
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
  EXPECT_EQ(vm_frame->code, nullptr);
}

TEST_F(opcodes, EndLabelsRunOnReturnAndClearTheWait) {
  enter(R"(
.entry
    label.end fin
    call f 0
    set.i.pop @r
    ret
fin:
    push.i 2
    set.i.pop @fin
    ret
.func f
    label.end f_fin
    push.i 1
    ret
f_fin:
    push.i 3
    ret
)");
  vm_frame->wait_deadline = 55;
  turn();
  EXPECT_EQ(int_of("@r"), 3);  // f's end label ran and left its own result
  EXPECT_EQ(int_of("@fin"), 2);
  EXPECT_EQ(vm_frame->wait_deadline, 0);
  EXPECT_EQ(vm_thread->state, THREAD_TOLD_TO_END);
}

TEST_F(opcodes, SkipLabelsJumpAtOnceWhenTheirKeyWasPressed) {
  const char* labels = "\npush.i 1\nset.i.pop @r\nret\nL:\npush.i 2\nset.i.pop @r\nret";
  struct {
    const char* op;
    int32_t script_thread::*key;
  } rows[] = {{"label.decide L", &script_thread::decide_key},
              {"label.middle L", &script_thread::middle_key},
              {"label.cancel L", &script_thread::cancel_key},
              {"label.all L", &script_thread::middle_key}};
  for (const auto& row : rows) {
    enter(std::string(".entry\n") + row.op + labels);
    vm_thread->*row.key = 1;
    vm_frame->wait_deadline = -1;
    turn();
    EXPECT_EQ(int_of("@r"), 2) << row.op;
    EXPECT_EQ(vm_thread->*row.key, 0) << row.op;
    EXPECT_EQ(vm_frame->wait_deadline, 0) << row.op;
  }
  // label.all took only the middle label; the other two stay set.
  EXPECT_EQ(vm_frame->middle_label, nullptr);
  EXPECT_NE(vm_frame->decide_label, nullptr);
  // Without a press the label is only remembered; label.clear forgets all three.
  enter(std::string(".entry\nlabel.cancel L\nlabel.clear\nlabel.decide L") + labels);
  turn();
  EXPECT_EQ(int_of("@r"), 1);
  EXPECT_NE(vm_frame->decide_label, nullptr);
  EXPECT_EQ(vm_frame->cancel_label, nullptr);
}

TEST_F(opcodes, GoBackMovesTheFirstFrameWithABackLabelAheadAndLeavesTheOthersRunning) {
  enter(R"(
.entry
    label.back B
    call f 0
    pop
    push.i 1
    set.i.pop @r
    ret
B:
    push.i 2
    set.i.pop @r
    ret
.func f
    back
    push.i 7
    set.i.pop @f
    push.i 0
    ret
)");
  turn();
  EXPECT_EQ(int_of("@f"), 7);  // the callee went on
  EXPECT_EQ(int_of("@r"), 2);  // and returned to the back label
  EXPECT_EQ(vm_frame->back_label, nullptr);
}

TEST_F(opcodes, LineMarksKeepReadMarksOfTheMainThread) {
  script_object* o = load(".entry\nline 3\nret\n.func far\nline 4000\nret\n.func spare\nline 143\nret\n", 10);
  object_entry_set(o->name);
  turn();
  EXPECT_EQ(vm_frame->line, 3);
  EXPECT_EQ(line_was_read(), 0);  // first time seen
  object_entry_set(o->name);
  turn();
  EXPECT_EQ(line_was_read(), 1);
  // The set's 18 bytes hold lines up to 143, past the 10 counted ones; 143 is its last bit.
  object_entry_set(o->name);
  vm_frame->code = function_find(crc32_string("spare"));
  turn();
  EXPECT_EQ(o->readmarks->bits[17], 0x80);
  // A line beyond the set changes no bit and counts as unread.
  std::vector<uint8_t> bits(o->readmarks->bits, o->readmarks->bits + o->readmarks->byte_size);
  object_entry_set(o->name);
  vm_frame->code = function_find(crc32_string("far"));
  line_was_read_set(1);
  turn();
  EXPECT_EQ(line_was_read(), 0);
  EXPECT_EQ(std::vector<uint8_t>(o->readmarks->bits, o->readmarks->bits + o->readmarks->byte_size), bits);
  // Without read marks the flag is cleared at depth 0.
  enter(".entry\nline 1\nret\n");
  turn();
  EXPECT_EQ(line_was_read(), 0);
  // Objects the read filter names count as read, on any thread.
  script_object* filtered = load(".entry\nline 2\nret\n");
  read_filter_set((std::string("X.VKO ") + filtered->name).c_str());
  script_thread* other = thread_create(5);
  thread_switch(other);
  vm_frame->code = filtered->code + filtered->entry_offset;
  turn();
  EXPECT_EQ(line_was_read(), 1);
  read_filter_clear();
}

TEST_F(opcodes, MessageInstructionsHandOverAndKeepTheStackBalanced) {
  eval("msg \"hello\"\nmsg.show\npush.i 1\npush.i 2\nmsg.code \"c\"\npush.s \"x\"\nmsg.code \"d\"");
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(vm_frame->top, 1);
}

// One code block run by two threads whose tables hold the variables at other slots: the slot
// hints the code remembers from one thread must never reach the other thread's cells, and a
// global that became a string is released and replaced, never overwritten in place.
TEST_F(opcodes, SlotHintsLeadEachThreadToItsOwnVariables) {
  script_object* o = load(
      ".entry\n    push.i 5\n    set.i.pop %x\n    load.i %x\n    load.i %x ++x\n    add.i\n    set.i.pop %y\n"
      "    load.i %y\n    set.i.pop @g\n    ret\n");
  script_thread* main = vm_thread;
  value_cell pad = int_cell(-7, crc32_string("%pad@GLOBAL"));
  pad.scope = SCOPE_THREAD;
  var_assign(&pad, nullptr);  // the main thread's %x lands one slot later than the other's
  for (script_thread* t : {main, thread_create(1), main}) {
    thread_switch(t);
    object_entry_set(o->name);
    turn();
    EXPECT_EQ(int_of("%x"), 6) << t->id;
    EXPECT_EQ(int_of("%y"), 11) << t->id;
    EXPECT_EQ(int_of("@g"), 11) << t->id;
  }
  EXPECT_EQ(int_of("%pad"), -7);
  value_cell text = string_cell(string_block_new("t", 1), crc32_string("@g@GLOBAL"));
  text.scope = SCOPE_GLOBAL;
  var_assign(&text, nullptr);
  object_entry_set(o->name);
  turn();
  EXPECT_EQ(variable("@g")->type, TYPE_INT);
  EXPECT_EQ(int_of("@g"), 11);
}

}  // namespace
