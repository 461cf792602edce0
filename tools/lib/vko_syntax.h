// The text syntax shared by the assembler and the disassembler: mnemonics and their operands.
#pragma once

#include <cstdint>
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
