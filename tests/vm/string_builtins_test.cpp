// The array and string built-ins: dimensions and their errors for every array type, deep copies,
// and the text built-ins on single- and double-byte text (trail bytes 0x40 and 0x5C, cuts that
// would fall inside a character).
#include <cmath>
#include <set>

#include "builtin_fixture.h"

namespace {

enum : uint32_t {
  H_INT_ARRAY_CREATE = 0x96B07AEE, H_FIXED_ARRAY_CREATE = 0xA6AC6CCC, H_STRING_ARRAY_CREATE = 0x1F57B724,
  H_STRING_ARRAY_COPY = 0x5BBAE511,
  H_STR_MID = 0x8AEF9167, H_STR_LEFT = 0x06906970, H_STR_RIGHT = 0x25401A1F, H_STR_COMPARE = 0x5C823701,
  H_STR_COMPARE_NOCASE = 0x45815F6D, H_STR_LENGTH = 0xB0C8F550, H_INT_TO_STR = 0x6F769889,
  H_STR_TO_INT = 0x109CA5DB, H_STR_LOWER = 0xAD74D9AC, H_STR_UPPER = 0x266A3C79, H_STR_FIND_NOCASE = 0x69DB4512,
  H_FIELD_COUNT = 0x00D696CC, H_FIELD_GET = 0x3FE05B39, H_SIN_DEG = 0xEE2B6D92, H_COS_DEG = 0x12877048,
  H_TAN_DEG = 0xBDAA8E96,
};

// Katakana with the trail bytes that look like "@" and "\", hiragana, a half-width katakana.
const std::string A40 = "\x83\x40", SO = "\x83\x5C", A41 = "\x83\x41", HIRA = "\x82\xA0", HALF = "\xB1";

using strings = builtin_test;

TEST_F(strings, TextBuiltinsCountCharactersAndNeverSplitOne) {
  const std::string three = A40 + SO + HIRA, A61 = "\x83\x61";
  struct row {
    uint32_t hash;
    std::vector<arg> args;
    arg expected;  // comparisons: the sign
  } rows[] = {
      {H_STR_MID, {three, 1, 1}, SO}, {H_STR_MID, {three, 1, 99}, SO + HIRA}, {H_STR_MID, {three, 3, 1}, ""},
      {H_STR_MID, {three, -1, 1}, ""},  // start and count compare unsigned
      {H_STR_MID, {three, 0, -1}, three}, {H_STR_LEFT, {three, 2}, A40 + SO}, {H_STR_LEFT, {three, -1}, three},
      {H_STR_RIGHT, {"abcde", 2}, "de"}, {H_STR_RIGHT, {"abcde", 10}, "abcde"}, {H_STR_RIGHT, {three + "x", 2}, HIRA + "x"},
      {H_STR_LENGTH, {three + "ab"}, 5},
      // Only single-byte letters change case; trail bytes 0x41 and 0x61 are letters only by look.
      {H_STR_LOWER, {A41 + "B"}, A41 + "b"}, {H_STR_UPPER, {A61 + "b"}, A61 + "B"},
      {H_INT_TO_STR, {-5}, "-5"}, {H_STR_TO_INT, {"42abc"}, 42}, {H_STR_TO_INT, {"99999999999"}, INT32_MAX},
      // The second argument is compared with the first, by character codes: a half-width katakana
      // (the single byte 0xB1) sorts before every double-byte character.
      {H_STR_COMPARE, {"a", "b"}, 1}, {H_STR_COMPARE, {"b", "a"}, -1}, {H_STR_COMPARE, {"abc", "abc"}, 0},
      {H_STR_COMPARE, {"abc", "ab"}, -1}, {H_STR_COMPARE, {HIRA, HALF}, -1},
      {H_STR_COMPARE_NOCASE, {"HeLLo", "hello"}, 0}, {H_STR_COMPARE_NOCASE, {A41, A61}, 1},
      {H_STR_FIND_NOCASE, {"ABCdef", "CD"}, 2}, {H_STR_FIND_NOCASE, {"ABCdef", "xy"}, -1},
      {H_STR_FIND_NOCASE, {SO + A40 + "@", "@"}, 2}, {H_STR_FIND_NOCASE, {SO, "\\"}, -1},
      {H_STR_FIND_NOCASE, {std::string(600, 'a') + "Z", "z"}, -1},  // past the 512-byte copy
      {H_FIELD_COUNT, {""}, 1}, {H_FIELD_COUNT, {"a,b,,c"}, 4}, {H_FIELD_COUNT, {SO + "," + A40}, 2},
      {H_FIELD_GET, {"a, \"b c\" ,d", 1}, "b c"}, {H_FIELD_GET, {"a, \"b c\" ,d", 2}, "d"},
      {H_FIELD_GET, {"a, \"b c\" ,d", 3}, ""}, {H_FIELD_GET, {" x ,y", 0}, "x"}, {H_FIELD_GET, {"\"a,b\"", 0}, "\"a"},
      {H_FIELD_GET, {"\"", 0}, "\""}, {H_FIELD_GET, {"\t\"\" ,", 0}, ""}, {H_FIELD_GET, {SO + " ," + A40, 1}, A40},
      // The field buffer holds 511 bytes: a cut there ends on a character boundary.
      {H_FIELD_GET, {std::string(510, 'a') + "," + SO, 1}, ""}, {H_FIELD_GET, {std::string(508, 'a') + "," + SO, 1}, SO},
      {H_FIELD_GET, {std::string(510, 'a') + SO, 0}, std::string(510, 'a')},
  };
  for (const row& r : rows) {
    if (auto* text = std::get_if<std::string>(&r.expected)) {
      EXPECT_EQ(run_str(r.hash, r.args), *text) << std::hex << r.hash;
    } else {
      int32_t v = run_int(r.hash, r.args);
      if (r.hash == H_STR_COMPARE || r.hash == H_STR_COMPARE_NOCASE) v = (v > 0) - (v < 0);
      EXPECT_EQ(v, std::get<int32_t>(r.expected)) << std::hex << r.hash;
    }
  }
}

// dims as one number: 100 x dims[0] + 10 x dims[1] + dims[2].
int dims_of(const value_cell& c) { return c.a->dims[0] * 100 + c.a->dims[1] * 10 + c.a->dims[2]; }

TEST_F(strings, ArraysHaveTheirDimensionsAndRefuseBadOnesForEveryType) {
  EXPECT_EQ(dims_of(run(H_INT_ARRAY_CREATE, {5})), 115);
  stack_pop();
  EXPECT_EQ(dims_of(run(H_FIXED_ARRAY_CREATE, {2, 3})), 123);
  stack_pop();
  const value_cell& three = run(H_STRING_ARRAY_CREATE, {2, 3, 4});
  EXPECT_EQ(dims_of(three), 234);
  std::set<string_block*> elements(array_strings(three.a), array_strings(three.a) + 24);
  EXPECT_EQ(elements.size(), 24u);  // each element its own empty string
  EXPECT_EQ((*elements.begin())->refcount * 10 + (*elements.begin())->length, 11);
  stack_pop();

  for (uint32_t hash : {H_INT_ARRAY_CREATE, H_FIXED_ARRAY_CREATE, H_STRING_ARRAY_CREATE}) {
    for (auto dims : {std::initializer_list<arg>{0}, {3, -1}, {65536, 65536, 2}}) {
      size_t reports = platform.boxes.size();
      EXPECT_EQ(dims_of(run(hash, dims)), 111) << std::hex << hash;  // the default array
      stack_pop();
      EXPECT_EQ(platform.boxes.size(), reports + 1) << std::hex << hash;
    }
  }
  EXPECT_NE(box_text(0).find("配列数は1以上を指定してください。"), std::string::npos);
  EXPECT_NE(box_text(2).find("int_array_create : "), std::string::npos);
  // A string element takes its text block too: 8 million elements are refused for strings only.
  size_t reports = platform.boxes.size();
  EXPECT_EQ(dims_of(run(H_STRING_ARRAY_CREATE, {8192, 1024})), 111);
  stack_pop();
  EXPECT_EQ(run(H_INT_ARRAY_CREATE, {8192, 1024}).a->dims[1], 8192);
  stack_pop();
  EXPECT_EQ(platform.boxes.size(), reports + 1);
}

TEST_F(strings, CopiesShareNothingWithTheirSource) {
  array_block* src = array_block_new(TYPE_STRING_ARRAY, 1, 1, 2);
  array_strings(src)[0] = string_block_new("first");  // and [1] never filled
  src->refcount++;  // the call releases its argument; the test keeps the source
  value_cell c = array_cell(src);
  stack_push_value(&c);
  call(H_STRING_ARRAY_COPY, 1);
  array_block* copy = stack_top()->a;
  EXPECT_EQ(copy->dims[2], 2);
  EXPECT_NE(array_strings(copy)[0], array_strings(src)[0]);
  EXPECT_STREQ(array_strings(copy)[0]->text, "first");
  EXPECT_STREQ(array_strings(copy)[1]->text, "");
  stack_pop();
  EXPECT_EQ(array_strings(src)[0]->refcount, 1);
  array_release(src);

  // A mistyped argument gives the default array instead of reading a block that is not there.
  EXPECT_EQ(run(H_STRING_ARRAY_COPY, {5}).type, TYPE_STRING_ARRAY);
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
