// The save-file reader on a damaged valid file: what it accepts holds the counts its header names,
// frames whose stack bounds lie in the saved stack, and only NUL-terminated strings.
#include <cstdlib>
#include <cstring>

#include "save/savefile.h"
#include "save_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t blob_size;
  std::string body = fuzz_cells_and_blob(3, &blob_size);
  save_header h{};
  memcpy(h.magic, SAVE_MAGIC, 16);
  h.depth = 0, h.thumbnail_width = 1, h.thumbnail_height = 2;
  h.global_count = 4, h.thread_count = 0, h.stack_count = 1, h.blob_size = static_cast<int32_t>(blob_size);
  std::string record(128, '\0');
  memcpy(record.data(), "A.VKO", 5);
  for (uint32_t v : {8u, 1u, 1u, 0u, 3u, 0u, 0u, 0u, 0u, 0u}) record += fuzz_u32(v);
  std::string file = std::string(reinterpret_cast<const char*>(&h), sizeof h) + "\1\2\3\4\5\6" + record + body;
  fuzz_damage(&file, data, size);

  staged_save s;
  if (!savefile_parse(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &s)) return 0;
  const save_header& got = *s.header;
  if (s.cells[0].size() != size_t(got.global_count) || s.cells[2].size() != size_t(got.stack_count)) abort();
  if (s.frames.size() != size_t(got.depth) + 1 || s.frames.back().top != got.stack_count) abort();
  for (const auto& cells : s.cells)
    for (const value_cell& c : cells) {
      if (c.type == TYPE_STRING && c.s->text[c.s->length - 1] != 0) abort();
      if (c.type == TYPE_STRING_ARRAY)
        for (size_t i = 0; i < array_count(c.a); ++i)
          if (string_block* e = array_strings(c.a)[i]; !e || e->text[e->length - 1] != 0) abort();
    }
  return 0;
}
