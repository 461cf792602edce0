// The eternal-file reader on a damaged valid file: whatever it accepts is whole, and written back
// it reads again to the same cells.
#include <cstdlib>
#include <vector>

#include "save/eternal.h"
#include "save_fuzz.h"
#include "vm/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t blob_size;
  std::string body = fuzz_cells_and_blob(0, &blob_size);
  std::string file = std::string(SYSTEM_FILE_MAGIC, 16) + fuzz_u32(5) + fuzz_u32(blob_size) +
                     std::string(4 * SEEN_NAME_COUNT, '\0') + body;
  fuzz_damage(&file, data, size);
  static uint32_t seen[SEEN_NAME_COUNT];
  std::vector<value_cell> cells;
  if (system_file_parse(reinterpret_cast<const uint8_t*>(file.data()), file.size(), seen, &cells) != 0) {
    if (!cells.empty()) abort();
    return 0;
  }
  var_table_init(&var_eternal, 16);
  for (const value_cell& c : cells) *var_table_append(&var_eternal) = c;
  std::string back = system_file_bytes();
  std::vector<value_cell> again;
  if (system_file_parse(reinterpret_cast<const uint8_t*>(back.data()), back.size(), seen, &again) != 0) abort();
  if (again.size() != cells.size()) abort();
  for (size_t i = 0; i < again.size(); ++i)
    if (again[i].type != cells[i].type || again[i].hash != cells[i].hash) abort();
  for (value_cell& c : again) value_release(&c);
  var_table_free(&var_eternal);
  return 0;
}
