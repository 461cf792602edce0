// Inside the interpreter: code blocks decoded into records, once, when code in them first runs.
//
// A record holds what the opcode loop needs of one instruction, resolved: the handler's address,
// the operands, the jump target as a record, and the stored-form address of the instruction,
// which is what frames, labels, saves and reports keep. The records of a run of instructions lie
// one after the other, so falling through is the next record. Malformed code that can be seen in
// the stored form alone becomes a fault record, which reports when it runs, exactly where the
// instruction would have reported. Nothing outside the interpreter includes this, but for the
// instruction-start query that checks a save's frames.
#pragma once

#include <cstdint>
#include <vector>

// Handler slots: the opcode loop's table of handler addresses is in this order.
enum exec_slot : uint16_t {
  SLOT_OTHER,         // done out of line by op_other, from the stored form
  SLOT_FAULT,         // malformed: report `fault`, the frame returns
  SLOT_LINK,          // goes on at `target` (the end of a run that meets decoded code)
  SLOT_MUL_I, SLOT_DIV_I, SLOT_MOD_I, SLOT_ADD_I, SLOT_SUB_I, SLOT_SHR_I, SLOT_SHL_I,
  SLOT_LE_I, SLOT_LT_I, SLOT_GE_I, SLOT_GT_I, SLOT_EQ_I, SLOT_NE_I,
  SLOT_XOR_I, SLOT_LAND_I, SLOT_LOR_I, SLOT_BAND_I, SLOT_BOR_I,
  SLOT_NOT, SLOT_BNOT, SLOT_NEG_I, SLOT_NEG_F, SLOT_NOP,
  SLOT_PUSH_INT,      // a: the bits
  SLOT_PUSH_FLOAT,    // a: the bits
  SLOT_PUSH_STRING,   // a: n, the text follows the count in the stored form
  SLOT_LOAD_LOCAL,    // a plain read of an int local; a: slot, hash
  SLOT_LOAD_TABLE,    // an int of a table scope through the slot hint; word, hash
  SLOT_LOAD,          // any other load (a local's slot in a), inline once the variable is found
  SLOT_SET_LOCAL,     // int set into a local (kept or popped by op); a: slot, hash
  SLOT_SET_TABLE,     // int set into a table variable through the hint
  SLOT_POP,
  SLOT_CALL,          // a: argc, hash; target caches the callee's first record
  SLOT_RETURN,
  SLOT_JUMP,          // target
  SLOT_JUMP_TRUE,     // target (null: outside the block, reported when taken)
  SLOT_JUMP_FALSE,
  SLOT_BUILTIN,
  SLOT_LINE,          // a: line; hash, sub: its read-mark byte and bit
  SLOT_FLOAT_TO_INT, SLOT_INT_TO_FLOAT,
  SLOT_LOCALS,        // a: n, the type bytes follow the count (checked)
  SLOT_PARAMS,        // likewise
  SLOT_ASSIGN_INT,    // an int compound assignment (x op= v); sub: its assign_row
  SLOT_ASSIGN,        // every other scalar assignment but int =; sub: row, column: the type column
  SLOT_LOAD_ELEMENT,  // an array element onto the stack (word: its access word)
  SLOT_ASSIGN_ELEMENT,  // an element assignment; sub: row, column: the element type
  SLOT_FLOAT_OP,      // a float operator; sub: its binary_row
  SLOT_STRING_OP,     // string concatenation and comparisons; sub: row
  SLOT_ARRAY_EQ,      // array = and !=; sub: row
  SLOT_SWITCH,        // cases: the switch's target and its case chain (null: target outside the block)
  SLOT_CASE,          // target: where a failed case goes (null: outside the block, reported then)
  SLOT_JUMP_TABLE,    // a: n; table: the n entries' records (null: outside the block, reported when taken)
  // Superinstructions: the first record of a common sequence, with the sequence's own records
  // after it. Each tests what it needs (cells, types, hints) and otherwise runs the first
  // instruction alone.
  SLOT_CMP_JUMP,      // load.i v; push.i k; <compare>.i; jt/jf
  SLOT_ARITH_VV,      // load.i v; load.i w; <op>.i; set.i.pop x (and a jmp after it: sub | SUB_JUMPS)
  SLOT_ARITH_VK,      // load.i v; push.i k; <op>.i; set.i.pop x (likewise)
  SLOT_PUSH_VV,       // load.i v; load.i w; <op>.i: the result pushed
  SLOT_PUSH_VK,       // load.i v; push.i k; <op>.i
  SLOT_CMP_JUMP_L,    // the same three when every variable is a local
  SLOT_ARITH_VV_L,
  SLOT_ARITH_VK_L,
  SLOT_CMP_JUMP_T,    // and when none is
  SLOT_ARITH_VV_T,
  SLOT_ARITH_VK_T,
  SLOT_ASSIGN_V,      // load.i v; set<op>.i.pop x (and a jmp after it); sub: the assign_row | SUB_JUMPS
  SLOT_ASSIGN_K,      // push.i k; set<op>.i.pop x (likewise)
  SLOT_STRING_K,      // push.s k; <string operator>, the text read from the code; sub: the row
  // A line mark followed by one of these: the mark, then that handler without a dispatch.
  SLOT_LINE_CMP_JUMP_L, SLOT_LINE_ARITH_VV_L, SLOT_LINE_ARITH_VK_L, SLOT_LINE_CMP_JUMP_T, SLOT_LINE_ARITH_VV_T,
  SLOT_LINE_ARITH_VK_T, SLOT_LINE_PUSH_VV, SLOT_LINE_PUSH_VK, SLOT_LINE_ASSIGN_V, SLOT_LINE_ASSIGN_K,
  SLOT_COUNT
};

constexpr uint8_t SUB_JUMPS = 0x80;  // a superinstruction followed by a jmp takes it too

struct decoded_op;

// A switch whose target is a chain of int cases as the compiler lays them out (push.i k; case.eq
// next; and at next: pop; push.i k'; case.eq next'; ...). For an int value the case that holds is
// found by a search of the sorted keys instead of running the chain: its key is pushed, as the
// chain leaves it, and the code goes on after its case.eq; when none holds, on at the last
// case's target with the last key pushed.
struct case_entry {
  int32_t key;
  decoded_op* next;
};
struct case_chain {
  decoded_op* start;  // the switch's target
  decoded_op* otherwise;
  int32_t last_key;
  std::vector<case_entry> entries;  // sorted by key, the first of equal keys only; none: no chain there
};

struct decoded_op {
  const void* handler;  // the opcode loop's label for slot
  uint8_t* at;          // the instruction's opcode in the stored form
  union {
    decoded_op* target;  // jumps (null: outside the block); links; calls: the callee last seen
    const char* fault;   // fault records
    case_chain* cases;   // switches
    decoded_op** table;  // jump tables
  };
  int32_t a;
  uint32_t hash;
  uint16_t op;
  uint16_t slot;
  uint16_t word;   // access word of a variable operand
  uint8_t sub;     // superinstructions: the operator's row; compare-and-jump: when it jumps (jump_mask)
  uint8_t scope;   // access_scope_of(word)
  uint8_t column;  // operators and assignments: the type column; element instructions: the element type
  bool popped;     // assignments: the popped form
  union {
    uint32_t epoch;  // calls: resolved_call_epoch when target was resolved
    uint32_t seen;   // switches and cases: the switch value's slot in the thread's table, last found
  };
};

// The record of the instruction at address, decoding what is needed first; handlers are the
// opcode loop's label addresses by slot. Null when no code block holds the address.
decoded_op* decode_at(uint8_t* address, const void* const* handlers);

// The record already decoded for the instruction at address, or null (decodes nothing).
const decoded_op* decode_find(const uint8_t* address);

// Whether an instruction of the stored form starts at address (the end of its code included):
// one met reading the code from its block's start or from one of its object's functions. A saved
// frame resumes only at such an address.
bool decode_is_instruction_start(const uint8_t* address);

// Forgets every decoded block (the code blocks are being freed).
void decode_reset();

// The record for the instruction after r, when the frame now continues at code: usually the
// next record, else found again.
inline decoded_op* decode_resume(decoded_op* r, uint8_t* code, const void* const* handlers) {
  decoded_op* next = r + 1;
  return next->at == code ? next : decode_at(code, handlers);
}
