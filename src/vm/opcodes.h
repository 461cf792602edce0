// The bytecode: opcode numbers, the variable access word and the operand layouts.
//
// An instruction is a 16-bit opcode followed by its operands, little-endian and unaligned. Jump
// offsets are signed 32-bit distances from the end of the offset operand itself.
#pragma once

#include <cstdint>

enum opcode : uint16_t {
  // Binary operators: OP_BINARY + 8 * row + column (column: 0 int, 1 float, 2 string, 3-5 arrays).
  OP_BINARY = 0x100,
  OP_MUL_I = 0x100, OP_MUL_F = 0x101,
  OP_DIV_I = 0x108, OP_DIV_F = 0x109,
  OP_MOD_I = 0x110,
  OP_ADD_I = 0x118, OP_ADD_F = 0x119, OP_ADD_S = 0x11A,
  OP_SUB_I = 0x120, OP_SUB_F = 0x121,
  OP_SHR_I = 0x128,
  OP_SHL_I = 0x130,
  OP_LE_I = 0x138, OP_LE_F = 0x139, OP_LE_S = 0x13A,
  OP_LT_I = 0x140, OP_LT_F = 0x141, OP_LT_S = 0x142,
  OP_GE_I = 0x148, OP_GE_F = 0x149, OP_GE_S = 0x14A,
  OP_GT_I = 0x150, OP_GT_F = 0x151, OP_GT_S = 0x152,
  OP_EQ_I = 0x158, OP_EQ_F = 0x159, OP_EQ_S = 0x15A, OP_EQ_IA = 0x15B, OP_EQ_FA = 0x15C, OP_EQ_SA = 0x15D,
  OP_NE_I = 0x160, OP_NE_F = 0x161, OP_NE_S = 0x162, OP_NE_IA = 0x163, OP_NE_FA = 0x164, OP_NE_SA = 0x165,
  OP_XOR_I = 0x168,
  OP_LAND_I = 0x170,
  OP_LOR_I = 0x178,
  OP_BAND_I = 0x180,
  OP_BOR_I = 0x188,

  // Unary operators on the top cell, and no-operations.
  OP_NOT = 0x190, OP_NOP = 0x191, OP_BNOT = 0x198, OP_NEG_I = 0x1A0, OP_NEG_F = 0x1A1,
  OP_NOP2 = 0x1A8, OP_NOP3 = 0x1A9,

  // Assignments: base + 8 * row + column; the popped form is + OP_POPPED.
  OP_ASSIGN = 0x1B0,          // scalar, columns 0 int, 1 float, 2 string, 3-5 arrays (row 0 only)
  OP_ASSIGN_ELEMENT = 0x270,  // array element, columns 0-2 (the element type)
  OP_POPPED = 0x60,

  OP_PUSH_INT = 0x800,     // i32
  OP_PUSH_STRING = 0x801,  // i16 n, n bytes (n counts the NUL)
  OP_LOAD = 0x802,         // var
  OP_PUSH_FLOAT = 0x803,   // u32 float bits
  OP_CALL = 0x80F,         // u32 function hash, u32 call cache, i16 argc
  OP_CALL_DROP = 0x810,
  OP_LOCALS = 0x829,  // i16 n, n type bytes
  OP_RETURN = 0x82B,
  OP_JUMP = 0x82C,        // i32 offset
  OP_JUMP_TRUE = 0x82D,   // i32 offset
  OP_JUMP_FALSE = 0x82E,  // i32 offset
  OP_POP = 0x82F,
  OP_SWITCH = 0x830,   // i32 offset
  OP_CASE_EQ = 0x831,  // i32 offset, for each case
  OP_CASE_GT = 0x832,
  OP_CASE_LT = 0x833,
  OP_BUILTIN = 0x834,       // u32 built-in hash, i16 argc
  OP_BUILTIN_DROP = 0x835,
  OP_PARAMS = 0x836,        // i16 n, n type bytes
  OP_LOAD_ELEMENT = 0x837,  // var
  OP_CASE_LE = 0x838,
  OP_CASE_GE = 0x839,
  OP_LINE = 0x83A,           // i16 line
  OP_DECIDE_LABEL = 0x83B,   // i32 offset
  OP_MIDDLE_LABEL = 0x83C,
  OP_CANCEL_LABEL = 0x83D,
  OP_FLOAT_TO_INT = 0x83E,
  OP_INT_TO_FLOAT = 0x83F,
  OP_MSG_TEXT = 0x840,  // i16 n, n bytes
  OP_MSG_SHOW = 0x841,
  OP_MSG_CODE = 0x842,  // i16 n, n bytes
  OP_ALL_LABELS = 0x843,    // i32 offset
  OP_CLEAR_LABELS = 0x844,
  OP_BACK_LABEL = 0x845,    // i32 offset
  OP_GO_BACK = 0x846,
  OP_END_LABEL = 0x847,     // i32 offset
  OP_JUMP_TABLE = 0x850,    // i16 n, n x i32 offsets
};

// Rows of the binary operators and of the assignments.
enum binary_row { BIN_MUL, BIN_DIV, BIN_MOD, BIN_ADD, BIN_SUB, BIN_SHR, BIN_SHL, BIN_LE, BIN_LT, BIN_GE, BIN_GT,
                  BIN_EQ, BIN_NE, BIN_XOR, BIN_LAND, BIN_LOR, BIN_BAND, BIN_BOR, BINARY_ROWS };
enum assign_row { ASN_SET, ASN_MUL, ASN_DIV, ASN_MOD, ASN_ADD, ASN_SUB, ASN_SHL, ASN_SHR, ASN_AND, ASN_XOR, ASN_OR,
                  ASSIGN_ROWS };

// The variable access word (u16) of loads and assignments.
enum access_mode { ACCESS_READ = 0, ACCESS_PRE_INC = 1, ACCESS_PRE_DEC = 2, ACCESS_POST_INC = 3, ACCESS_POST_DEC = 4 };
enum access_unary { UNARY_NONE = 0, UNARY_NEG = 1, UNARY_NOT = 2, UNARY_BNOT = 3 };
inline int access_mode_of(uint16_t w) { return w & 7; }
inline int access_unary_of(uint16_t w) { return (w >> 3) & 3; }
inline int access_scope_of(uint16_t w) { return (w >> 5) & 7; }
inline int access_type_of(uint16_t w) { return (w >> 8) & 7; }
inline int access_indices_of(uint16_t w) { return (w >> 11) & 31; }
inline uint16_t access_word(int mode, int unary, int scope, int type, int indices) {
  return static_cast<uint16_t>((mode & 7) | (unary & 3) << 3 | (scope & 7) << 5 | (type & 7) << 8 | (indices & 31) << 11);
}

// The variable operand group: u16 access word, u32 name hash, u16 slot hint.
constexpr int VAR_OPERAND_SIZE = 8;
constexpr int VAR_HINT_OFFSET = 6;

// The switch value lives in this thread variable.
constexpr uint32_t SWITCH_VALUE_HASH = 0x11F91FD3;
