// The assembler: encodings, the text syntax, listings that assemble back to the same bytes, and
// the command-line front.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/hash.h"
#include "builtin_reference.h"
#include "test_support.h"
#include "vko_assembler.h"
#include "vko_syntax.h"
#include "vm/script_object.h"

namespace {

std::string hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) snprintf(b, sizeof b, "%02X ", c), out += b;
  if (!out.empty()) out.pop_back();
  return out;
}

// Assembler sources are UTF-8; narrow literals here are compiled to CP932, so texts outside ASCII
// come in as u8 literals.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A file's whole content.
std::string bytes_of(const std::string& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// The code bytes of a source without functions (the header is 32 bytes).
std::string code_of(const std::string& text) {
  vko_builder b;
  std::string error;
  EXPECT_TRUE(vko_assemble_text(text, b, error)) << error;
  return hex(b.build().substr(32));
}

TEST(assembler, VariablesHashTheirFullNameWithTheDefaultGroup) {
  EXPECT_EQ(vko_variable("@score").hash, crc32_string("@score@GLOBAL"));
  EXPECT_EQ(vko_variable("@score").scope, SCOPE_GLOBAL);
  EXPECT_EQ(vko_variable("#kuitan@CONFIG").hash, crc32_string("#kuitan@CONFIG"));
  EXPECT_EQ(vko_variable("#kuitan@CONFIG").scope, SCOPE_ETERNAL);
  EXPECT_EQ(vko_variable("%n").scope, SCOPE_THREAD);
  EXPECT_EQ(vko_variable("@[0x11F91FD3]").hash, 0x11F91FD3u);
  EXPECT_EQ(vko_variable("_p1").slot, -2);
  EXPECT_EQ(vko_variable("_-3").slot, -3);
  EXPECT_EQ(vko_variable("_4").scope, SCOPE_LOCAL);
  vko_var v;
  EXPECT_FALSE(vko_var_parse("score", &v));
  EXPECT_FALSE(vko_var_parse("_x", &v));
}

TEST(assembler, EncodesEachOperandForm) {
  EXPECT_EQ(code_of("push.i -2"), "00 08 FE FF FF FF");
  EXPECT_EQ(code_of("push.f 1.0"), "03 08 00 00 80 3F");
  EXPECT_EQ(code_of("push.s \"ab\""), "01 08 03 00 61 62 00");
  EXPECT_EQ(code_of("msg \"\\x82\\xA0\""), "40 08 03 00 82 A0 00");
  EXPECT_EQ(code_of(utf8(u8"push.s \"あ\"")), "01 08 03 00 82 A0 00");  // UTF-8 source, CP932 code
  // load, int, global, post-increment, negate: word = 3 | 1<<3 | 1<<5 | 0<<8.
  EXPECT_EQ(code_of("load.i @[0x01020304] x++ neg"), "02 08 2B 00 04 03 02 01 00 00");
  // element load of a float from a local string... element type 1, local scope, 2 indices.
  EXPECT_EQ(code_of("aload.f _p1 2"), "37 08 60 11 00 00 00 00 FE FF");
  EXPECT_EQ(code_of("set+.s.pop %[0x10]"), "32 02 40 02 10 00 00 00 00 00");
  EXPECT_EQ(code_of("aset<<.i.pop @[0x10] 3"), "00 03 20 18 10 00 00 00 00 00");
  EXPECT_EQ(code_of("call 0xAABBCCDD 2"), "0F 08 DD CC BB AA 00 00 00 00 02 00");
  EXPECT_EQ(code_of("builtin.drop 0xCF35F0E3 1"), "35 08 E3 F0 35 CF 01 00");
  EXPECT_EQ(code_of("builtin.drop time_wait 1"), "35 08 E3 F0 35 CF 01 00");  // by the engine's name
  EXPECT_EQ(code_of("locals int strarr"), "29 08 02 00 00 05");
  EXPECT_EQ(code_of("params float"), "36 08 01 00 01");
  EXPECT_EQ(code_of("here: jmp here"), "2C 08 FA FF FF FF");
  EXPECT_EQ(code_of("jtable a b\na: b:"), "50 08 02 00 04 00 00 00 00 00 00 00");
  EXPECT_EQ(code_of("line 300"), "3A 08 2C 01");
  EXPECT_EQ(code_of("ge.i\neq.sa\nneg.f\nnop3"), "48 01 5D 01 A1 01 A9 01");
}

TEST(assembler, TextAndBuilderMakeTheSameObject) {
  vko_builder b;
  b.lines(12);
  b.function("$init@GLOBAL");
  b.entry();
  b.line(1);
  vko_label end = b.label(), top = b.label();
  b.locals({TYPE_INT});
  b.bind(top);
  b.load(TYPE_INT, vko_local(0), ACCESS_POST_INC);
  b.push_int(10);
  b.binary(BIN_LT, 0);
  b.jump_false(end);
  b.call("helper", 0, true);
  b.jump(top);
  b.bind(end);
  b.ret();
  b.function("helper");
  b.assign(ASN_ADD, TYPE_INT, vko_variable("@count"), true);
  b.ret();

  vko_builder t;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(R"(
.lines 12
.func $init@GLOBAL
.entry
    line 1
    locals int
top:
    load.i _0 x++
    push.i 10
    lt.i
    jf end        ; leave the loop
    call.drop helper 0
    jmp top
end:
    ret
.func helper
    set+.i.pop @count
    ret
)",
                                t, error))
      << error;
  EXPECT_EQ(hex(t.build()), hex(b.build()));
  EXPECT_EQ(hex(t.build(true)), hex(b.build(true)));
}

TEST(assembler, ListingsAssembleBackToTheSameBytes) {
  vko_builder b;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(utf8(u8R"(
.lines 3
.func first
    push.s "テキスト\t\x81\xFF\x87\x90"      ; 0x8790 and 0x81E0 are one character in UTF-8
    push.event message_line
    builtin.drop msgbox_warning_retrycancel 1
    builtin.drop 0x6E7F7FB7 1                  ; the name's other hash
    push.f bits:0x7FC00000
    load.s #[0x1] hint=300
    load.i @x word=0x0027
    call second 1 cache=7
.func second
.entry
    .word 0x0042          ; not an opcode
    switch out
    case.ge out
    label.all out
    .byte 1
out:
    ret
)"),
                                b, error))
      << error;
  // A function that starts inside an instruction, and an entry offset outside the code.
  b.function_hash(0x1234);
  b.push_int(0x00123456);
  std::string object = b.build();
  function_entry inside{0x99, b.position() - 3};
  std::string patched = object;
  uint32_t count = 4;
  memcpy(patched.data() + 24, &count, 4);
  patched.insert(28 + 3 * 8, std::string(reinterpret_cast<const char*>(&inside), 8));

  // Each listing assembles to the plain form of its object.
  const std::pair<std::string, std::string> cases[] = {{object, object}, {patched, patched}, {b.build(true), object}};
  for (const auto& [original, plain] : cases) {
    std::string listing = vko_disassemble(original);
    vko_builder again;
    ASSERT_TRUE(vko_assemble_text(listing, again, error)) << error << "\n" << listing;
    EXPECT_EQ(hex(again.build()), hex(plain)) << listing;
  }
  std::string listing = vko_disassemble(object);
  for (const char* named : {"push.event message_line", "builtin.drop msgbox_warning_retrycancel 1", "builtin.drop 0x6E7F7FB7 1"})
    EXPECT_NE(listing.find(named), std::string::npos) << named << "\n" << listing;
}

TEST(assembler, ErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"ret\nfrob 1\n", "line 2: unknown instruction frob"},
      {"ret\njmp later\n\njmp nowhere\nlater:\n", "line 4: label nowhere is used but never defined"},
      {"ret\n\nload.i score\n", "line 3: bad variable score"},
      {"builtin time_waits 1\n", "line 1: unknown built-in time_waits"},
      {"push.i 4294967296\n", "line 1: 4294967296 is out of range (-2147483648 to 4294967295)"},
      {"push.i 99999999999999999999\n", "line 1: 99999999999999999999 is out of range (-2147483648 to 4294967295)"},
      {"\nline 40000\n", "line 2: 40000 is out of range (-32768 to 32767)"},
      {"push.event message_lines\n", "line 1: unknown event message_lines"},
  };
  for (const auto& [source, message] : cases) {
    vko_builder b;
    std::string error;
    EXPECT_FALSE(vko_assemble_text(source, b, error)) << source;
    EXPECT_EQ(error, message);
  }
}

// A second function of one name is never called; the assembler says so and still assembles.
TEST(assembler, WarnsOfAFunctionDefinedTwice) {
  vko_builder b;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(vko_assemble_text(".func a\nret\n.func b\nret\n.func a\nret\n", b, error, &warnings)) << error;
  EXPECT_EQ(warnings, std::vector<std::string>{"line 5: warning: function a is defined again (first at line 1, which calls find)"});
}

// Events are pushed as names: the text's CRC-32 is the key the engine fires.
TEST(assembler, EventNamesHashToTheEngineKeys) {
  for (const vko_event& e : vko_events()) {
    std::string text = vko_event_text(e);
    EXPECT_EQ(crc32_bytes(text.data(), text.size()), e.key) << e.name;
    EXPECT_EQ(text.find('\0'), std::string::npos) << e.name;
  }
}

// docs/builtins.md is what the engine's table and the notes make, and every built-in has a note.
TEST(assembler, TheBuiltinReferenceIsTheTable) {
  EXPECT_EQ(builtin_notes_unmatched(), std::vector<std::string>{});
  EXPECT_TRUE(bytes_of(VASK_SOURCE_DIR "/docs/builtins.md") == builtin_reference())
      << "docs/builtins.md differs: build/vaskasm -r > docs/builtins.md";
}

// Every object of the sample game lists and assembles back to the same bytes.
TEST(assembler, TheSampleGameListsAndAssemblesBack) {
  std::filesystem::path objects = std::filesystem::path(VASK_BINARY_DIR) / "demo/dev/scenario";
  if (!std::filesystem::exists(objects / "chapter1.vko")) GTEST_SKIP() << "the sample game is not built";
  int count = 0;
  for (const auto& file : std::filesystem::directory_iterator(objects)) {
    std::string bytes = bytes_of(file.path()), listing = vko_disassemble(bytes), error;
    vko_builder again;
    ASSERT_TRUE(vko_assemble_text(listing, again, error)) << file.path() << ": " << error;
    EXPECT_EQ(again.build(), bytes) << file.path();
    EXPECT_EQ(listing.find("builtin 0x"), std::string::npos) << file.path() << ": a built-in listed by hash";
    ++count;
  }
  EXPECT_EQ(count, 6);
}

TEST(assembler, TheCommandLineWritesScrambledObjectsAndListsThem) {
  temp_dir dir;
  dir.write("t.vasm", ".func main\n.entry\n    push.s \"hi\"\n    ret\n");
  std::string tool = std::string(VASK_BINARY_DIR) + "/vaskasm";
  ASSERT_EQ(run_command(tool + " -x " + dir.at("t.vasm") + " " + dir.at("t.vko")), 0);
  EXPECT_EQ(bytes_of(dir.at("t.vko")).substr(0, 16), std::string("VaskelObjX1.000", 16));
  std::string listing;
  ASSERT_EQ(run_command(tool + " -d " + dir.at("t.vko"), &listing), 0);
  EXPECT_NE(listing.find("push.s \"hi\""), std::string::npos) << listing;
  std::string reference;
  ASSERT_EQ(run_command(tool + " -r", &reference), 0);
  EXPECT_EQ(reference, builtin_reference());
  EXPECT_NE(run_command(tool + " " + dir.at("missing.vasm") + " " + dir.at("x.vko") + " 2>/dev/null"), 0);
}

}  // namespace
