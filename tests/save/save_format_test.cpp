// The byte layouts of the eternal file and save files, against files built here field by field.
#include <cstddef>
#include <cstring>

#include "save/save_header.h"
#include "save/value_blob.h"
#include "save_fixture.h"
#include "sound/sound.h"

namespace {

// Every header field at the offset stored files carry it at.
static_assert(offsetof(save_header, title) == 16 && offsetof(save_header, depth) == 144);
static_assert(offsetof(save_header, thumbnail_width) == 148 && offsetof(save_header, thumbnail_height) == 152);
static_assert(offsetof(save_header, global_count) == 156 && offsetof(save_header, thread_count) == 160);
static_assert(offsetof(save_header, stack_count) == 164 && offsetof(save_header, blob_size) == 168);
static_assert(offsetof(save_header, music_loop) == 428 && offsetof(save_header, sound_slots[1]) == 940);
static_assert(offsetof(save_header, sound_slots[1].loop) == 1068 && offsetof(save_header, sound_slots[3]) == 1452);
static_assert(offsetof(save_header, sound_slots[3].loop) == 1580 && offsetof(save_header, zero_1712) == 1712);
static_assert(offsetof(save_header, music_loop_flag) == 1716 && offsetof(save_header, zero_1720) == 1720);
static_assert(offsetof(save_header, zero_1744) == 1744 && offsetof(save_header, sound_levels[3]) == 1856);
static_assert(offsetof(save_header, zero_1860) == 1860);

using SaveFormat = save_test;

TEST_F(SaveFormat, TheEternalFileHoldsTheSeenTableCellsAndOneEntryPerSharedBlock) {
  define("#e", int_cell(-2));
  array_block* a = ints({5, 6});
  define("#a", array_cell(a));
  a->refcount++;
  define("#b", array_cell(a));
  define("#sa", array_cell(texts({"q", nullptr})));
  EXPECT_EQ(seen_name_add("Scene.TXT"), 0);

  std::string seen = u32(crc32_string("scene")) + std::string(4 * 9999, '\0');
  // The copies written are fresh: the array is held by the two copies, the element by its array.
  std::string blob = u32(2) + u32(0) + u32(1) + u32(1) + u32(2) + u32(5) + u32(6) + u32(0) +  // 0..32
                     u32(1) + u32(32) + u32(1) + u32(1) + u32(2) + u32(0) + u32(64) + u32(0xFFFFFFFF) +
                     string_entry(1, 64, "q");
  std::string expected = fixed("VaskelSysV1.100", 16) + u32(4) + u32(uint32_t(blob.size())) + seen +
                         cell("#e", 0, 0, uint32_t(-2)) + cell("#a", 3, 0, 0) + cell("#b", 3, 0, 0) +
                         cell("#sa", 5, 32, 0) + blob;
  EXPECT_TRUE(system_file_bytes() == expected);

  // A blob one byte past what the file can hold is refused before anything is written.
  std::span<const value_cell> live[] = {{var_eternal.cells, size_t(var_eternal.count)}};
  blob_output refused, written;
  EXPECT_FALSE(value_blob_write(live, &refused, blob.size() - 1));
  EXPECT_TRUE(refused.cells.empty() && refused.blob.empty());
  EXPECT_TRUE(value_blob_write(live, &written, blob.size()));

  // Written and read back at the next start: one array shared again, the empty element empty.
  ASSERT_TRUE(system_file_save());
  var_table_free(&var_eternal);
  system_file_load();
  ASSERT_EQ(var_eternal.count, 4);
  EXPECT_EQ(var_eternal.cells[1].a, var_eternal.cells[2].a);
  EXPECT_EQ(var_eternal.cells[1].a->refcount, 2);
  EXPECT_STREQ(array_strings(var_eternal.cells[3].a)[1]->text, "");
  EXPECT_EQ(seen_name_test("SCENE.png"), 1);
}

TEST_F(SaveFormat, ASnapshotIsWrittenAsHeaderThumbnailFramesCellsAndBlob) {
  std::string body = ".entry\n";
  for (int i = 0; i < 10; ++i) body += "push.i 1\npop\n";
  script_object* o = load(body + "ret\n");
  call_int("save_unlock");
  call_int("snapshot_unlock");
  define("@n", int_cell(7));
  define("@s", string_cell(string_block_new("ab")));
  array_block* a = ints({1, 2});
  define("@a", array_cell(a));
  a->refcount++;
  define("@b", array_cell(a));
  define("@sa", array_cell(texts({"x", nullptr, ""})));
  define("%t", float_cell(1.5f));
  message_log_append("hello", 5);

  // Frame 0 called frame 1 (drop the result, line 4); frame 1 is in the snapshot call.
  call_frame* outer = vm_frame;
  outer->code = o->code + 12, outer->drop_result = 1, outer->line = 4;
  push_int(3);
  call_frame* inner = frame_push(vm_thread);
  inner->base = 2, inner->line = 9, inner->code = o->code + 48;
  inner->decide_label = o->code + 30, inner->end_label = o->code + 44;
  outer->top = 2;
  push_string("chapter");
  EXPECT_EQ(call_int("save_snapshot", 1), 0);

  thumbnail t{2, 1, {1, 2, 3, 4, 5, 6}};
  thumbnail_set(t);
  save_header sound_block{};
  sound_save_state(sound_block);
  std::string blob = string_entry(2, 0, "ab") +                                                  // 0..15
                     u32(2) + u32(15) + u32(1) + u32(1) + u32(2) + u32(1) + u32(2) + u32(0) +  // 15..47
                     u32(1) + u32(47) + u32(1) + u32(1) + u32(3) + u32(0) + u32(83) + u32(0xFFFFFFFF) + u32(97) +
                     string_entry(1, 83, "x") + string_entry(1, 97, "") +  // 83..110
                     string_entry(1, 110, "chapter");  // the call's argument is gone by now
  std::string log(SAVE_LOG_SIZE - 8, '\0');
  log += std::string("hello\0\x08\0", 8);
  std::string expected = fixed("VaskelSavV1.103", 16) + fixed("chapter", 128) + u32(1) + u32(2) + u32(1) + u32(5) +
                         u32(1) + u32(3) + u32(uint32_t(blob.size())) +
                         std::string(reinterpret_cast<const char*>(&sound_block) + 172, 1948 - 172) + u32(0) + log;
  expected += std::string("\1\2\3\4\5\6", 6);
  auto record = [&](int32_t code, int32_t base, int32_t top, int32_t drop, int32_t line, int32_t decide,
                    int32_t redirect) {
    return fixed(o->name, 128) + u32(code) + u32(base) + u32(top) + u32(drop) + u32(line) + u32(decide) + u32(0) +
           u32(0) + u32(0) + u32(redirect);
  };
  expected += record(12, 1, 2, 1, 4, 0, 0) + record(40, 2, 3, 0, 9, 30, 44);
  expected += cell("@n", 0, 1, 7) + cell("@s", 2, 0, 0) + cell("@a", 3, 15, 0) + cell("@b", 3, 15, 0) +
              cell("@sa", 5, 47, 0) + cell("%t", 1, 2, 0x3FC00000) + cell("", 0, 3, 0) + cell("", 0, 3, 3) +
              cell("", 2, 110, 0) + blob;
  std::string written = savefile_bytes();
  ASSERT_EQ(written.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(written[i], expected[i]) << "first difference at byte " << i;
}

}  // namespace
