// The text syntax shared by the assembler and the disassembler: mnemonics and their operands.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

enum class vko_operands {
  none,
  i32,       // push.i
  f32,       // push.f
  text,      // push.s, msg, msg.code: a counted string with its NUL
  load,      // load.T VAR [mode] [unary]
  aload,     // aload.T VAR N [mode] [unary]
  assign,    // set*.T VAR
  aassign,   // aset*.T VAR N
  call,      // call FUNC ARGC [cache=N]
  builtin,   // builtin NAME|HASH ARGC
  types,     // locals / params: type names
  offset,    // one label
  line,      // line N
  table,     // jtable L...
};

struct vko_mnemonic {
  std::string name;
  uint16_t opcode;
  vko_operands operands;
  int type;  // loads and assignments: the value or element type
};

const vko_mnemonic* vko_mnemonic_by_name(std::string_view name);
// For loads, the access word's type picks the mnemonic.
const vko_mnemonic* vko_mnemonic_by_opcode(uint16_t opcode, int type = 0);

extern const char* const VKO_TYPE_SUFFIX[6];  // "i", "f", "s", "ia", "fa", "sa"
extern const char* const VKO_TYPE_NAME[6];    // "int", "float", "str", "intarr", "floatarr", "strarr"

// Built-ins by name, from the engine's table: the hash of a name (the first row when two hashes
// share it), and the name that stands for a hash in listings (none when the name would lead to
// another hash).
bool vko_builtin_hash(std::string_view name, uint32_t* hash);
const char* vko_builtin_name(uint32_t hash);

// The events the engine fires at scripts, by the names scripts write for them. The engine knows an
// event only by its key, the CRC-32 of the name text that event_hook_add is given: `push.event
// NAME` pushes a text that hashes to the key, so no one writes the bytes by hand.
struct vko_event {
  const char* name;
  uint32_t key;
  const char* arguments;  // what the handler receives, for the reference
  const char* fired;      // when the engine fires it
};
std::span<const vko_event> vko_events();
const vko_event* vko_event_by_name(std::string_view name);
// The text for an event: its name and four bytes that bring the text's CRC-32 to the key (never a
// NUL, so the text survives as a script string).
std::string vko_event_text(const vko_event& event);
