// Assignments to variables and array elements, kept and popped; variable and element loads with
// their access modes; array indexing; the reports of wrong types and arrays never sized.
#include <climits>
#include <cstring>

#include "interpreter_fixture.h"
#include "text/message.h"

namespace {

using assignments = program_test;

struct scalar_row {
  const char* op;
  int32_t r, var, value;  // the variable starts at 7
};

TEST_F(assignments, ScalarIntRowsLeaveTheNewValueAndPoppedFormsLeaveNothing) {
  const scalar_row rows[] = {
      {"set*", 3, 21, 21},   {"set/", 2, 3, 3},   {"set/", 0, 70000, 70000}, {"set%", 4, 3, 3},
      {"set%", 0, 7, 0},  // remainder by 0: the variable keeps its value, the result is 0
      {"set+", 1, 8, 8},     {"set-", 10, -3, -3}, {"set<<", 33, 14, 14},      {"set>>", 1, 3, 3},
      {"set&", 3, 3, 3},     {"set^", 1, 6, 6},   {"set|", 8, 15, 15},
  };
  for (const scalar_row& row : rows) {
    for (const char* form : {".i", ".i.pop"}) {
      std::string op = std::string(row.op) + form;
      eval("push.i 7\nset.i.pop @v\npush.i " + std::to_string(row.r) + "\n" + op + " @v\npush.i 99");
      EXPECT_EQ(int_of("@v"), row.var) << op;
      bool popped = std::string(form) == ".i.pop";
      ASSERT_EQ(vm_frame->top, popped ? 2 : 3) << op;
      if (!popped) {
        EXPECT_EQ(vm_thread->stack[1].i, row.value) << op;
      }
    }
  }
}

TEST_F(assignments, ScalarFloatRowsStoreFloatsIntoVariableAndResult) {
  struct {
    const char* op;
    const char* r;
    float want;
  } rows[] = {{"set*.f", "push.i 2", 14.0f}, {"set/.f", "push.f 0", 700000.0f}, {"set+.f", "push.f 0.5", 7.5f},
              {"set-.f", "push.f 1", 6.0f}};
  for (const auto& row : rows) {
    const value_cell& c = eval("push.f 7\nset.f.pop @f\n" + std::string(row.r) + "\n" + row.op + " @f");
    EXPECT_EQ(variable("@f")->f, row.want) << row.op;
    EXPECT_EQ(c.type, TYPE_FLOAT) << row.op;  // an int operand becomes a float result
    EXPECT_EQ(c.f, row.want) << row.op;
  }
}

TEST_F(assignments, PlainAssignmentsConvertNumbersAndShareBlocks) {
  const value_cell& i = eval("push.f 2.7\nset.i @v");
  EXPECT_EQ(i.type, TYPE_INT);
  EXPECT_EQ(i.i, 2);
  EXPECT_EQ(variable("@v")->type, TYPE_INT);
  EXPECT_EQ(eval("push.i 3\nset.f @g").f, 3.0f);
  EXPECT_EQ(variable("@g")->type, TYPE_FLOAT);

  // Into locals: an int over a number is stored in place, over a string the string goes.
  EXPECT_EQ(eval("locals int str\npush.i 4\nset.i _0\nload.i _0\nadd.i\npush.i 5\nset.i.pop _1\nload.i _1\nadd.i").i, 13);
  const value_cell& s = eval("push.s \"abc\"\nset.s @s");
  EXPECT_EQ(s.s, variable("@s")->s);
  EXPECT_EQ(s.s->refcount, 2);  // the stack and the variable
  eval("push.s \"xyz\"\nset.s.pop @s");
  EXPECT_EQ(variable("@s")->s->refcount, 1);
  EXPECT_STREQ(variable("@s")->s->text, "xyz");
}

TEST_F(assignments, StringAppendMakesANewBlockCountedOncePerHolder) {
  const value_cell& kept = eval("push.s \"ab\"\nset.s.pop @s\npush.s \"cd\"\nset+.s @s");
  EXPECT_STREQ(variable("@s")->s->text, "abcd");
  EXPECT_EQ(kept.s, variable("@s")->s);
  EXPECT_EQ(kept.s->refcount, 2);
  eval("push.s \"ef\"\nset+.s.pop @s");
  EXPECT_STREQ(variable("@s")->s->text, "abcdef");
  EXPECT_EQ(variable("@s")->s->refcount, 1);
  EXPECT_EQ(vm_frame->top, 1);
  // A local slot may name the operand's own cell: the text it gets is the one result.
  const value_cell& own = eval("locals str\npush.s \"ab\"\nset+.s _1");
  EXPECT_STREQ(own.s->text, "abab");
  EXPECT_EQ(own.s->refcount, 1);
  eval("locals str\npush.s \"ab\"\nset+.s.pop _1");
  EXPECT_EQ(vm_frame->top, 2);
}

// Every road that joins texts, and the message text waiting to be shown, stop at the bound: past
// it the join is reported and the left text stands; a join that reaches it is made.
TEST_F(assignments, TextsPastTheBoundAreRefusedAndTheLeftTextStands) {
  const struct {
    const char* program;
    size_t start, want;  // @s holds start bytes
  } rows[] = {{"load.s @s\npush.s \"y\"\nadd.s", STRING_MAX_BYTES - 1, STRING_MAX_BYTES},  // fused with the text
              {"load.s @s\npush.s \"y\"\nadd.s", STRING_MAX_BYTES, STRING_MAX_BYTES},
              {"load.s @s\nload.s @s\nadd.s", STRING_MAX_BYTES / 2 + 1, STRING_MAX_BYTES / 2 + 1},
              {"push.s \"y\"\nset+.s.pop @s\nload.s @s", STRING_MAX_BYTES, STRING_MAX_BYTES},
              {"load.s @s\npush.i 0\naset.s.pop @a 1\npush.s \"y\"\npush.i 0\naset+.s.pop @a 1\npush.i 0\naload.s @a 1",
               STRING_MAX_BYTES, STRING_MAX_BYTES}};
  global_array("@a", TYPE_STRING_ARRAY, 1, 1, 1);
  for (const auto& row : rows) {
    retry(1);
    define("@s", string_cell(string_block_new(std::string(row.start, 'x').c_str())));
    EXPECT_EQ(static_cast<size_t>(eval(row.program).s->length - 1), row.want) << row.program;
    std::string said = reports().empty() ? "" : reports()[0];
    EXPECT_EQ(said.find("String : 文字列が長すぎます") != std::string::npos, row.want == row.start) << row.program;
    platform.boxes.clear();
  }
  msg_pending_append(std::string(STRING_MAX_BYTES, 'x'));
  msg_pending_append("y");
  EXPECT_THAT(reports().back(), HasSubstr("message : 表示する文字列が長すぎます"));
  console_state_reset();
  std::string host(STRING_MAX_BYTES + 2, 'h');  // the clipboard's: cut at the bound
  string_block* cut = string_block_new(host.data(), host.size());
  EXPECT_EQ(static_cast<size_t>(cut->length - 1), STRING_MAX_BYTES);
  string_release(cut);
}

TEST_F(assignments, ArithmeticOnAStringOrArrayIsReportedAndLeavesItIntact) {
  retry(2);
  const value_cell& r = eval("push.s \"ab\"\nset.s.pop @s\npush.i 1\nset+.i @s");
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(variable("@s")->type, TYPE_STRING);
  EXPECT_STREQ(variable("@s")->s->text, "ab");
  EXPECT_EQ(r.i, 1);  // the operand stays as the value
  global_array("@a", TYPE_INT_ARRAY, 1, 1, 2);
  eval("push.i 4\nset*.i.pop @a");
  EXPECT_EQ(reports().size(), 2u);
  EXPECT_EQ(variable("@a")->a->refcount, 1);
}

TEST_F(assignments, LoadsApplyAccessModesAndUnaryOperators) {
  struct {
    const char* options;
    int32_t pushed, after;
  } rows[] = {{"x++", 5, 6}, {"++x", 6, 6}, {"x--", 5, 4}, {"--x", 4, 4}, {"x++ neg", -5, 6}, {"not", 0, 5}, {"bnot", -6, 5}};
  for (const auto& row : rows) {
    const value_cell& c = eval("push.i 5\nset.i.pop @x\nload.i @x " + std::string(row.options));
    EXPECT_EQ(c.i, row.pushed) << row.options;
    EXPECT_EQ(int_of("@x"), row.after) << row.options;
    EXPECT_EQ(c.hash, variable("@x")->hash);
  }
  EXPECT_EQ(eval("push.i 2147483647\nset.i.pop @x\nload.i @x ++x").i, INT_MIN);
  EXPECT_EQ(eval("push.f 1.5\nset.f.pop @f\nload.f @f x-- neg").f, -1.5f);
  EXPECT_EQ(variable("@f")->f, 0.5f);
  // Locals too: a local declared by "locals" and incremented in place.
  EXPECT_EQ(eval("locals int\nload.i _0 ++x\npop\nload.i _0 x++\npop\nload.i _0").i, 2);
}

TEST_F(assignments, ALoadOfTheWrongTypePushesTheRequestedDefaultAfterTheReport) {
  retry(1);
  const value_cell& c = eval("push.i 5\nset.i.pop @x\nload.s @x");
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_THAT(reports()[0], HasSubstr("発見した変数のタイプが違うエラー"));
  ASSERT_EQ(c.type, TYPE_STRING);  // never the int read as a block
  EXPECT_STREQ(c.s->text, "");
  EXPECT_EQ(int_of("@x"), 5);
  // A float request accepts an int variable and reads its bits.
  EXPECT_EQ(eval("push.i 1065353216\nset.i.pop @y\nload.f @y").f, 1.0f);
}

TEST_F(assignments, AMissingVariableIsCreatedAndItsSlotHintPatched) {
  script_object* o = load(".entry\nload.i @fresh\nret\n");
  object_entry_set(o->name);
  var_table_init(&var_global, 16);
  for (int i = 0; i < 3; ++i) {
    value_cell c = int_cell(i, 100 + static_cast<uint32_t>(i));
    c.scope = SCOPE_GLOBAL;
    var_assign(&c, nullptr);
  }
  turn();
  EXPECT_EQ(int_of("@fresh"), 0);
  EXPECT_EQ(code_u16(o->code + 2 + VAR_HINT_OFFSET), 3);  // the index it was appended at
}

TEST_F(assignments, ElementIndicesWrapIntoEachDimension) {
  global_array("@a", TYPE_INT_ARRAY, 1, 1, 10);
  global_array("@m", TYPE_INT_ARRAY, 1, 3, 4);
  global_array("@c", TYPE_INT_ARRAY, 2, 3, 4);
  struct {
    const char* indices;
    const char* array;
    int count;
    int32_t want;
  } rows[] = {{"push.i -1", "@a", 1, 9},
              {"push.i 10", "@a", 1, 0},
              {"push.i 1\npush.i 2", "@m", 2, 6},
              {"push.i -1\npush.i -1", "@m", 2, 11},
              {"push.i 1\npush.i 2\npush.i 3", "@c", 3, 23},
              {"push.i 3\npush.i 3\npush.i 4", "@c", 3, 12}};
  for (const auto& row : rows) {
    const value_cell& c = eval(std::string(row.indices) + "\naload.i " + row.array + " " + std::to_string(row.count));
    EXPECT_EQ(c.i, row.want) << row.indices;
    EXPECT_EQ(vm_frame->top, 2);  // the indices are gone
  }
  array_block* a = variable("@a")->a;
  EXPECT_EQ(eval("push.i 4\naload.i @a 1 x++").i, 4);
  EXPECT_EQ(array_numbers(a)[4].i, 5);
  global_array("@s", TYPE_STRING_ARRAY, 1, 1, 3);
  const value_cell& s = eval("push.i 2\naload.s @s 1");
  EXPECT_STREQ(s.s->text, "2");
  EXPECT_EQ(s.s->refcount, 2);
}

TEST_F(assignments, ArraysMissingUnsizedOrOfAnotherTypeAreReportedWithoutTouchingMemory) {
  retry(3);
  EXPECT_EQ(eval("push.i 3\naload.i @none 1").i, 0);
  EXPECT_THAT(reports().back(), HasSubstr("Array : イニシャライズされていない配列を参照しました"));
  EXPECT_EQ(variable("@none")->a->dims[2], 1);  // created 1 x 1 x 1

  value_cell empty = array_cell(array_block_new(TYPE_INT_ARRAY, 0, 0, 0), crc32_string("@empty@GLOBAL"));
  empty.scope = SCOPE_GLOBAL;
  var_assign(&empty, nullptr);
  EXPECT_EQ(eval("push.i 3\naload.i @empty 1").i, 0);
  EXPECT_THAT(reports().back(), HasSubstr("配列が初期化されていません。"));

  EXPECT_EQ(eval("push.i 1\nset.i.pop @n\npush.i 0\npush.i 0\naset.i.pop @n 1").type, TYPE_INT);
  EXPECT_THAT(reports().back(), HasSubstr("発見した変数のタイプが違うエラー"));
  EXPECT_EQ(int_of("@n"), 1);
  EXPECT_EQ(vm_frame->top, 1);
}

struct element_row {
  const char* op;
  int32_t r, element, value;  // the element starts at 3 (index 3 of 0..9)
};

TEST_F(assignments, ElementIntRowsLeaveTheOperandExceptMultiply) {
  const element_row rows[] = {
      {"aset*.i", 5, 15, 15},  // only int ×= writes its result into the operand
      {"aset/.i", 0, 30000, 0}, {"aset%.i", 0, 0, 0},   {"aset%.i", 2, 1, 2}, {"aset+.i", 2, 5, 2},
      {"aset-.i", 4, -1, 4},    {"aset<<.i", 2, 12, 2}, {"aset>>.i", 1, 1, 1}, {"aset&.i", 1, 1, 1},
      {"aset^.i", 1, 2, 1},     {"aset|.i", 4, 7, 4},   {"aset.i", 42, 42, 42},
  };
  for (const element_row& row : rows) {
    array_block* a = global_array("@a", TYPE_INT_ARRAY, 1, 1, 10);
    const value_cell& c = eval("push.i " + std::to_string(row.r) + "\npush.i 3\n" + row.op + " @a 1");
    EXPECT_EQ(array_numbers(a)[3].i, row.element) << row.op;
    EXPECT_EQ(c.i, row.value) << row.op;
    eval("push.i 1\npush.i 3\n" + std::string(row.op) + ".pop @a 1");
    EXPECT_EQ(vm_frame->top, 1) << row.op;
  }
  array_block* f = global_array("@f", TYPE_FLOAT_ARRAY, 1, 1, 4);
  eval("push.f 0\npush.i 3\naset/.f @f 1");
  EXPECT_EQ(array_numbers(f)[3].f, 30000.0f);  // × 10000, where the scalar form divides by 0.00001
  eval("push.f 0.5\npush.i 3\naset+.f.pop @f 1");
  EXPECT_EQ(array_numbers(f)[3].f, 30000.5f);
}

TEST_F(assignments, ANumberElementTakesNoBlockAndLeavesItsPointer) {
  retry(2);
  array_block* a = global_array("@a", TYPE_INT_ARRAY, 1, 1, 4);
  const value_cell& c = eval("push.s \"cd\"\npush.i 1\naset*.i @a 1");
  EXPECT_STREQ(c.s->text, "cd");
  eval("push.s \"cd\"\npush.i 2\naset.i.pop @a 1");
  EXPECT_EQ(reports().size(), 2u);
  EXPECT_EQ(array_numbers(a)[1].i, 1);
  EXPECT_EQ(array_numbers(a)[2].i, 2);
}

TEST_F(assignments, StringElementsHoldTheirReferences) {
  array_block* a = global_array("@s", TYPE_STRING_ARRAY, 1, 1, 3);
  const value_cell& c = eval("push.s \"new\"\npush.i 1\naset.s @s 1");
  EXPECT_EQ(array_strings(a)[1], c.s);
  EXPECT_EQ(c.s->refcount, 2);
  const value_cell& d = eval("push.s \"+\"\npush.i 0\naset+.s @s 1");
  EXPECT_STREQ(array_strings(a)[0]->text, "0+");
  EXPECT_EQ(d.s, array_strings(a)[0]);
  EXPECT_EQ(d.s->refcount, 2);
  eval("push.s \"!\"\npush.i 0\naset+.s.pop @s 1");
  EXPECT_STREQ(array_strings(a)[0]->text, "0+!");
  EXPECT_EQ(array_strings(a)[0]->refcount, 1);
  // An element never filled reads as empty text.
  array_block* holes = array_block_new(TYPE_STRING_ARRAY, 1, 1, 2);
  value_cell h = array_cell(holes, crc32_string("@h@GLOBAL"));
  h.scope = SCOPE_GLOBAL;
  var_assign(&h, nullptr);
  EXPECT_STREQ(eval("push.i 1\naload.s @h 1").s->text, "");
  eval("push.s \"x\"\npush.i 1\naset+.s.pop @h 1");
  EXPECT_STREQ(array_strings(holes)[1]->text, "x");
}

}  // namespace
