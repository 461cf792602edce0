// Read marks: one bit per script line of an object, set when the player has seen the line, kept
// across runs in "savedata\vaskel_readmark.mss". Also the object-name read filter: lines of the
// objects it names count as read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t READMARK_NAME_SIZE = 128;
constexpr size_t READMARK_RECORD_HEADER = 148;  // name, byte size, line count, 12 unused bytes
constexpr int32_t READMARK_MAX_LINES = 1 << 24;  // more than any object has; a bigger count is damage
constexpr size_t READ_FILTER_SIZE = 512;
extern const char READMARK_FILE[];

struct readmark_set {
  char name[READMARK_NAME_SIZE];  // the object's name
  int32_t byte_size;              // (line_count + 7) / 8 + 16
  int32_t line_count;
  uint8_t* bits;                  // bit n of byte n / 8 marks line n
  readmark_set* next;
  readmark_set* prev;
};

inline int32_t readmark_byte_size(int32_t line_count) { return (line_count + 7) / 8 + 16; }

readmark_set* readmark_list_head();  // newest first
readmark_set* readmark_find(const char* name);  // case-blind
// The set for an object with line_count lines: a stored set of the same count is kept, one of
// another count (or any, for 0 lines) is dropped, and a fresh set is made when the object has
// lines. Returns the set, or null for an object without lines.
readmark_set* readmark_attach(const char* name, int32_t line_count);
void readmark_free(readmark_set* s);  // unlinks and frees

// Marks line n and returns whether it was marked before. Every line whose bit lies in the set is
// marked, the 16 spare bytes past the line count included (objects may mark lines they did not
// count); lines beyond the set, and negative ones, count as unread and mark nothing.
// Inline: line marks run it on every statement.
// The same with the line given as its byte (line / 8, or any value of 2^31 and more for a
// negative line) and bit (1 << line % 8), which the interpreter works out once per instruction.
inline bool readmark_test_and_set_bit(readmark_set* s, uint32_t byte, uint8_t bit) {
  if (!s || byte >= static_cast<uint32_t>(s->byte_size)) return false;
  bool was = (s->bits[byte] & bit) != 0;
  s->bits[byte] |= bit;
  return was;
}
inline uint32_t readmark_byte_of(int32_t line) { return line < 0 ? UINT32_MAX : static_cast<uint32_t>(line) / 8; }
inline uint8_t readmark_bit_of(int32_t line) { return static_cast<uint8_t>(1u << (line & 7)); }
inline bool readmark_test_and_set(readmark_set* s, int32_t line) {
  return readmark_test_and_set_bit(s, readmark_byte_of(line), readmark_bit_of(line));
}

// Reads the file once per process; a damaged or short record ends the read, keeping the sets
// before it, and the damaged file is set aside (base/atomic_file.h).
void readmark_load();
// Writes every set (unless the list is empty or saving is disabled) and frees them all.
void readmark_save();
// Parses the file's bytes into sets appended to the list; returns how many were read, and in *used
// the bytes they took (the whole file unless a record was damaged).
int readmark_parse(const unsigned char* data, size_t size, size_t* used = nullptr);
// The file's bytes for the current list.
std::string readmark_serialize();
// Frees every set and forgets that the file was read (test reset).
void readmark_reset();

// The read filter: upper-cased text of at most 511 bytes, naming objects; an object whose name
// occurs in it counts as read. Empty matches nothing.
void read_filter_set(const char* text);
void read_filter_clear();
bool read_filter_matches(const char* object_name);
bool read_filter_active();  // whether the filter names anything
