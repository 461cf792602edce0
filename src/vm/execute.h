// Inside the interpreter: what the pass (interpreter.cpp), the opcode loop (opcodes.cpp) and the
// operators (operators.cpp) share. Nothing outside these three files includes it.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/int32.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/thread.h"
#include "vm/value.h"
#include "vm/variables.h"

// The run state; read after every instruction that can change it.
extern int32_t vm_run_state;

// Gives the thread its turn: it runs until it yields, ends its turn or ends the run.
void thread_turn(script_thread* t);
// Runs the current thread until the run state leaves RUN_GO.
void thread_execute();
// The return instruction: end label, thread end at depth 0, or back into the caller with the
// result collapsed; repeated while the frame it lands in has no code.
void op_return();
// Collapses the cells base..top-1 of frame f into the result at top-1 (drop 0) or into nothing.
void stack_collapse(script_thread* t, call_frame* f, int32_t base, int32_t top, int32_t drop);

// Malformed code: the report, then the frame returns (its code pointer becomes 0).
extern const char FAULT_STACK[];    // an instruction needs more cells than the frame holds
extern const char FAULT_COUNT[];    // a negative count operand
extern const char FAULT_RANGE[];    // a target or operand outside the object's code
extern const char FAULT_OPERAND[];  // an access word or type byte that no compiler writes
// A variable found with another type than the instruction's.
extern const char REPORT_TYPE_MISMATCH[];
void exec_fault(uint16_t op, const char* reason);

// Unaligned little-endian operands.
inline uint16_t code_u16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}
inline int16_t code_i16(const uint8_t* p) { return static_cast<int16_t>(code_u16(p)); }
inline uint32_t code_u32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline int32_t code_i32(const uint8_t* p) { return static_cast<int32_t>(code_u32(p)); }

// Pushes onto the thread's stack at frame f (f is the current frame).
inline void exec_push(script_thread* t, call_frame* f, const value_cell& c) {
  int32_t top = f->top;
  t->stack[top] = c;
  f->top = ++top;
  if (top >= t->stack_capacity - TABLE_HEADROOM) stack_grow(t);
}
// Pops (and releases) n cells of the current frame.
inline void stack_drop(int n) {
  while (n-- > 0) stack_pop();
}
// The default value of a type (0, 0.0, an empty string, a 1x1x1 array) as a stack temporary.
value_cell default_cell(int type);

// Cell views that never follow a pointer of the wrong type: the text of a non-string is "".
inline const char* cell_text(const value_cell* c) { return c->type == TYPE_STRING && c->s ? c->s->text : ""; }
inline int32_t cell_text_bytes(const value_cell* c) {  // without the NUL
  return c->type == TYPE_STRING && c->s ? c->s->length - 1 : 0;
}
// A float operand: the float of a float cell, the int converted otherwise.
inline float float_operand(const value_cell* c) { return c->type == TYPE_FLOAT ? c->f : static_cast<float>(c->i); }
// Truth of a cell for the conditional jumps.
inline bool cell_true(const value_cell* c) {
  if (c->type == TYPE_FLOAT) return c->f != 0.0f;
  if (c->type == TYPE_STRING) return c->s && c->s->length > 1;
  if (type_is_block(c->type)) return c->a != nullptr;
  return c->i != 0;
}

// Applies a load's access mode (++x, --x, x++, x--) and unary operator to a variable or element.
int32_t access_int(int32_t* slot, uint16_t access);
float access_float(float* slot, uint16_t access);

// The variable of key (hash, type, scope) through the slot hint; created with the type's default
// when absent. Null only for a local slot outside the frame (reported).
value_cell* variable_get(const value_cell* key, uint8_t* hint);
// The array variable of an element instruction. A missing array is reported and created 1x1x1;
// one of another type is reported and gives null.
value_cell* array_variable(uint32_t hash, int type, int scope, uint8_t* hint);
// Pops count (1-3) index cells and gives the element index, each index reduced to its dimension
// (-1 is the last element); -1 after the report for an array never given a size.
int64_t array_index(array_block* a, int count);

// Operators and assignments (operators.cpp). The int operators are inline in the opcode loop.
bool binary_defined(uint16_t op);
bool assign_defined(uint16_t op);          // 0x1B0-0x267, scalar
bool assign_element_defined(uint16_t op);  // 0x270-0x327, elements
void op_binary(uint16_t op);               // float, string and array operators
void op_assign(uint16_t op);
void op_assign_element(uint16_t op);

// Every defined opcode (163 of them).
bool opcode_defined(uint16_t op);

// The arithmetic of the int operators and their assignments. Division by 0 gives a × 10000 and
// the remainder by 0 gives 0: compiled scripts rely on both.
enum arith_op { ARITH_MUL, ARITH_DIV, ARITH_MOD, ARITH_ADD, ARITH_SUB, ARITH_SHL, ARITH_SHR, ARITH_AND, ARITH_XOR, ARITH_OR };
inline int32_t int_arith(int op, int32_t a, int32_t b) {
  switch (op) {
    case ARITH_MUL: return i32_mul(a, b);
    case ARITH_DIV: return b == 0 ? i32_mul(a, 10000) : i32_div(a, b);
    case ARITH_MOD: return b == 0 ? 0 : i32_rem(a, b);
    case ARITH_ADD: return i32_add(a, b);
    case ARITH_SUB: return i32_sub(a, b);
    case ARITH_SHL: return i32_shl(a, b);
    case ARITH_SHR: return i32_sar(a, b);
    case ARITH_AND: return a & b;
    case ARITH_XOR: return a ^ b;
    default: return a | b;
  }
}
// Float arithmetic; division by 0.0 divides by 0.00001 instead.
inline float float_arith(int op, float a, float b) {
  switch (op) {
    case ARITH_MUL: return a * b;
    case ARITH_DIV: return b == 0.0f ? static_cast<float>(a / 0.00001) : a / b;
    case ARITH_ADD: return a + b;
    default: return a - b;
  }
}

// Whether a comparison of binary_row row holds for the order of two operands (<0, 0, >0).
inline bool comparison_holds(int row, int order) {
  switch (row) {
    case BIN_LE: return order <= 0;
    case BIN_LT: return order < 0;
    case BIN_GE: return order >= 0;
    case BIN_GT: return order > 0;
    case BIN_EQ: return order == 0;
    default: return order != 0;
  }
}

// A float operator on two cells that hold no block: L becomes the float result, or an int for a
// comparison. Float < and >= give -1 for true, the others 1.
inline void float_operator(int row, value_cell* l, const value_cell* r) {
  float a = float_operand(l), b = float_operand(r);
  int32_t truth;
  switch (row) {
    case BIN_MUL: *l = float_cell(float_arith(ARITH_MUL, a, b), l->hash); return;
    case BIN_DIV: *l = float_cell(float_arith(ARITH_DIV, a, b), l->hash); return;
    case BIN_ADD: *l = float_cell(float_arith(ARITH_ADD, a, b), l->hash); return;
    case BIN_SUB: *l = float_cell(float_arith(ARITH_SUB, a, b), l->hash); return;
    case BIN_LE: truth = a <= b; break;
    case BIN_LT: truth = a < b ? -1 : 0; break;
    case BIN_GE: truth = a >= b ? -1 : 0; break;
    case BIN_GT: truth = a > b; break;
    case BIN_EQ: truth = a == b; break;
    default: truth = a != b; break;
  }
  *l = int_cell(truth, l->hash);
}

// Whether a's text followed by b's stays within STRING_MAX_BYTES (summed in 64 bits).
inline bool text_join_fits(int32_t a_bytes, int32_t b_bytes) {
  return static_cast<uint64_t>(static_cast<uint32_t>(a_bytes)) + static_cast<uint32_t>(b_bytes) <= STRING_MAX_BYTES;
}
// a's text followed by b's, in a new block. A longer result is reported and refused: the block
// holds a's text alone, so the left operand stands as it was. The opcode loop's inline handlers
// hand such a join to the stored form's code, which reports it where the instruction is.
string_block* text_concat(const char* a, int32_t a_bytes, const char* b, int32_t b_bytes);
