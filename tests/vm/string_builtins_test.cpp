// The array and string built-ins: dimensions and their errors for every array type, deep copies,
// and the text built-ins on single- and double-byte text (trail bytes 0x40 and 0x5C, cuts that
// would fall inside a character).
#include <cmath>

#include "builtin_fixture.h"

namespace {

enum : uint32_t {
  H_INT_ARRAY_CREATE = 0x96B07AEE, H_FIXED_ARRAY_CREATE = 0xA6AC6CCC, H_STRING_ARRAY_CREATE = 0x1F57B724,
  H_STRING_ARRAY_DEFAULT = 0x134D5585, H_INT_ARRAY_COPY = 0x7FCF3C82, H_STRING_ARRAY_COPY = 0x5BBAE511,
  H_STR_MID = 0x8AEF9167, H_STR_LEFT = 0x06906970, H_STR_RIGHT = 0x25401A1F, H_STR_COMPARE = 0x5C823701,
  H_STR_COMPARE_NOCASE = 0x45815F6D, H_STR_LENGTH = 0xB0C8F550, H_INT_TO_STR = 0x6F769889,
  H_STR_TO_INT = 0x109CA5DB, H_STR_LOWER = 0xAD74D9AC, H_STR_UPPER = 0x266A3C79, H_STR_FIND_NOCASE = 0x69DB4512,
  H_FIELD_COUNT = 0x00D696CC, H_FIELD_GET = 0x3FE05B39, H_SIN_DEG = 0xEE2B6D92, H_COS_DEG = 0x12877048,
  H_TAN_DEG = 0xBDAA8E96,
};

// Katakana with the trail bytes that look like "@" and "\", hiragana, a half-width katakana.
const std::string A40 = "\x83\x40", SO = "\x83\x5C", A41 = "\x83\x41", HIRA = "\x82\xA0", HALF = "\xB1";

using strings = builtin_test;

TEST_F(strings, SubstringsLengthsAndCaseCountCharacters) {
  const std::string three = A40 + SO + HIRA;
  EXPECT_EQ(run_str(H_STR_MID, {three, 1, 1}), SO);
  EXPECT_EQ(run_str(H_STR_MID, {three, 1, 99}), SO + HIRA);
  EXPECT_EQ(run_str(H_STR_MID, {three, 3, 1}), "");
  EXPECT_EQ(run_str(H_STR_MID, {three, -1, 1}), "");  // compared unsigned: past the end
  EXPECT_EQ(run_str(H_STR_MID, {three, 0, -1}), three);
  EXPECT_EQ(run_str(H_STR_LEFT, {three, 2}), A40 + SO);
  EXPECT_EQ(run_str(H_STR_LEFT, {three, -1}), three);
  EXPECT_EQ(run_str(H_STR_RIGHT, {"abcde", 2}), "de");
  EXPECT_EQ(run_str(H_STR_RIGHT, {"abcde", 10}), "abcde");
  EXPECT_EQ(run_str(H_STR_RIGHT, {three + "x", 2}), HIRA + "x");
  EXPECT_EQ(run_int(H_STR_LENGTH, {three + "ab"}), 5);
  // Only single-byte letters change; the trail byte 0x41 ("A") of a katakana stays.
  EXPECT_EQ(run_str(H_STR_LOWER, {A41 + "B"}), A41 + "b");
  EXPECT_EQ(run_str(H_STR_UPPER, {"\x83\x61" "b"}), "\x83\x61" "B");
  EXPECT_EQ(run_str(H_INT_TO_STR, {-5}), "-5");
  EXPECT_EQ(run_int(H_STR_TO_INT, {"42abc"}), 42);
  EXPECT_EQ(run_int(H_STR_TO_INT, {"99999999999"}), INT32_MAX);  // saturates
}

TEST_F(strings, ComparisonsSearchTheSecondAgainstTheFirstByCharacterCodes) {
  EXPECT_GT(run_int(H_STR_COMPARE, {"a", "b"}), 0);
  EXPECT_LT(run_int(H_STR_COMPARE, {"b", "a"}), 0);
  EXPECT_EQ(run_int(H_STR_COMPARE, {"abc", "abc"}), 0);
  EXPECT_LT(run_int(H_STR_COMPARE, {"abc", "ab"}), 0);
  // A half-width katakana (one byte 0xB1) sorts before every double-byte character.
  EXPECT_LT(run_int(H_STR_COMPARE, {HIRA, HALF}), 0);
  EXPECT_EQ(run_int(H_STR_COMPARE_NOCASE, {"HeLLo", "hello"}), 0);
  EXPECT_NE(run_int(H_STR_COMPARE_NOCASE, {A41, "\x83\x61"}), 0);  // trail bytes never fold

  EXPECT_EQ(run_int(H_STR_FIND_NOCASE, {"ABCdef", "CD"}), 2);
  EXPECT_EQ(run_int(H_STR_FIND_NOCASE, {"ABCdef", "xy"}), -1);
  EXPECT_EQ(run_int(H_STR_FIND_NOCASE, {SO + A40 + "@", "@"}), 2);  // not the trail byte 0x40
  EXPECT_EQ(run_int(H_STR_FIND_NOCASE, {SO, "\\"}), -1);
  EXPECT_EQ(run_int(H_STR_FIND_NOCASE, {std::string(600, 'a') + "Z", "z"}), -1);  // beyond the 512 bytes
}

TEST_F(strings, FieldsAreCountedTrimmedAndUnquoted) {
  EXPECT_EQ(run_int(H_FIELD_COUNT, {""}), 1);
  EXPECT_EQ(run_int(H_FIELD_COUNT, {"a,b,,c"}), 4);
  EXPECT_EQ(run_int(H_FIELD_COUNT, {SO + "," + A40}), 2);
  struct row {
    std::string text;
    int32_t index;
    std::string expected;
  } rows[] = {
      {"a, \"b c\" ,d", 1, "b c"}, {"a, \"b c\" ,d", 2, "d"}, {"a, \"b c\" ,d", 3, ""},
      {" x ,y", 0, "x"},           {"\"a,b\"", 0, "\"a"},      {"\"", 0, "\""},
      {"\t\"\" ,", 0, ""},          {SO + " ," + A40, 1, A40},
      // The work buffer holds 511 bytes: a field cut there ends on a character boundary.
      {std::string(510, 'a') + "," + SO, 1, ""}, {std::string(508, 'a') + "," + SO, 1, SO},
      {std::string(510, 'a') + SO, 0, std::string(510, 'a')},
  };
  for (const row& r : rows) EXPECT_EQ(run_str(H_FIELD_GET, {r.text, r.index}), r.expected) << r.text.substr(0, 20);
}

TEST_F(strings, ArraysHaveTheirDimensionsAndRefuseBadOnesForEveryType) {
  const value_cell& one = run(H_INT_ARRAY_CREATE, {5});
  EXPECT_EQ(one.type, TYPE_INT_ARRAY);
  EXPECT_EQ(one.a->dims[0] * 100 + one.a->dims[1] * 10 + one.a->dims[2], 115);
  stack_pop();
  const value_cell& two = run(H_FIXED_ARRAY_CREATE, {2, 3});
  EXPECT_EQ(two.a->dims[0] * 100 + two.a->dims[1] * 10 + two.a->dims[2], 123);
  stack_pop();
  const value_cell& three = run(H_STRING_ARRAY_CREATE, {2, 3, 4});
  ASSERT_EQ(three.type, TYPE_STRING_ARRAY);
  EXPECT_EQ(three.a->dims[0] * 100 + three.a->dims[1] * 10 + three.a->dims[2], 234);
  for (size_t i = 0; i < 24; ++i) {
    string_block* e = array_strings(three.a)[i];
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->refcount * 10 + e->length, 11);  // each its own empty string
    if (i) {
      EXPECT_NE(e, array_strings(three.a)[i - 1]);
    }
  }
  stack_pop();

  size_t reports = 0;
  for (uint32_t hash : {H_INT_ARRAY_CREATE, H_FIXED_ARRAY_CREATE, H_STRING_ARRAY_CREATE}) {
    for (auto dims : {std::initializer_list<arg>{0}, {3, -1}, {65536, 65536, 2}}) {
      const value_cell& bad = run(hash, dims);
      EXPECT_TRUE(type_is_block(bad.type) && bad.type != TYPE_STRING);
      EXPECT_EQ(array_count(bad.a), 1u);  // the default array
      stack_pop();
      EXPECT_EQ(platform.boxes.size(), ++reports) << std::hex << hash;
    }
  }
  EXPECT_NE(box_text(0).find("配列数は1以上を指定してください。"), std::string::npos);
  EXPECT_NE(box_text(2).find("int_array_create : "), std::string::npos);
}

TEST_F(strings, CopiesShareNothingWithTheirSource) {
  array_block* src = array_block_new(TYPE_STRING_ARRAY, 1, 1, 2);
  array_strings(src)[0] = string_block_new("first");
  array_strings(src)[1] = nullptr;  // an element never filled
  src->refcount++;  // the call releases its argument; the test keeps the source
  value_cell c = array_cell(src);
  stack_push_value(&c);
  call(H_STRING_ARRAY_COPY, 1);
  array_block* copy = stack_top()->a;
  ASSERT_NE(copy, src);
  EXPECT_EQ(copy->dims[2], 2);
  EXPECT_NE(array_strings(copy)[0], array_strings(src)[0]);
  EXPECT_STREQ(array_strings(copy)[0]->text, "first");
  EXPECT_STREQ(array_strings(copy)[1]->text, "");
  EXPECT_EQ(array_strings(src)[0]->refcount, 1);
  stack_pop();
  array_release(src);

  array_block* ints = array_block_new(TYPE_INT_ARRAY, 1, 2, 2);
  for (int i = 0; i < 4; ++i) array_numbers(ints)[i].i = i * 7;
  c = array_cell(ints);
  stack_push_value(&c);
  call(H_INT_ARRAY_COPY, 1);
  array_block* int_copy = stack_top()->a;
  EXPECT_NE(int_copy, ints);
  EXPECT_EQ(array_numbers(int_copy)[3].i, 21);
  stack_pop();
  // A mistyped argument gives the default array instead of reading a block that is not there.
  const value_cell& wrong = run(H_STRING_ARRAY_COPY, {5});
  EXPECT_EQ(wrong.type, TYPE_STRING_ARRAY);
  stack_pop();
}

TEST_F(strings, TrigonometryTakesDegreesWithTheEnginesFactor) {
  for (double degrees : {0.0, 30.0, 45.0, 60.0, -120.0, 405.0}) {
    double radians = degrees * 3.14159265358979 / 180;
    EXPECT_NEAR(run_float(H_SIN_DEG, {degrees}), std::sin(radians), 1e-6) << degrees;
    EXPECT_NEAR(run_float(H_COS_DEG, {degrees}), std::cos(radians), 1e-6) << degrees;
    EXPECT_NEAR(run_float(H_TAN_DEG, {degrees}), std::tan(radians), 1e-5) << degrees;
  }
}

}  // namespace
