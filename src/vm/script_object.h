// Compiled script objects: the loader of ".vko" files, the list of loaded objects, function lookup
// by name hash and by code address, the resolved-call table that call sites cache, and ForExec.
//
// A file holds a 16-byte magic ("VaskelObjV1.000" plain, "VaskelObjX1.000" with the code XORed
// with the CRC-32 table), the entry offset (0xFFFFFFFF: none), the read-mark line count, N
// functions as {hash, code offset}, the code size and the code. Code blocks are writable: the
// interpreter patches slot hints and call caches in place.
//
// A reload (the file's stamp changed) refills the same record. The old code block is kept until
// ReleaseVaskel, because frames, hooks and end handlers may still point into it; calls cached
// into it are resolved again on their next use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/readmark.h"
#include "vm/thread.h"

constexpr size_t OBJECT_NAME_SIZE = 128;
constexpr uint32_t OBJECT_NO_ENTRY = 0xFFFFFFFF;
constexpr size_t OBJECT_HEADER_SIZE = 28;  // magic, entry offset, line count, function count
constexpr size_t OBJECT_MAGIC_SIZE = 16;
extern const char OBJECT_MAGIC_PLAIN[OBJECT_MAGIC_SIZE];
extern const char OBJECT_MAGIC_SCRAMBLED[OBJECT_MAGIC_SIZE];
// Every code block is followed by this many bytes of return opcodes, so that code which runs off
// the end of its block returns there.
constexpr size_t CODE_GUARD_SIZE = 16;

struct function_entry {
  uint32_t hash;
  uint32_t offset;
};

// A code block replaced by a reload, kept while code may still run in it.
struct retired_code {
  uint8_t* code;
  uint32_t size;
  retired_code* next;
};

struct script_object {
  char name[OBJECT_NAME_SIZE];  // upper-cased base name with ".VKO"
  uint64_t stamp;               // the file's last-write time when it was read
  uint32_t name_hash;
  uint32_t function_count;
  uint32_t code_size;
  uint32_t entry_offset;
  uint32_t line_count;
  readmark_set* readmarks;
  function_entry* functions;
  uint8_t* code;
  retired_code* retired;
  script_object* next;
};

// The checked contents of an object file.
struct object_image {
  uint32_t entry_offset;
  uint32_t line_count;
  uint32_t function_count;
  uint32_t code_size;
  function_entry* functions;
  uint8_t* code;  // code_size bytes, unscrambled, then the guard
};
// Checks an object file's bytes (counts, sizes and every offset against the data) and copies its
// tables; false, with nothing allocated, for a damaged object.
bool object_parse(const unsigned char* data, size_t size, object_image* out);
void object_image_free(object_image* image);

// The object file name for a script name: no folder, no extension, ".vko" added, upper-cased.
// false when it had to be cut to fit the 128-byte name.
bool object_name_make(const char* name, char out[OBJECT_NAME_SIZE]);

// The loaded object for a name, loading or reloading it. A file that cannot be read is reported
// with Retry/Cancel until it loads.
script_object* object_load(const char* name);
// Loads the object, resets the current thread and points its frame at the entry function.
void object_entry_set(const char* name);

script_object* object_list_head();  // newest first
script_object* object_find_by_address(const uint8_t* address);  // current or retired code
script_object* object_current();  // the object the current frame runs in

// The code block (current or retired) that holds an address, without its guard: [lo, hi), and
// its object. The last few blocks found are remembered, most recent first, so that jumps inside a
// block and calls between a few objects are checked without walking the object list.
struct code_block_range {
  uintptr_t lo;
  uintptr_t hi;
  script_object* object;
};
constexpr int CODE_BLOCK_CACHE = 4;
extern code_block_range code_block_last[CODE_BLOCK_CACHE];
// Makes the block holding the address code_block_last[0]; false when none holds it.
bool code_block_lookup(const uint8_t* address);
// Whether target lies in the code block holding `at` (its end included: the guard returns).
inline bool code_target_valid(const uint8_t* at, uintptr_t target) {
  uintptr_t a = reinterpret_cast<uintptr_t>(at);
  if ((a < code_block_last[0].lo || a >= code_block_last[0].hi) && !code_block_lookup(at)) return false;
  return target >= code_block_last[0].lo && target <= code_block_last[0].hi;
}

// The code address of the object's function with that hash, or null (no report).
uint8_t* object_function(script_object* o, uint32_t hash);
// The code address of a function: the current object first, then every object in list order.
// A function that no object holds is reported until the user gives up (Cancel ends the program).
uint8_t* function_find(uint32_t hash);
// Counts the times resolved calls were forgotten (a reload, the release of every object): a
// callee remembered at a count that is still current is what call_resolve would give.
extern uint32_t resolved_call_epoch;
// A call site's callee through its 32-bit cache operand, which holds an index into the table of
// resolved calls (0: not yet resolved). Resolves and patches the operand when needed.
uint8_t* call_resolve(uint32_t hash, uint8_t* cache_operand);

// The read-mark set of the object a frame runs in (looked up on first use); null when none.
readmark_set* frame_readmarks(call_frame* f);
// Objects that refer to the set stop referring to it (it is being freed).
void object_readmarks_forget(const readmark_set* s);

// Frees every object, its retired code and the resolved calls.
void ReleaseVaskel();
// Resets the interpreter's timing and read-filter state.
void ForExec();
