// The object loader: names, reloads into the same record, retired code, call caches, damaged
// files, function lookup, entry functions, read marks, the read filter.
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/datasource.h"
#include "base/env.h"
#include "base/hash.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "vm/script_error.h"
#include "vko_assembler.h"
#include "vm/opcodes.h"
#include "vm_fixture.h"

namespace {

class objects : public vm_test {
 protected:
  void SetUp() override {
    vm_test::SetUp();
    data_base_folder_set(game.path().c_str());
  }
  void TearDown() override {
    vm_test::TearDown();
    data_sources_clear();
  }
  // Writes an object with one function "f" whose code is n copies of op; the entry is "f".
  void write_object(const std::string& file, uint16_t op, int n, uint32_t lines = 0, bool scrambled = false) {
    vko_builder b;
    b.lines(lines);
    b.function("f");
    b.entry();
    for (int i = 0; i < n; ++i) b.op(op);
    b.ret();
    game.write(file, b.build(scrambled));
  }
  // Moves the file's time forward so that the loader sees a new stamp.
  void touch(const std::string& file, long seconds_ahead) {
    struct stat st;
    ASSERT_EQ(stat(game.at(file).c_str(), &st), 0);
    struct utimbuf times = {st.st_atime, st.st_mtime + seconds_ahead};
    ASSERT_EQ(utime(game.at(file).c_str(), &times), 0);
  }
  std::string box_text(size_t i) { return i < platform.boxes.size() ? platform.boxes[i].text : "(no box)"; }
  temp_dir game;
};

const uint32_t F = crc32_string("f");

TEST_F(objects, NamesLoseFolderAndExtensionAndAreUpperCased) {
  char name[OBJECT_NAME_SIZE];
  EXPECT_TRUE(object_name_make("scene\\chapter1.txt", name));
  EXPECT_STREQ(name, "CHAPTER1.VKO");
  EXPECT_TRUE(object_name_make("a/b/start", name));
  EXPECT_STREQ(name, "START.VKO");
  // A trail byte 0x5C inside a double-byte character is not a folder separator.
  EXPECT_TRUE(object_name_make("\x95\x5C" "x", name));
  EXPECT_STREQ(name, "\x95\x5C" "X.VKO");
}

TEST_F(objects, LoadTwiceGivesTheSameRecordAndAChangedFileReloadsIntoIt) {
  write_object("start.vko", OP_NOP, 3);
  script_object* first = object_load("start");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->name, "START.VKO");
  EXPECT_EQ(first->name_hash, crc32_string("START.VKO"));
  EXPECT_EQ(object_load("Start.vko"), first);
  uint8_t* old_code = first->code;
  // A frame still runs in the old code while the file is replaced.
  vm_frame->code = old_code + 2;

  write_object("start.vko", OP_NOP2, 5);
  touch("start.vko", 10);
  EXPECT_EQ(object_load("start"), first);
  EXPECT_EQ(object_list_head(), first);
  EXPECT_EQ(first->next, nullptr);
  EXPECT_EQ(first->code_size, 12u);
  EXPECT_EQ(first->code[0], OP_NOP2 & 0xFF);
  // The retired block stays readable and still belongs to the object.
  EXPECT_EQ(old_code[2], OP_NOP & 0xFF);
  EXPECT_EQ(object_find_by_address(vm_frame->code), first);
  EXPECT_EQ(object_current(), first);
}

TEST_F(objects, CachedCallsResolveAgainAfterTheCalleeReloads) {
  // "main" calls "f" of another object through a call cache.
  vko_builder caller;
  caller.function("main");
  caller.entry();
  caller.call("f", 0);
  caller.ret();
  game.write("main.vko", caller.build());
  write_object("lib.vko", OP_NOP, 1);
  script_object* main = object_load("main");
  script_object* lib = object_load("lib");
  vm_frame->code = main->code;
  uint8_t* site = main->code + 2;    // the call's operands
  uint8_t* cache = site + 4;
  EXPECT_EQ(call_resolve(F, cache), lib->code);
  uint32_t index;
  memcpy(&index, cache, 4);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(call_resolve(F, cache), lib->code);  // from the cache

  write_object("lib.vko", OP_NOP2, 1);
  touch("lib.vko", 10);
  object_load("lib");
  EXPECT_EQ(call_resolve(F, cache), lib->code);  // the new block, not the retired one
  memcpy(&index, cache, 4);
  EXPECT_EQ(index, 2u);
  // A cache operand that names another function's entry is not trusted.
  uint32_t other = 1;
  memcpy(cache, &other, 4);
  EXPECT_EQ(call_resolve(F, cache), lib->code);
}

TEST_F(objects, ScrambledObjectsLoadTheSameCode) {
  write_object("plain.vko", OP_NOP3, 4);
  write_object("mixed.vko", OP_NOP3, 4, 0, true);
  script_object* a = object_load("plain");
  script_object* b = object_load("mixed");
  ASSERT_EQ(a->code_size, b->code_size);
  EXPECT_EQ(memcmp(a->code, b->code, a->code_size), 0);
}

TEST_F(objects, CodeThatRunsOffItsEndMeetsAReturn) {
  vko_builder b;
  b.function("f");
  b.op(OP_NOP);  // no return of its own
  game.write("open.vko", b.build());
  script_object* o = object_load("open");
  EXPECT_EQ(o->code[o->code_size] | o->code[o->code_size + 1] << 8, OP_RETURN);
  EXPECT_EQ(object_find_by_address(o->code + o->code_size), nullptr);  // outside the block
}

// More objects than the lookup remembers, visited out of order, one of them with retired code:
// every address still finds its own object, and jumps are checked against its own block.
TEST_F(objects, AddressLookupsFindTheirOwnBlockWhateverWasLookedUpBefore) {
  const int count = CODE_BLOCK_CACHE + 2;
  std::vector<script_object*> objs;
  for (int k = 0; k < count; ++k) {
    write_object("o" + std::to_string(k) + ".vko", OP_NOP, 4 + k);
    objs.push_back(object_load(("o" + std::to_string(k)).c_str()));
  }
  uint8_t* retired = objs[1]->code;
  write_object("o1.vko", OP_NOP, 9);
  touch("o1.vko", 10);
  ASSERT_EQ(object_load("o1"), objs[1]);
  ASSERT_NE(objs[1]->code, retired);
  for (int k : {0, 5, 1, 3, 0, 4, 2, 5, 1, 0}) {
    script_object* o = objs[static_cast<size_t>(k)];
    EXPECT_EQ(object_find_by_address(o->code + 2), o) << k;
    auto lo = reinterpret_cast<uintptr_t>(o->code);
    EXPECT_TRUE(code_target_valid(o->code + 2, lo + o->code_size)) << k;
    EXPECT_FALSE(code_target_valid(o->code + 2, lo + o->code_size + 1)) << k;
    EXPECT_EQ(object_find_by_address(retired + 2), objs[1]) << k;
  }
}

TEST_F(objects, DamagedObjectsAreRefused) {
  vko_builder b;
  b.function("f");
  b.entry();
  b.push_int(1);
  b.ret();
  const std::string good = b.build();
  object_image image;
  auto parses = [&](std::string bytes) {
    bool ok = object_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &image);
    if (ok) object_image_free(&image);
    return ok;
  };
  auto with_u32 = [&](size_t at, uint32_t v) {
    std::string bytes = good;
    memcpy(bytes.data() + at, &v, 4);
    return bytes;
  };
  ASSERT_TRUE(parses(good));
  EXPECT_FALSE(parses(good.substr(0, good.size() - 1)));  // code cut short
  EXPECT_FALSE(parses(good.substr(0, 20)));               // header cut short
  EXPECT_FALSE(parses(with_u32(24, 0x20000000)));         // function count beyond the file
  EXPECT_FALSE(parses(with_u32(36, 0xFFFFFFF0)));         // code size beyond the file
  EXPECT_FALSE(parses(with_u32(32, 8)));                  // function offset at the code's end
  EXPECT_FALSE(parses(with_u32(16, 8)));                  // entry at the code's end
  EXPECT_FALSE(parses(with_u32(20, 0x7FFFFFFF)));         // an absurd line count
  std::string magic = good;
  magic[9] = 'Y';
  EXPECT_FALSE(parses(magic));
  EXPECT_TRUE(parses(good + "trailing"));  // bytes after the code are ignored
}

TEST_F(objects, ADamagedFileGetsTheLoadersOwnBox) {
  game.write("bad.vko", "VaskelObjV1.000");
  platform.answer_boxes({IDCANCEL});
  EXPECT_THROW(object_load("bad"), fatal_exit_called);
  std::string expected = "VaskelObj : ファイル [bad] の読み込みで失敗しました";
  EXPECT_EQ(box_text(0), expected);
  EXPECT_EQ(object_list_head(), nullptr);
}

TEST_F(objects, MissingObjectsAreSoughtInTheScenarioSources) {
  vko_builder b;
  b.function("g");
  b.ret();
  game.write("scenario3/deep.vko", b.build());
  script_object* o = object_load("deep");
  EXPECT_EQ(o->function_count, 1u);
}

TEST_F(objects, OverLongNamesAreReportedAndCut) {
  std::string name(140, 'a');
  platform.answer_boxes({IDRETRY, IDCANCEL});
  EXPECT_THROW(object_load(name.c_str()), fatal_exit_called);
  std::string expected = "ファイル名[" + name + "]が長すぎます127文字以内にしてください。";
  EXPECT_EQ(box_text(0), expected);
  char cut[OBJECT_NAME_SIZE];
  EXPECT_FALSE(object_name_make(name.c_str(), cut));
  EXPECT_EQ(strlen(cut), 127u);
}

TEST_F(objects, FunctionsAreFoundInTheCurrentObjectFirst) {
  write_object("one.vko", OP_NOP, 1);
  write_object("two.vko", OP_NOP, 2);
  script_object* one = object_load("one");
  script_object* two = object_load("two");  // newest first in the list
  vm_frame->code = nullptr;
  EXPECT_EQ(function_find(F), two->code);
  vm_frame->code = one->code + 1;
  EXPECT_EQ(function_find(F), one->code);

  platform.answer_boxes({IDCANCEL});
  error_report_mode_set(2);  // silenced reports: this one is shown all the same
  EXPECT_THROW(function_find(0xDEADBEEF), fatal_exit_called);
  EXPECT_EQ(box_text(0).rfind("ONE.VKO(0) : 関数 [DEADBEEF] がメモリ上に発見できませんでした。\n", 0), 0u);
  error_report_mode_set(0);
}

TEST_F(objects, EntrySetResetsTheThreadAndEntersTheEntryFunction) {
  write_object("start.vko", OP_NOP, 2);
  push_int(9);
  frame_push(vm_thread);
  object_entry_set("start");
  script_object* o = object_list_head();
  EXPECT_EQ(vm_thread->depth, 0);
  EXPECT_EQ(vm_frame->top, 1);
  EXPECT_EQ(vm_frame->code, o->code + o->entry_offset);

  vko_builder b;  // no entry function
  b.function("f");
  b.ret();
  game.write("noentry.vko", b.build());
  platform.answer_boxes({IDRETRY});
  object_entry_set("noentry");
  std::string expected = "[noentry]実行関数が設定されていません。";
  EXPECT_EQ(box_text(0), expected);
  EXPECT_EQ(vm_frame->code, nullptr);  // the thread returns and ends
}

TEST_F(objects, ReadMarkSetsFollowTheLineCount) {
  write_object("a.vko", OP_NOP, 1, 1);
  script_object* o = object_load("a");
  ASSERT_NE(o->readmarks, nullptr);
  EXPECT_EQ(o->readmarks->byte_size, 17);  // one line, plus 16 bytes
  vm_frame->code = o->code;
  readmark_set* s = frame_readmarks(vm_frame);
  EXPECT_EQ(s, o->readmarks);
  // Every bit of the 17 bytes marks a line, the spare bytes' too; lines past them mark nothing.
  for (int32_t line : {0, 1, 135, 136, 1000, -1}) {
    bool inside = line >= 0 && line < 17 * 8;
    EXPECT_FALSE(readmark_test_and_set(s, line)) << line;
    EXPECT_EQ(readmark_test_and_set(s, line), inside) << line;
  }

  // Same count after a reload: the bits stay. Another count: a fresh, empty set.
  write_object("a.vko", OP_NOP2, 1, 1);
  touch("a.vko", 10);
  object_load("a");
  EXPECT_TRUE(readmark_test_and_set(o->readmarks, 0));
  write_object("a.vko", OP_NOP2, 1, 20);
  touch("a.vko", 20);
  object_load("a");
  EXPECT_EQ(o->readmarks->line_count, 20);
  EXPECT_FALSE(readmark_test_and_set(frame_readmarks(vm_frame), 0));  // the frame follows the object
  // No lines: the stored set is dropped.
  write_object("a.vko", OP_NOP, 1, 0);
  touch("a.vko", 30);
  object_load("a");
  EXPECT_EQ(o->readmarks, nullptr);
  EXPECT_EQ(readmark_find("A.VKO"), nullptr);
}

// The environment's cached keys decide whether saving is disabled, so each test starts and ends
// without them.
class readmarks : public objects {
 protected:
  void SetUp() override {
    objects::SetUp();
    env_free();
    env_keys_reset();
    save_base_folder_set(save.path().c_str());
  }
  void TearDown() override {
    save_base_folder_set("");
    env_free();
    env_keys_reset();
    objects::TearDown();
  }
  temp_dir save;
};

TEST_F(readmarks, RoundTripThroughTheFileAndMismatchedLineCounts) {
  readmark_load();  // no file yet: nothing
  EXPECT_EQ(readmark_list_head(), nullptr);
  readmark_test_and_set(readmark_attach("KEEP.VKO", 100), 99);
  readmark_test_and_set(readmark_attach("CHANGED.VKO", 10), 3);
  readmark_save();
  EXPECT_EQ(readmark_list_head(), nullptr);  // saved and freed
  struct stat st;
  ASSERT_EQ(stat(save.at("savedata/vaskel_readmark.mss").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 2 * 148 + readmark_byte_size(100) + readmark_byte_size(10));

  readmark_reset();  // a new process
  readmark_load();
  readmark_load();  // once per process
  EXPECT_TRUE(readmark_test_and_set(readmark_attach("keep.vko", 100), 99));
  EXPECT_FALSE(readmark_test_and_set(readmark_attach("CHANGED.VKO", 11), 3));
}

TEST_F(readmarks, DamagedRecordsEndTheReadKeepingEarlierSets) {
  readmark_attach("ONE.VKO", 8);
  readmark_attach("TWO.VKO", 16);
  std::string good = readmark_serialize();
  readmark_reset();
  size_t second = 148 + 18;  // the list is saved newest first: TWO (16 lines), then ONE
  auto sets_read = [&](std::string bytes) {
    readmark_reset();
    return readmark_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  };
  EXPECT_EQ(sets_read(good), 2);
  EXPECT_STREQ(readmark_list_head()->name, "TWO.VKO");  // file order kept
  EXPECT_STREQ(readmark_list_head()->next->name, "ONE.VKO");
  EXPECT_EQ(sets_read(good.substr(0, good.size() - 1)), 1);  // a short record
  std::string wrong_size = good;
  wrong_size[second + 128] = 19;  // byte size must be (8 + 7) / 8 + 16 = 17
  EXPECT_EQ(sets_read(wrong_size), 1);
  std::string unterminated = good;
  memset(unterminated.data() + second, 'N', 128);
  EXPECT_EQ(sets_read(unterminated), 1);
  std::string negative = good;
  memset(negative.data() + second + 132, 0xFF, 4);
  EXPECT_EQ(sets_read(negative), 1);
  EXPECT_STREQ(readmark_list_head()->name, "TWO.VKO");
}

TEST_F(readmarks, NothingIsWrittenWhenSavingIsDisabled) {
  game.write("vaskel.env", "LOADSAVEDISABLE 1\n");
  env_load("vaskel.env");
  readmark_attach("X.VKO", 4);
  readmark_save();
  struct stat st;
  EXPECT_NE(stat(save.at("savedata/vaskel_readmark.mss").c_str(), &st), 0);
}

TEST_F(readmarks, TheReadFilterNamesObjectsAndForExecEmptiesIt) {
  EXPECT_FALSE(read_filter_matches("A.VKO"));
  read_filter_set("prologue.vko epilogue.vko");
  EXPECT_TRUE(read_filter_matches("EPILOGUE.VKO"));
  EXPECT_FALSE(read_filter_matches("MIDDLE.VKO"));
  ForExec();
  EXPECT_FALSE(read_filter_matches("EPILOGUE.VKO"));
}

}  // namespace
