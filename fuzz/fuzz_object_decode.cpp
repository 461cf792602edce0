// Script objects that the parser accepts, loaded as the game loads them, and the code of each
// function and the entry decoded into the interpreter's records: the decoder stays inside the code
// block and its guard, and every record it makes for an address is the instruction there.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/datasource.h"
#include "quiet_platform.h"
#include "vm/decode.h"
#include "vm/script_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  headless_platform* platform = fuzz_quiet_platform();
  static std::string folder = [] {
    char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  // Distinct labels: a record's handler says which slot the decoder chose.
  static const void* handlers[SLOT_COUNT];
  static char slot_marks[SLOT_COUNT];
  for (int i = 0; i < SLOT_COUNT; i++) handlers[i] = &slot_marks[i];

  object_image image;
  if (!object_parse(data, size, &image)) return 0;
  object_image_free(&image);
  platform->boxes.clear();
  data_sources_clear();
  data_base_folder_set(folder.c_str());
  FILE* f = fopen((folder + "/f.vko").c_str(), "wb");
  if (!f) abort();
  fwrite(data, 1, size, f);
  fclose(f);
  try {
    if (script_object* o = object_load("f.vko")) {
      for (uint32_t i = 0; i <= o->function_count; i++) {
        uint32_t offset = i < o->function_count ? o->functions[i].offset : o->entry_offset;
        if (offset == OBJECT_NO_ENTRY) continue;
        const decoded_op* r = decode_at(o->code + offset, handlers);
        if (!r || r->at != o->code + offset) abort();
      }
      for (uint8_t* p = o->code; p < o->code + o->code_size; p++) {
        const decoded_op* r = decode_find(p);
        if (r && (r->at != p || r->handler < &slot_marks[0] || r->handler > &slot_marks[SLOT_COUNT - 1])) abort();
      }
    }
  } catch (const fuzz_fatal&) {
  }
  ReleaseVaskel();
  return 0;
}
