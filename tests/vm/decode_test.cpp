// The decoded form of code blocks: malformed code is found when its block is decoded and
// reported when the instruction would run; jumps into the middle of an instruction run the bytes
// there; superinstructions do what their instructions do one by one.
#include <cctype>
#include <functional>

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
      {"push.i 0\n.word 0x850\n.word 2\n.offset in\n.dword 100000\nin:", nullptr},
      {"push.i 1\n.word 0x850\n.word 2\n.offset in\n.dword 100000\nin:", "コード[0850] : オブジェクトのコードの外を指しています"},
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

// What a program leaves that a script could see: a variable or the top cell, described with
// its name and scope when named is set, and the reports without the object's name.
std::string shown(const value_cell* c, bool named = true) {
  if (!c) return "none";
  std::string s = std::to_string(c->type) + (named ? ":" + std::to_string(c->hash) + ":" + std::to_string(c->scope) : "") + "=";
  if (c->type == TYPE_INT) return s + std::to_string(c->i);
  if (c->type == TYPE_FLOAT) return s + std::to_string(c->f);
  if (c->type == TYPE_STRING) return s + c->s->text + "/" + std::to_string(c->s->refcount);
  for (size_t i = 0; i < array_count(c->a); ++i) {
    if (c->type != TYPE_STRING_ARRAY)
      s += c->type == TYPE_INT_ARRAY ? std::to_string(array_numbers(c->a)[i].i) : std::to_string(array_numbers(c->a)[i].f);
    else
      s += array_strings(c->a)[i] ? array_strings(c->a)[i]->text : "-";
    s += ",";
  }
  return s;
}

// The program with its labels (chain, c0-c9, end, after) given the number k, word by word.
std::string labels_numbered(const std::string& program, size_t k) {
  auto word_char = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  std::string out;
  for (size_t i = 0; i < program.size();) {
    size_t j = i;
    while (j < program.size() && word_char(program[j])) ++j;
    if (j == i) {
      out += program[i++];
      continue;
    }
    std::string word = program.substr(i, j - i);
    bool label = word == "chain" || word == "end" || word == "after" ||
                 (word.size() == 2 && word[0] == 'c' && std::isdigit(static_cast<unsigned char>(word[1])));
    out += label ? word + "_" + std::to_string(k) : word;
    i = j;
  }
  return out;
}

// Programs run one after the other, each a function of one object; what each leaves.
class decoded_against_stored : public program_test {
 protected:
  struct trial {
    std::string program, x;  // x: the variable (or local _0) to look at
    std::function<void()> prepare = [] {};
    bool named = true;
  };
  std::vector<std::string> run(const std::vector<trial>& trials) {
    std::string source;
    for (size_t k = 0; k < trials.size(); ++k) {
      // Labels are the object's: each program's get a number of their own.
      std::string own = labels_numbered(trials[k].program, k);
      source += ".func f" + std::to_string(k) + "\n" + own + "\nret\n";
    }
    script_object* o = load(source);
    std::vector<std::string> outcomes;
    for (size_t k = 0; k < trials.size(); ++k) {
      platform.boxes.clear();
      platform.queued_answers.clear();
      retry(3);
      trials[k].prepare();
      thread_reset(vm_thread);
      vm_frame->code = object_function(o, crc32_string(("f" + std::to_string(k)).c_str()));
      turn();
      const std::string& x = trials[k].x;
      int32_t height = vm_frame->top - (x[0] == '_');  // above the local
      std::string text = shown(x[0] == '_' ? &vm_thread->stack[1] : variable(x), trials[k].named) + " " +
                         (height > 1 ? shown(stack_top(), trials[k].named) : "-") + " " + std::to_string(height);
      for (const std::string& report : reports()) text += report.substr(report.find(" : "));
      outcomes.push_back(text);
      var_table_clear(&var_global);
      var_table_clear(&var_eternal);
      var_table_clear(&vm_thread->vars);
    }
    return outcomes;
  }
  // Runs pairs of trials and expects each pair to end alike.
  void expect_pairs_alike(const std::vector<trial>& trials) {
    std::vector<std::string> outcomes = run(trials);
    for (size_t k = 0; k + 1 < outcomes.size(); k += 2)
      EXPECT_EQ(outcomes[k], outcomes[k + 1]) << trials[k].program << "\n--\n" << trials[k + 1].program;
  }
};

// Each sequence runs as decoded (a superinstruction where it fits) and with a nop after its
// first load (one by one): variables, the stack and the reports agree. The rows take the
// superinstructions' guards both ways.
TEST_F(decoded_against_stored, SuperinstructionsDoWhatTheirInstructionsDoOneByOne) {
  const char* rows[] = {
      "locals int int\npush.i 5\nset.i.pop _0\nload.i _0\npush.i 3\nadd.i\nset.i.pop _1\nload.i _1",
      "locals int int\npush.i 9\nset.i.pop _1\nload.i _1\nload.i _1\nmul.i\nset.i.pop _0\nload.i _0",
      "locals int\nload.i _0\npush.i 1\nlt.i\njf c1\npush.i 10\nret\nc1:\npush.i 20",
      "locals int\nload.i _0\npush.i 0\nge.i\njt c1\npush.i 10\nret\nc1:\npush.i 20",
      "push.i 4\nset.i.pop @g\nload.i @g\npush.i 6\nsub.i\nset.i.pop %t\nload.i %t",
      "load.i @missing\npush.i 1\nadd.i\nset.i.pop @m\nload.i @m",           // created by the load
      "locals float\nload.i _0\npush.i 1\nadd.i\nset.i.pop @x\nload.i @x",       // a float local: reported
      "locals str\nload.i _5\npush.i 1\nadd.i",                               // outside the frame
      "locals int str\nload.i _0\npush.i 1\nadd.i\nset.i.pop _1\nload.i _0",  // into a string: reported
      "locals int\npush.i 3\nset.i.pop _0\nload.i _0\nload.i _0\nsub.i",
      "push.i 2\nset.i.pop @a\nload.i @a\npush.i 1\nshl.i\nset.i.pop @a\njmp after\npush.i 99\nret\nafter:\nload.i @a",
  };
  std::vector<trial> trials;
  for (std::string row : rows) {
    trials.push_back({row, "@none"});
    row.insert(row.find('\n', row.find("load.i")) + 1, "nop\n");
    trials.push_back({row, "@none"});
  }
  expect_pairs_alike(trials);
}

// Every scalar assignment of every type and form, on variables of every type, with operands of
// every type: decoded on a variable found through its hint (or a local), it leaves what the
// stored form leaves when a wrong hint sends it the long way.
TEST_F(decoded_against_stored, ScalarAssignmentsOfEveryOperatorTypeAndScope) {
  const char* ops[] = {"set.i", "set*.i", "set/.i", "set%.i", "set+.i", "set-.i", "set<<.i", "set>>.i", "set&.i",
                       "set^.i", "set|.i", "set.f", "set*.f", "set/.f", "set+.f", "set-.f", "set.s", "set+.s"};
  const char* inits[][2] = {{"int", "push.i 7\nset.i.pop "}, {"float", "push.f 7\nset.f.pop "}, {"str", "push.s \"ab\"\nset.s.pop "}};
  std::vector<trial> trials;
  for (const char* op : ops)
    for (const char* form : {"", ".pop"})
      for (const auto& init : inits)
        for (const char* operand : {"push.i 3", "push.i 0", "push.f 2.5", "push.s \"cd\""}) {
          auto program = [&](const std::string& x, const char* hint) {
            return init[1] + x + "\n" + operand + "\n" + op + form + " " + x + hint;
          };
          for (const char* x : {"@x", "%x", "#x"})
            trials.push_back({program(x, " hint=9"), x}), trials.push_back({program(x, ""), x});
          // A local of the variable's type ends as the global did, but for its name and scope.
          trials.push_back({program("@x", " hint=9"), "@x", [] {}, false});
          trials.push_back({"locals " + std::string(init[0]) + "\n" + program("_0", ""), "_0", [] {}, false});
        }
  expect_pairs_alike(trials);
}

// Element loads and assignments of every operator, type and index count, on arrays through the
// slot hint, leave what the stored form leaves.
TEST_F(decoded_against_stored, ElementInstructionsOfEveryOperatorTypeAndIndexCount) {
  auto array_at = [this](const std::string& x, int type) {
    return [this, x, type] {
      array_block* a = global_array("@unused", type, 2, 3, 4);  // filled as the fixture fills arrays
      a->refcount++;
      var_table_clear(&var_global);
      value_cell c = array_cell(a, crc32_string((x + "@GLOBAL").c_str()));
      c.scope = x[0] == '@' ? SCOPE_GLOBAL : SCOPE_THREAD;
      var_assign(&c, nullptr);
    };
  };
  const char* indices[] = {"push.i 5", "push.i -1\npush.i 5", "push.i 1\npush.i -1\npush.i 5"};
  std::vector<std::string> ops;
  for (const char* op : {"aset", "aset*", "aset/", "aset%", "aset+", "aset-", "aset<<", "aset>>", "aset&", "aset^", "aset|"})
    ops.push_back(std::string(op) + ".i X N"), ops.push_back(std::string(op) + ".i.pop X N");
  for (const char* op : {"aset.f", "aset*.f", "aset/.f", "aset+.f", "aset-.f", "aset.s", "aset+.s"})
    ops.push_back(std::string(op) + " X N"), ops.push_back(std::string(op) + ".pop X N");
  for (const char* load : {"aload.i", "aload.f", "aload.s"})
    for (const char* mode : {"", " x++", " --x neg"}) ops.push_back(std::string(load) + " X N" + mode);
  std::vector<trial> trials;
  for (const std::string& op : ops)
    for (int count = 1; count <= 3; ++count)
      for (const char* operand : {"push.i 3", "push.i 0", "push.f 2.5", "push.s \"cd\""})
        for (const char* x : {"@x", "%x"}) {
          std::string instruction = op;
          instruction.replace(instruction.find(" X N"), 4, std::string(" ") + x + " " + std::to_string(count));
          char type = op[op.find('.') + 1];
          int array_type = type == 'i' ? TYPE_INT_ARRAY : type == 'f' ? TYPE_FLOAT_ARRAY : TYPE_STRING_ARRAY;
          std::string program = std::string(operand) + "\n" + indices[count - 1] + "\n" + instruction;
          trials.push_back({program + " hint=9", x, array_at(x, array_type)});
          trials.push_back({program, x, array_at(x, array_type)});
        }
  expect_pairs_alike(trials);
}

// A jump into a push.s whose text holds the head of a sequence: that run meets the decoded rest of
// the sequence through a link, which a fused record must not step past.
TEST_F(decoded_against_stored, ASequenceIsNotFusedAcrossTheEndOfItsRun) {
  std::vector<trial> trials;
  for (const char* rest : {"add.i", "lt.i\njf c1\npush.i 10\nret\nc1:\npush.i 20", "sub.i\nset.i.pop @r\nload.i @r"})
    for (const char* second : {"push.i 3", "load.i _0"}) {
      std::string head = "locals int\npush.i 5\nset.i.pop _0\n", tail = std::string("load.i _0\n") + second + "\n" + rest;
      std::string bytes = second[0] == 'p' ? "16" : "20";  // of the two instructions
      trials.push_back({head + "jmp after\n.word 0x801\n.word " + bytes + "\nafter:\n" + tail, "@none"});
      trials.push_back({head + tail, "@none"});
    }
  expect_pairs_alike(trials);
}

// x op= k and x op= v fused, after a line mark and before a jump, and apart (a nop between).
TEST_F(decoded_against_stored, CompoundAssignmentPairsDoWhatTheirInstructionsDoOneByOne) {
  std::vector<trial> trials;
  for (const char* op : {"set*.i.pop", "set/.i.pop", "set%.i.pop", "set+.i.pop", "set>>.i.pop", "set|.i.pop"})
    for (const char* operand : {"push.i 3", "push.i 0", "load.i %k hint=1", "load.i _1"})
      for (const char* x : {"_0", "@x", "%x", "%missing"})
        for (const char* around : {"", "line 2\n", "jmp after\npush.i 99\nret\nafter:\n"})
          for (const char* apart : {"", "nop\n"}) {
            std::string head = "locals int int\npush.i 7\nset.i.pop _0\npush.i 2\nset.i.pop _1\npush.i 7\n"
                               "set.i.pop %x\npush.i 0\nset.i.pop %k hint=1\npush.i 7\nset.i.pop @x\n";
            bool line = around[0] == 'l';
            std::string pair = std::string(operand) + "\n" + apart + op + " " + x + "\n";
            std::string program = head + (line ? around + pair : pair + around) + "load.i " + x;
            trials.push_back({program, x[0] == '_' ? "@x" : x});
          }
  expect_pairs_alike(trials);
}

// A string operator on a text in the code reads it there, as if it had been pushed (a nop between
// pushes it).
TEST_F(decoded_against_stored, StringOperatorsOnATextInTheCodeActAsOnAPushedText) {
  std::vector<trial> trials;
  for (const char* op : {"add.s", "eq.s", "ne.s", "lt.s", "le.s", "gt.s", "ge.s"})
    for (const char* text : {"\"AB\"", "\"ab\\0x\"", "\"\"", "\"abc\""})
      for (const char* left : {"push.s \"ab\"\n", "push.i 5\n", ""})
        for (const char* apart : {"", "nop\n"})
          trials.push_back({std::string(left) + "push.s " + text + "\n" + apart + op, "@none"});
  expect_pairs_alike(trials);
}

// Switches run as decoded (an int value searching its chain of cases) and with a nop at the
// chain's start (each case one by one): the same case is taken, with the same stack and reports.
TEST_F(decoded_against_stored, SwitchesFindTheCaseTheirChainWouldTake) {
  const char* chains[] = {
      "push.i 0\ncase.eq c1\npop\npush.i 10\njmp end\nc1:\npop\npush.i 1\ncase.eq c2\npop\npush.i 11\njmp end\n"
      "c2:\npop\npush.i 5\ncase.eq c3\npop\npush.i 15\njmp end\nc3:\npop\npush.i 99\nend:\n",
      // equal keys: the first holds; a case that is not a pop at its target ends the chain
      "push.i 2\ncase.eq c1\npop\npush.i 20\njmp end\nc1:\npop\npush.i 2\ncase.eq c2\npop\npush.i 21\njmp end\n"
      "c2:\npush.i 7\nadd.i\nend:\n",
      // a case of another kind or key type, and a default that keeps the last key
      "push.i 3\ncase.eq c1\npop\npush.i 30\njmp end\nc1:\npop\npush.i 4\ncase.gt c2\npop\npush.i 31\njmp end\n"
      "c2:\npop\npush.s \"1\"\ncase.eq c3\npop\npush.i 32\njmp end\nc3:\nend:\n",
      "push.i -1\ncase.eq c1\npop\npush.i 40\njmp end\nc1:\nend:\n",
  };
  std::vector<trial> trials;
  for (const char* chain : chains)
    for (const char* value : {"push.i 0", "push.i 1", "push.i 2", "push.i 3", "push.i 5", "push.i -1", "push.i 99",
                              "push.f 1", "push.s \"1\"", "push.f 2.5"}) {
      std::string switched = std::string(value) + "\nswitch chain\nchain:\n";
      for (const std::string& program : {switched + chain, switched + "nop\n" + chain})
        trials.push_back({program + "set.i.pop @r\nload.i @r", "@r"});
    }
  expect_pairs_alike(trials);
}

}  // namespace
