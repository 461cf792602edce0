// Binary and unary operators and casts: every row of the operator table on ints, floats, strings
// and arrays, with the division, comparison and wrapping rules that compiled scripts rely on.
#include <climits>
#include <cmath>

#include "interpreter_fixture.h"

namespace {

using operators = program_test;

std::string push_int(int32_t v) { return "push.i " + std::to_string(v) + "\n"; }
std::string push_float(float v) {
  uint32_t bits;
  memcpy(&bits, &v, 4);
  char text[32];
  snprintf(text, sizeof text, "push.f bits:0x%08X\n", bits);
  return text;
}

struct int_row {
  const char* op;
  int32_t l, r, want;
};

TEST_F(operators, IntRowsWrapAndKeepTheirOddDivisionAndComparisonRules) {
  const int_row rows[] = {
      {"mul.i", 0x7FFFFFFF, 2, -2},           {"mul.i", -3, 4, -12},
      {"div.i", -7, 2, -3},                   {"div.i", 7, 0, 70000},  // by zero: × 10000
      {"div.i", 300000, 0, -1294967296},      {"div.i", INT_MIN, -1, INT_MIN},
      {"mod.i", -7, 3, -1},                   {"mod.i", 7, 0, 0},
      {"mod.i", INT_MIN, -1, 0},              {"add.i", INT_MAX, 1, INT_MIN},
      {"sub.i", INT_MIN, 1, INT_MAX},         {"shr.i", -8, 1, -4},
      {"shr.i", -8, 33, -4},                  {"shl.i", 1, 33, 2},  // counts use their low 5 bits
      {"shl.i", 1, 31, INT_MIN},              {"le.i", 2, 2, 1},
      {"le.i", 3, 2, 0},                      {"lt.i", 1, 2, 1},
      {"ge.i", 2, 1, -1},                     {"ge.i", 1, 2, 0},  // int >= gives -1 for true
      {"gt.i", 2, 1, 1},                      {"eq.i", 5, 5, 1},
      {"ne.i", 5, 5, 0},                      {"xor.i", 6, 3, 5},
      {"land.i", 2, 3, 1},                    {"land.i", 2, 0, 0},
      {"lor.i", 0, -5, 1},                    {"lor.i", 0, 0, 0},
      {"band.i", 6, 3, 2},                    {"bor.i", 6, 3, 7},
  };
  for (const int_row& row : rows) {
    const value_cell& c = eval(push_int(row.l) + push_int(row.r) + row.op);
    EXPECT_EQ(c.type, TYPE_INT) << row.op;
    EXPECT_EQ(c.i, row.want) << row.op << " " << row.l << " " << row.r;
    EXPECT_EQ(vm_frame->top, 2) << row.op;  // two cells became one
  }
}

struct float_row {
  const char* op;
  float l, r;
  int type;
  float want;  // an int result is compared as a float
};

TEST_F(operators, FloatRowsDivideZeroByATinyNumberAndGiveMinusOneForLessAndNotLess) {
  const float_row rows[] = {
      {"mul.f", 1.5f, 2.0f, TYPE_FLOAT, 3.0f},    {"div.f", 7.0f, 0.0f, TYPE_FLOAT, 700000.0f},
      {"div.f", 1.0f, 4.0f, TYPE_FLOAT, 0.25f},   {"add.f", 0.5f, 0.25f, TYPE_FLOAT, 0.75f},
      {"sub.f", 0.5f, 2.0f, TYPE_FLOAT, -1.5f},   {"le.f", 1.0f, 1.0f, TYPE_INT, 1},
      {"lt.f", 1.0f, 2.0f, TYPE_INT, -1},         {"lt.f", 2.0f, 1.0f, TYPE_INT, 0},
      {"ge.f", 2.0f, 1.0f, TYPE_INT, -1},         {"gt.f", 2.0f, 1.0f, TYPE_INT, 1},
      {"eq.f", 0.1f, 0.1f, TYPE_INT, 1},          {"ne.f", 0.1f, 0.1f, TYPE_INT, 0},
  };
  for (const float_row& row : rows) {
    const value_cell& c = eval(push_float(row.l) + push_float(row.r) + row.op);
    ASSERT_EQ(c.type, row.type) << row.op;
    EXPECT_EQ(row.type == TYPE_INT ? static_cast<float>(c.i) : c.f, row.want) << row.op;
  }
  // An int operand is converted.
  const value_cell& c = eval(push_int(3) + push_float(0.5f) + "mul.f");
  EXPECT_EQ(c.type, TYPE_FLOAT);
  EXPECT_EQ(c.f, 1.5f);
}

TEST_F(operators, StringsCompareCaseBlindByCharacterAndConcatenateIntoANewBlock) {
  struct {
    const char *l, *op, *r;
    int32_t want;
  } rows[] = {
      {"abc", "eq.s", "ABC", 1},  {"abc", "ne.s", "ABC", 0}, {"abc", "lt.s", "abd", 1}, {"abd", "le.s", "abc", 0},
      {"b", "gt.s", "A", 1},      {"a", "ge.s", "A", 1},
      // Trail bytes that look like letters are not letters: ャ (83 61) and ア (83 41) differ.
      {"\\x83\\x61", "eq.s", "\\x83\\x41", 0},
  };
  for (const auto& row : rows) {
    const value_cell& c = eval("push.s \"" + std::string(row.l) + "\"\npush.s \"" + row.r + "\"\n" + row.op);
    EXPECT_EQ(c.type, TYPE_INT);
    EXPECT_EQ(c.i, row.want) << row.l << " " << row.op << " " << row.r;
  }
  const value_cell& s = eval("push.s \"ab\"\npush.s \"cd\"\nadd.s");
  ASSERT_EQ(s.type, TYPE_STRING);
  EXPECT_STREQ(s.s->text, "abcd");
  EXPECT_EQ(s.s->length, 5);
  EXPECT_EQ(s.s->refcount, 1);
  EXPECT_EQ(vm_frame->top, 2);
}

TEST_F(operators, ArraysAreEqualOnlyAsTheSameBlock) {
  global_array("@a", TYPE_INT_ARRAY, 1, 1, 3);
  global_array("@b", TYPE_INT_ARRAY, 1, 1, 3);
  EXPECT_EQ(eval("load.ia @a\nload.ia @a\neq.ia").i, 1);
  EXPECT_EQ(eval("load.ia @a\nload.ia @b\neq.ia").i, 0);
  EXPECT_EQ(eval("load.ia @a\nload.ia @b\nne.ia").i, 1);
  // The loads' references went with the operands.
  EXPECT_EQ(variable("@a")->a->refcount, 1);
}

TEST_F(operators, UnaryOperatorsAndCastsFollowTheMachine) {
  EXPECT_EQ(eval(push_int(0) + "not").i, 1);
  EXPECT_EQ(eval(push_int(5) + "not").i, 0);
  EXPECT_EQ(eval(push_int(5) + "bnot").i, -6);
  EXPECT_EQ(eval(push_int(INT_MIN) + "neg.i").i, INT_MIN);
  EXPECT_EQ(eval(push_float(1.5f) + "neg.f").f, -1.5f);
  EXPECT_EQ(eval(push_float(2.9f) + "ftoi").i, 2);
  EXPECT_EQ(eval(push_float(-2.9f) + "ftoi").i, -2);
  EXPECT_EQ(eval(push_float(3e9f) + "ftoi").i, INT_MIN);  // out of range
  EXPECT_EQ(eval("push.f bits:0x7FC00000\nftoi").i, INT_MIN);  // NaN
  const value_cell& f = eval(push_int(-7) + "itof");
  EXPECT_EQ(f.type, TYPE_FLOAT);
  EXPECT_EQ(f.f, -7.0f);
}

TEST_F(operators, AnIntOperatorNeverOverwritesABlockPointer) {
  // No compiler writes this; the string is released and counts as 0 instead of being corrupted.
  const value_cell& c = eval("push.s \"text\"\npush.i 1\nadd.i");
  EXPECT_EQ(c.type, TYPE_INT);
  EXPECT_EQ(c.i, 1);
  EXPECT_EQ(eval("push.i 2\npush.s \"text\"\nmul.f").type, TYPE_FLOAT);
}

}  // namespace
