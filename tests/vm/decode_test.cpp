// The decoded form of code blocks: malformed code is found when its block is decoded and
// reported when the instruction would run; jumps into the middle of an instruction run the bytes
// there; superinstructions do what their instructions do one by one.
#include "interpreter_fixture.h"
#include "vm/decode.h"

namespace {

using decoding = program_test;

// Each bad instruction follows two good ones in a callee: the block's first run marks it as a
// fault, the good ones run, the report comes when it is reached, and the callee returns.
TEST_F(decoding, MalformedCodeIsFoundAtDecodeAndReportedWhereItRuns) {
  struct {
    const char* code;
    const char* report;
  } rows[] = {
      {".word 0x82C\n.dword 100000", "コード[082C] : オブジェクトのコードの外を指しています"},
      {".word 0x801\n.word 0xFFFF", "コード[0801] : 個数が負の値です"},
      {".word 0x801\n.word 0x7FFF", "コード[0801] : オブジェクトのコードの外を指しています"},
      {".word 0x829\n.word 0xFFFE", "コード[0829] : 個数が負の値です"},
      {"locals int 9", "コード[0829] : オペランドが不正です"},
      {"params int 7", "コード[0836] : オペランドが不正です"},
      {".word 0x850\n.word 0x8000", "コード[0850] : 個数が負の値です"},
      {".word 0x850\n.word 0x7000", "コード[0850] : オブジェクトのコードの外を指しています"},
      {"load.i @x word=0x0620", "コード[0802] : オペランドが不正です"},
      {"aload.i @x 1 word=0x0120", "コード[0837] : オペランドが不正です"},
      {".word 0x80F\n.dword 0\n.dword 0\n.word 0xFFFF", "コード[080F] : 個数が負の値です"},
      {".word 0x83B\n.dword 100000", "コード[083B] : オブジェクトのコードの外を指しています"},
      {".word 0x847\n.dword -100000", "コード[0847] : オブジェクトのコードの外を指しています"},
      {".word 0x840\n.word 0xFFFF", "コード[0840] : 個数が負の値です"},
  };
  constexpr int GOOD_BYTES = 6 + 10;  // push.i, set.i.pop
  for (const auto& row : rows) {
    platform.boxes.clear();
    retry(1);
    script_object* o = load(".entry\ncall bad 0\npop\npush.i 1\nset.i.pop @after\nret\n.func bad\npush.i 5\n"
                            "set.i.pop @before\n" + std::string(row.code) + "\npush.i 7\nset.i.pop @late\nret");
    object_entry_set(o->name);
    uint8_t* bad = object_function(o, crc32_string("bad")) + GOOD_BYTES;
    EXPECT_EQ(decode_find(bad), nullptr) << row.code;  // nothing is decoded before it runs
    turn();
    const decoded_op* r = decode_find(bad);
    ASSERT_NE(r, nullptr) << row.code;
    EXPECT_EQ(r->slot, SLOT_FAULT) << row.code;
    ASSERT_EQ(reports().size(), 1u) << row.code;
    EXPECT_THAT(reports()[0], HasSubstr(row.report)) << row.code;
    EXPECT_EQ(int_of("@before"), 5) << row.code;
    EXPECT_EQ(variable("@late"), nullptr) << row.code;
    EXPECT_EQ(int_of("@after"), 1) << row.code;
    EXPECT_EQ(vm_frame->top, 1) << row.code;
  }
}

// What depends on the run stays checked when it runs: a conditional jump out of the block is
// reported only when taken, a case's target only when the case fails, the stack always.
TEST_F(decoding, ChecksThatDependOnTheRunAreMadeWhenTheInstructionRuns) {
  struct {
    const char* code;
    const char* report;  // null: none, and the callee runs to its end
  } rows[] = {
      {"push.i 0\n.word 0x82D\n.dword 100000", nullptr},
      {"push.i 1\n.word 0x82D\n.dword 100000", "コード[082D] : オブジェクトのコードの外を指しています"},
      {"push.i 3\nswitch next\nnext:\npush.i 3\n.word 0x831\n.dword 100000\npop", nullptr},
      {"push.i 3\nswitch next\nnext:\npush.i 4\n.word 0x831\n.dword 100000", "コード[0831] : オブジェクトのコードの外を指しています"},
      {"push.i 1\nadd.i", "コード[0118] : スタックの値が足りません"},
  };
  for (const auto& row : rows) {
    platform.boxes.clear();
    var_table_clear(&var_global);
    retry(1);
    eval("call f 0\npop\nret\n.func f\n" + std::string(row.code) + "\npush.i 7\nset.i.pop @late\nret");
    if (!row.report) {
      EXPECT_TRUE(reports().empty()) << row.code;
      EXPECT_EQ(int_of("@late"), 7) << row.code;
    } else {
      ASSERT_EQ(reports().size(), 1u) << row.code;
      EXPECT_THAT(reports()[0], HasSubstr(row.report)) << row.code;
      EXPECT_EQ(variable("@late"), nullptr) << row.code;
    }
  }
}

// A jump to the operand of a push.i runs its bytes: 0x191 (nop), then 0x82B (return). Entered at
// its start, the same push.i pushes.
TEST_F(decoding, AJumpIntoAnInstructionRunsTheBytesThere) {
  const int32_t nop_then_return = 0x082B0191;
  std::string body = "push.i " + std::to_string(nop_then_return) + "\npush.i 7\nset.i.pop @late\nret";
  eval("call into 0\nset.i.pop @r\nret\n.func into\n.word 0x82C\n.dword 2\n" + body);
  EXPECT_EQ(variable("@late"), nullptr);
  eval("call plain 0\nset.i.pop @r\nret\n.func plain\n" + body);
  EXPECT_EQ(int_of("@late"), 7);
  EXPECT_TRUE(reports().empty());
}

// Each sequence runs as decoded (a superinstruction where it fits) and with a nop after its
// first instruction (one by one): variables, the result on the stack and the reports agree. The
// rows take the superinstructions' guards both ways.
TEST_F(decoding, SuperinstructionsDoWhatTheirInstructionsDoOneByOne) {
  const char* rows[] = {
      "locals int int\npush.i 5\nset.i.pop _0\nload.i _0\npush.i 3\nadd.i\nset.i.pop _1\nload.i _1\n",
      "locals int int\npush.i 9\nset.i.pop _1\nload.i _1\nload.i _1\nmul.i\nset.i.pop _0\nload.i _0\n",
      "locals int\nload.i _0\npush.i 1\nlt.i\njf no\npush.i 10\nret\nno:\npush.i 20\n",
      "locals int\nload.i _0\npush.i 0\nge.i\njt yes\npush.i 10\nret\nyes:\npush.i 20\n",
      "push.i 4\nset.i.pop @g\nload.i @g\npush.i 6\nsub.i\nset.i.pop %t\nload.i %t\n",
      "load.i @missing\npush.i 1\nadd.i\nset.i.pop @m\nload.i @m\n",           // created by the load
      "locals float\nload.i _0\npush.i 1\nadd.i\nset.i.pop @x\nload.i @x\n",       // a float local: reported
      "locals str\nload.i _5\npush.i 1\nadd.i\n",                               // outside the frame
      "locals int str\nload.i _0\npush.i 1\nadd.i\nset.i.pop _1\nload.i _0\n",  // into a string: reported
      "locals int\npush.i 3\nset.i.pop _0\nload.i _0\nload.i _0\nsub.i\n",
      "push.i 2\nset.i.pop @a\nload.i @a\npush.i 1\nshl.i\nset.i.pop @a\njmp on\npush.i 99\nret\non:\nload.i @a\n",
  };
  for (const char* row : rows) {
    std::string sequence = row;
    std::string apart = sequence;
    // The nop goes after the sequence's first load.
    size_t at = apart.find("load.i");
    at = apart.find('\n', at) + 1;
    apart.insert(at, "nop\n");
    struct outcome {
      int32_t result;
      std::vector<std::string> reports;
      int32_t top;
    } runs[2];
    for (int k = 0; k < 2; ++k) {
      platform.boxes.clear();
      platform.queued_answers.clear();
      retry(4);
      const value_cell& c = eval((k == 0 ? sequence : apart) + "ret");
      runs[k] = {c.i, {}, vm_frame->top};
      for (const std::string& text : reports()) runs[k].reports.push_back(text.substr(text.find(" : ")));  // not the object's name
      var_table_clear(&var_global);
      var_table_clear(&vm_thread->vars);
    }
    EXPECT_EQ(runs[0].result, runs[1].result) << row;
    EXPECT_EQ(runs[0].reports, runs[1].reports) << row;
    EXPECT_EQ(runs[0].top, runs[1].top) << row;
  }
}

}  // namespace
