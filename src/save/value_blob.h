// The one serialisation of script values that the eternal file and save files share: each table of
// cells is written as saved cells of 16 bytes, and the string and array blocks they refer to go
// into one blob, each block once, so that blocks several cells share come back shared.
//
// Saved cell: name hash, type, then for ints and floats the scope and the value; for blocks the
// blob offset of the entry in the third word and 0 in the fourth. Blob entries (all words
// little-endian 32-bit):
//   string:        refcount, own offset, length with NUL, the text and NUL        12 + length
//   number array:  refcount, own offset, dims[3], n elements, 4 zero bytes        24 + 4n
//   string array:  refcount, own offset, dims[3], 4 zero bytes, n element offsets 24 + 4n
//                  (-1 for an empty element), then the element strings not written before
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "vm/thread.h"
#include "vm/value.h"

constexpr size_t SAVED_CELL_SIZE = 16;

// Snapshot copies: strings are shared, arrays copied (string-array elements into new strings);
// an array met again through another cell shares the first copy. Before copying a set of tables,
// clear the marks of every array block in them; each copy is appended to the target table.
void blob_marks_clear(std::span<const value_cell> cells);
void snapshot_copy(var_table* target, const value_cell* source);

// Writes the tables in order into saved cells and one blob. The blocks' marks are the writer's
// scratch words meanwhile. Blob offsets and the files' size fields are 32-bit signed words, so a
// blob past blob_max (SAVE_BLOB_MAX in the files) is refused before anything is written: false,
// out unchanged.
struct blob_output {
  std::vector<uint8_t> cells;
  std::vector<uint8_t> blob;
};
constexpr size_t SAVE_BLOB_MAX = 0x7FFFFFFF;
bool value_blob_write(std::span<const std::span<const value_cell>> tables, blob_output* out,
                      size_t blob_max = SAVE_BLOB_MAX);
// Writes one cell's block into the blob once (its mark is -1 when not yet written, else its
// offset) and its saved form into out_cell; returns the bytes added to the blob.
size_t value_serialize(const value_cell* cell, std::vector<uint8_t>* blob, uint8_t out_cell[SAVED_CELL_SIZE]);

// Rebuilds cells from saved cells and a blob. Everything is checked against the data (types,
// offsets, lengths, dims, NULs, element kinds); a block named by several cells or elements is
// rebuilt once and shared. false leaves nothing allocated.
class blob_reader {
 public:
  blob_reader(const uint8_t* blob, size_t size) : blob_(blob), size_(size) {}
  blob_reader(const blob_reader&) = delete;
  blob_reader& operator=(const blob_reader&) = delete;
  // Appends count cells of the given scope from saved cells to out (which owns them afterwards
  // even on failure: release out's cells when false).
  bool read_cells(const uint8_t* saved, size_t count, int16_t scope, std::vector<value_cell>* out);

 private:
  struct entry {
    int32_t type;
    void* block;  // no reference of its own: the cells and elements hold them
  };
  bool value_deserialize(value_cell* target, const uint8_t* saved, int16_t scope);
  // true when a block was rebuilt at offset: *block is it, with one more reference, or null when
  // it is of another kind.
  bool shared(uint32_t offset, int type, void** block);
  string_block* string_at(uint32_t offset);
  array_block* array_at(uint32_t offset, int type);
  const uint8_t* blob_;
  size_t size_;
  std::unordered_map<uint32_t, entry> entries_;  // the blocks rebuilt so far, by blob offset
};

// Releases a set of cells built by a reader.
void cells_release(std::vector<value_cell>* cells);

// Little-endian words at a byte position.
inline uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void put_le32(std::vector<uint8_t>* out, uint32_t v) {
  out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
inline void set_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}
