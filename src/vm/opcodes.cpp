// The opcode loop and every instruction that is not an operator or an assignment: pushes, loads,
// calls and returns, locals and parameters, jumps, switch and case, skip labels, line marks,
// casts and the message instructions.
//
// The loop keeps the code pointer in a local and writes it back to the frame before anything
// that may look at it (built-ins, reports, calls); instructions done out of line work on the
// frame's code pointer, and the loop reloads it after them. Code blocks come from outside, so
// every count, target and operand span is checked against the block that holds the instruction
// (fixed-size operands need no check: every block ends in 16 bytes of return instructions).
#include <array>
#include <cstring>

#include "base/cp932.h"
#include "platform/window.h"
#include "text/message.h"
#include "text/msg_control.h"
#include "vm/debugger.h"
#include "vm/decode.h"
#include "vm/dispatcher.h"
#include "vm/execute.h"
#include "vm/opcodes.h"
#include "vm/readmark.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"

const char FAULT_STACK[] = "スタックの値が足りません";
const char FAULT_COUNT[] = "個数が負の値です";
const char FAULT_RANGE[] = "オブジェクトのコードの外を指しています";
const char FAULT_OPERAND[] = "オペランドが不正です";
const char REPORT_TYPE_MISMATCH[] = "発見した変数のタイプが違うエラー\nスタックに積まれて居ないのに参照したんではないか？";

void exec_fault(uint16_t op, const char* reason) {
  script_error("コード[%04X] : %s", op, reason);
  vm_frame->code = nullptr;
  op_return();
}

value_cell default_cell(int type) {
  value_cell c = int_cell(0);
  c.type = static_cast<int16_t>(type);
  var_init_storage(&c);
  return c;
}

static value_cell var_key(uint32_t hash, int type, int scope) {
  value_cell c = int_cell(0, hash);
  c.type = static_cast<int16_t>(type);
  c.scope = static_cast<int16_t>(scope);
  return c;
}

// ---------------------------------------------------------------------------------------------
// Returns and stack collapse

void stack_collapse(script_thread* t, call_frame* f, int32_t base, int32_t top, int32_t drop) {
  value_cell* s = t->stack;
  if (drop || top <= base) {
    for (int32_t i = top - 1; i >= base; --i) value_release(&s[i]);
    f->top = base;
    if (!drop) s[f->top++] = int_cell(0);  // nothing was left to be the result
    return;
  }
  for (int32_t i = top - 2; i >= base; --i) value_release(&s[i]);
  s[base] = s[top - 1];
  f->top = base + 1;
}

void op_return() {
  script_thread* t = vm_thread;
  for (;;) {
    call_frame* f = &t->frames[t->depth];
    if (f->end_label) {
      f->code = f->end_label;
      f->end_label = nullptr;
      return;
    }
    if (t->depth == 0) {
      switch (t->state) {
        case THREAD_RUNNING: t->state = THREAD_TOLD_TO_END; break;
        case THREAD_END_LABELS: t->state = THREAD_LABELS_DONE; break;
        case THREAD_END_HANDLER: t->state = THREAD_DEAD; break;
        case THREAD_TOLD_TO_END:
        case THREAD_LABELS_DONE:
          if (f->code) f->code -= 2;  // back onto the return: the thread waits for its end processing
          break;
        default: break;
      }
      vm_run_state = RUN_END_TURN;
      return;
    }
    int32_t top = f->top;
    call_frame* caller = f - 1;
    t->depth--;
    vm_frame = caller;
    stack_collapse(t, caller, caller->top, top, caller->drop_result);
    if (caller->code) return;
  }
}

// ---------------------------------------------------------------------------------------------
// Operands of the out-of-line instructions, read at the frame's code pointer

// The target of the offset at offset_at, checked against the block of the instruction at op_at;
// null when it lies outside.
static uint8_t* target_of(const uint8_t* op_at, const uint8_t* offset_at) {
  uintptr_t target = reinterpret_cast<uintptr_t>(offset_at) + 4 + static_cast<intptr_t>(code_i32(offset_at));
  return code_target_valid(op_at, target) ? reinterpret_cast<uint8_t*>(target) : nullptr;
}

// An i16 count and that many bytes; null (reported, the frame returned) for a negative count or
// bytes beyond the block.
static const uint8_t* counted_operand(uint16_t op, int* count) {
  uint8_t* at = vm_frame->code;
  int n = code_i16(at);
  if (n < 0) {
    exec_fault(op, FAULT_COUNT);
    return nullptr;
  }
  if (!code_target_valid(at - 2, reinterpret_cast<uintptr_t>(at) + 2 + static_cast<uintptr_t>(n))) {
    exec_fault(op, FAULT_RANGE);
    return nullptr;
  }
  vm_frame->code = at + 2 + n;
  *count = n;
  return at + 2;
}

// A counted list of value types (0-5).
static const uint8_t* type_list(uint16_t op, int* count) {
  const uint8_t* types = counted_operand(op, count);
  if (!types) return nullptr;
  for (int k = 0; k < *count; ++k)
    if (types[k] > TYPE_STRING_ARRAY) {
      exec_fault(op, FAULT_OPERAND);
      return nullptr;
    }
  return types;
}

// ---------------------------------------------------------------------------------------------
// Variables

int32_t access_int(int32_t* slot, uint16_t access) {
  int32_t v = *slot;
  switch (access_mode_of(access)) {
    case ACCESS_PRE_INC: v = *slot = i32_add(v, 1); break;
    case ACCESS_PRE_DEC: v = *slot = i32_sub(v, 1); break;
    case ACCESS_POST_INC: *slot = i32_add(v, 1); break;
    case ACCESS_POST_DEC: *slot = i32_sub(v, 1); break;
    default: break;
  }
  switch (access_unary_of(access)) {
    case UNARY_NEG: return i32_neg(v);
    case UNARY_NOT: return v == 0;
    case UNARY_BNOT: return ~v;
    default: return v;
  }
}

float access_float(float* slot, uint16_t access) {
  float v = *slot;
  switch (access_mode_of(access)) {
    case ACCESS_PRE_INC: v = *slot = v + 1.0f; break;
    case ACCESS_PRE_DEC: v = *slot = v - 1.0f; break;
    case ACCESS_POST_INC: *slot = v + 1.0f; break;
    case ACCESS_POST_DEC: *slot = v - 1.0f; break;
    default: break;
  }
  return access_unary_of(access) == UNARY_NEG ? -v : v;
}

value_cell* variable_get(const value_cell* key, uint8_t* hint) {
  if (value_cell* var = var_find(key, hint)) return var;
  value_cell fresh = default_cell(key->type);
  fresh.hash = key->hash;
  fresh.scope = key->scope;
  value_cell* var = var_assign(&fresh, hint);
  if (!var) script_error("ローカル変数[%d]がスタックの範囲外です", code_i16(hint));
  return var;
}

value_cell* array_variable(uint32_t hash, int type, int scope, uint8_t* hint) {
  value_cell key = var_key(hash, type, scope);
  value_cell* var = var_find(&key, hint);
  if (!var) {
    script_error("Array : イニシャライズされていない配列を参照しました");
    var = variable_get(&key, hint);
    if (!var) return nullptr;
  }
  if (var->type != type) {
    script_error("%s", REPORT_TYPE_MISMATCH);
    return nullptr;
  }
  return var;
}

static inline int32_t index_wrap(int32_t v, int32_t size) {
  if (static_cast<uint32_t>(v) < static_cast<uint32_t>(size)) return v;
  int32_t r = v % size;
  return r < 0 ? r + size : r;
}

// The element that count (1-3) indices name, each reduced to its dimension (-1 is the last
// element); -1 for an array never given a size.
static inline int64_t element_at(const array_block* a, const int32_t* index, int count) {
  if (!a || a->dims[0] <= 0 || a->dims[1] <= 0 || a->dims[2] <= 0) return -1;
  int64_t d1 = a->dims[1], d2 = a->dims[2];
  switch (count) {
    case 1: return index_wrap(index[0], a->dims[2]);
    case 2: return index_wrap(index[0], a->dims[1]) * d2 + index_wrap(index[1], a->dims[2]);
    default:
      return (index_wrap(index[0], a->dims[0]) * d1 + index_wrap(index[1], a->dims[1])) * d2 +
             index_wrap(index[2], a->dims[2]);
  }
}

int64_t array_index(array_block* a, int count) {
  int32_t index[3] = {0, 0, 0};
  for (int k = count - 1; k >= 0; --k) {
    index[k] = stack_top()->i;
    stack_pop();
  }
  int64_t i = element_at(a, index, count);
  if (i < 0) script_error("配列が初期化されていません。");
  return i;
}

// 0x802: a variable onto the stack.
static void op_load() {
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  uint16_t w = code_u16(at);
  uint32_t hash = code_u32(at + 2);
  uint8_t* hint = at + 6;
  f->code = at + VAR_OPERAND_SIZE;
  int type = access_type_of(w), scope = access_scope_of(w);
  if (scope > SCOPE_LOCAL || type > TYPE_STRING_ARRAY) return exec_fault(OP_LOAD, FAULT_OPERAND);
  value_cell key = var_key(hash, type, scope);
  value_cell* var = variable_get(&key, hint);
  value_cell c;
  if (!var) {
    c = default_cell(type);
  } else if (var->type != type && !(type == TYPE_FLOAT && var->type == TYPE_INT)) {
    // Never read a cell as another type: that could take an int for a block.
    script_error("%s", REPORT_TYPE_MISMATCH);
    c = default_cell(type);
  } else if (type == TYPE_INT) {
    c = int_cell(access_int(&var->i, w), var->hash);
  } else if (type == TYPE_FLOAT) {
    c = float_cell(access_float(&var->f, w), var->hash);  // an int variable's bits read as a float
  } else {
    value_copy(&c, var);
  }
  c.scope = SCOPE_LOCAL;
  exec_push(vm_thread, vm_frame, c);
}

// 0x837: an array element onto the stack.
static void op_load_element() {
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  uint16_t w = code_u16(at);
  uint32_t hash = code_u32(at + 2);
  f->code = at + VAR_OPERAND_SIZE;
  int type = access_type_of(w), count = access_indices_of(w);
  if (access_scope_of(w) > SCOPE_LOCAL || type > TYPE_STRING || count < 1 || count > 3)
    return exec_fault(OP_LOAD_ELEMENT, FAULT_OPERAND);
  if (f->top - count < f->base) return exec_fault(OP_LOAD_ELEMENT, FAULT_STACK);
  value_cell* var = array_variable(hash, type + TYPE_INT_ARRAY, access_scope_of(w), at + 6);
  array_block* a = var ? var->a : nullptr;
  if (a) a->refcount++;  // held while the indices go: one of them might be its last reference
  int64_t i = var ? array_index(a, count) : (stack_drop(count), -1);
  value_cell c = int_cell(0, hash);
  if (i < 0) {
    c = default_cell(type);
  } else if (type == TYPE_INT) {
    c.i = access_int(&array_numbers(a)[i].i, w);
  } else if (type == TYPE_FLOAT) {
    c = float_cell(access_float(&array_numbers(a)[i].f, w), hash);
  } else if (string_block* s = array_strings(a)[i]) {
    s->refcount++;
    c = string_cell(s, hash);
  } else {
    c = default_cell(TYPE_STRING);  // an element never filled reads as empty
  }
  array_release(a);
  c.scope = SCOPE_LOCAL;
  exec_push(vm_thread, vm_frame, c);
}

// ---------------------------------------------------------------------------------------------
// Locals and parameters

// 0x829: one local per type byte, each holding its type's default.
static void op_locals() {
  int n;
  const uint8_t* types = type_list(OP_LOCALS, &n);
  if (!types) return;
  for (int k = 0; k < n; ++k) exec_push(vm_thread, vm_frame, default_cell(types[k]));
}

// 0x836: the arguments against the declared parameter types. Too few: every parameter becomes its
// type's default, above a new argument count.
static void op_params() {
  int n;
  const uint8_t* types = type_list(OP_PARAMS, &n);
  if (!types) return;
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  int32_t argc = t->stack[f->base - 1].i;
  if (argc < n || f->base - 1 - n < 1) {
    script_error("関数のパラメータが不足しています。");
    for (int k = n; k >= 1; --k) exec_push(t, f, default_cell(types[k - 1]));
    exec_push(t, f, int_cell(n));
    f->base = f->top;
    return;
  }
  for (int k = 1; k <= n; ++k)
    if (t->stack[f->base - 1 - k].type != types[k - 1])
      script_error("関数のパラメータが(%d個中、%d番目)間違っています。", n, k);
}

// ---------------------------------------------------------------------------------------------
// Switch, case and the jump table

template <class T>
static bool case_holds(uint16_t op, T top, T value) {
  switch (op) {
    case OP_CASE_EQ: return top == value;
    case OP_CASE_GT: return top > value;
    case OP_CASE_LT: return top < value;
    case OP_CASE_LE: return top <= value;
    default: return top >= value;
  }
}

// 0x831-0x833, 0x838, 0x839 compare the top (kept) with the switch value v, and jump when this
// fails. Texts compare without regard to letter case.
static bool case_holds(uint16_t op, const value_cell* c, const value_cell* v) {
  if (c->type == TYPE_STRING || v->type == TYPE_STRING) return case_holds(op, cp932_icmp(cell_text(c), cell_text(v)), 0);
  if (c->type == TYPE_FLOAT || v->type == TYPE_FLOAT) return case_holds(op, float_operand(c), float_operand(v));
  return case_holds(op, c->i, v->i);
}

// ---------------------------------------------------------------------------------------------
// Skip labels, back and end labels

// The frame goes on at one of its labels, which is used up, and stops waiting.
static void frame_label_take(call_frame* f, uint8_t** label) {
  f->code = *label;
  *label = nullptr;
  f->wait_deadline = 0;
  f->wait_frame_mark = 0;
}

// A label whose key was pressed is taken at once.
static void label_key_take(call_frame* f, uint8_t** label, int32_t* key) {
  if (!*key) return;
  frame_label_take(f, label);
  *key = 0;
}

// 0x846: the first frame from the current one down whose back label lies beyond its code pointer
// continues there; the frames above it go on running.
static void op_go_back() {
  script_thread* t = vm_thread;
  for (int32_t d = t->depth; d >= 0; --d) {
    call_frame* f = &t->frames[d];
    if (reinterpret_cast<uintptr_t>(f->back_label) > reinterpret_cast<uintptr_t>(f->code))
      return frame_label_take(f, &f->back_label);
  }
}

// 0x83B-0x83D, 0x843, 0x845, 0x847: the labels that take a target.
static void op_label(uint16_t op) {
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  f->code = at + 4;
  uint8_t* target = target_of(at - 2, at);
  if (!target) return exec_fault(op, FAULT_RANGE);
  switch (op) {
    case OP_DECIDE_LABEL:
      f->decide_label = target;
      label_key_take(f, &f->decide_label, &t->decide_key);
      break;
    case OP_MIDDLE_LABEL:
      f->middle_label = target;
      label_key_take(f, &f->middle_label, &t->middle_key);
      break;
    case OP_CANCEL_LABEL:
      f->cancel_label = target;
      label_key_take(f, &f->cancel_label, &t->cancel_key);
      break;
    case OP_ALL_LABELS:
      f->decide_label = f->middle_label = f->cancel_label = target;
      label_key_take(f, &f->decide_label, &t->decide_key);
      label_key_take(f, &f->middle_label, &t->middle_key);
      label_key_take(f, &f->cancel_label, &t->cancel_key);
      break;
    case OP_BACK_LABEL:
      f->back_label = target;
      break;
    default:  // OP_END_LABEL
      f->end_label = target;
      f->wait_deadline = 0;
      f->wait_frame_mark = 0;
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Line marks and messages

// 0x840-0x842: handed to the message window.
static void op_message(uint16_t op) {
  int n;
  if (op == OP_MSG_SHOW) {
    call_frame* f = vm_frame;  // the layout may push hook frames above this one
    if (message(2)) f->code -= 2;
  } else if (const uint8_t* bytes = counted_operand(op, &n)) {
    if (op == OP_MSG_TEXT)
      msg_text_append(reinterpret_cast<const char*>(bytes), n);
    else
      msg_control_opcode(reinterpret_cast<const char*>(bytes), n);
  }
}

// ---------------------------------------------------------------------------------------------
// The opcode map

bool opcode_defined(uint16_t op) {
  if (op >= OP_BINARY && op < OP_NOT) return binary_defined(op);
  if (op >= OP_ASSIGN && op < OP_ASSIGN_ELEMENT) return assign_defined(op);
  if (op >= OP_ASSIGN_ELEMENT && op < OP_ASSIGN_ELEMENT + OP_POPPED + 8 * ASSIGN_ROWS) return assign_element_defined(op);
  switch (op) {
    case OP_NOT: case OP_NOP: case OP_BNOT: case OP_NEG_I: case OP_NEG_F: case OP_NOP2: case OP_NOP3:
    case OP_PUSH_INT: case OP_PUSH_STRING: case OP_LOAD: case OP_PUSH_FLOAT: case OP_CALL: case OP_CALL_DROP:
    case OP_LOCALS: case OP_RETURN: case OP_JUMP: case OP_JUMP_TRUE: case OP_JUMP_FALSE: case OP_POP:
    case OP_SWITCH: case OP_CASE_EQ: case OP_CASE_GT: case OP_CASE_LT: case OP_BUILTIN: case OP_BUILTIN_DROP:
    case OP_PARAMS: case OP_LOAD_ELEMENT: case OP_CASE_LE: case OP_CASE_GE: case OP_LINE: case OP_DECIDE_LABEL:
    case OP_MIDDLE_LABEL: case OP_CANCEL_LABEL: case OP_FLOAT_TO_INT: case OP_INT_TO_FLOAT: case OP_MSG_TEXT:
    case OP_MSG_SHOW: case OP_MSG_CODE: case OP_ALL_LABELS: case OP_CLEAR_LABELS: case OP_BACK_LABEL:
    case OP_GO_BACK: case OP_END_LABEL: case OP_JUMP_TABLE:
      return true;
    default:
      return false;
  }
}

// Everything the loop does not do inline.
static void op_other(uint16_t op) {
  switch (op) {
    case OP_LOAD_ELEMENT: return op_load_element();
    case OP_LOCALS: return op_locals();
    case OP_PARAMS: return op_params();
    case OP_DECIDE_LABEL: case OP_MIDDLE_LABEL: case OP_CANCEL_LABEL: case OP_ALL_LABELS: case OP_BACK_LABEL:
    case OP_END_LABEL:
      return op_label(op);
    case OP_CLEAR_LABELS:
      vm_frame->decide_label = vm_frame->cancel_label = vm_frame->middle_label = nullptr;
      return;
    case OP_GO_BACK: return op_go_back();
    case OP_MSG_TEXT: case OP_MSG_SHOW: case OP_MSG_CODE: return op_message(op);
    default: break;
  }
  if (op >= OP_BINARY && op < OP_NOT && binary_defined(op)) return op_binary(op);
  if (op >= OP_ASSIGN && op < OP_ASSIGN_ELEMENT && assign_defined(op)) return op_assign(op);
  if (op >= OP_ASSIGN_ELEMENT && assign_element_defined(op)) return op_assign_element(op);
  script_error("コード[%04X]は定義されていません", op);  // Retry goes on with the next word
}


// ---------------------------------------------------------------------------------------------
// The opcode loop, over decoded records

// No compiler gives an int operator a string or an array; should code do so, the block is
// released and counts as 0, so that its pointer is never overwritten with an int.
static void int_operands_mend(value_cell* c, int cells) {
  for (int k = 0; k < cells; ++k)
    if (static_cast<uint16_t>(c[k].type) > TYPE_FLOAT) {
      value_release(&c[k]);
      c[k] = int_cell(0);
    }
}
static inline bool int_operands_plain(const value_cell* c, int cells) {
  bool plain = true;
  for (int k = 0; k < cells; ++k) plain &= static_cast<uint16_t>(c[k].type) <= TYPE_FLOAT;
  return plain;
}

// The table variable (eternal, global or thread scope) of a variable operand, when its slot hint
// (in the stored form, where the full lookup mends it) is right; null sends the instruction down
// the full lookup.
static inline value_cell* hinted_variable(script_thread* t, const decoded_op* r) {
  int scope = r->scope;
  var_table* table = scope == SCOPE_GLOBAL ? &var_global : scope == SCOPE_THREAD ? &t->vars : &var_eternal;
  uint16_t slot = code_u16(r->at + 2 + VAR_HINT_OFFSET);
  if (slot >= table->count) return nullptr;
  value_cell* c = &table->cells[slot];
  return c->hash == r->hash ? c : nullptr;
}

// The cell of a local, when it lies in the frame (never the dummy cell at 0: every frame's base
// is at least 1, so the one unsigned comparison covers both ends).
static inline value_cell* local_variable(value_cell* stack, int32_t top, int32_t base, const decoded_op* r) {
  int32_t index = base + r->a;
  return static_cast<uint32_t>(index - 1) < static_cast<uint32_t>(top - 1) ? &stack[index] : nullptr;
}

// The variable of a variable operand, local or through its hint; null sends the instruction the
// long way.
static inline value_cell* operand_variable(script_thread* t, value_cell* stack, int32_t top, int32_t base,
                                           const decoded_op* r) {
  return r->scope == SCOPE_LOCAL ? local_variable(stack, top, base, r) : hinted_variable(t, r);
}

// The int variable a plain load reads; null when the load would do anything else.
static inline value_cell* int_variable(script_thread* t, value_cell* stack, int32_t top, int32_t base,
                                       const decoded_op* r) {
  value_cell* c = operand_variable(t, stack, top, base, r);
  return c && c->type == TYPE_INT ? c : nullptr;
}

// The same for operands known to be locals.
static inline value_cell* local_int(value_cell* stack, int32_t top, int32_t base, const decoded_op* r) {
  value_cell* c = local_variable(stack, top, base, r);
  return c && c->type == TYPE_INT ? c : nullptr;
}
static inline value_cell* local_destination(value_cell* stack, int32_t top, int32_t base, const decoded_op* r) {
  value_cell* c = local_variable(stack, top, base, r);
  return c && !type_is_block(c->type) ? c : nullptr;
}

// And for operands known to be table variables.
static inline value_cell* table_int(script_thread* t, const decoded_op* r) {
  value_cell* c = hinted_variable(t, r);
  return c && c->type == TYPE_INT ? c : nullptr;
}
static inline value_cell* table_destination(script_thread* t, const decoded_op* r) {
  value_cell* c = hinted_variable(t, r);
  return c && !type_is_block(c->type) ? c : nullptr;
}

// Where an int set stores: a local or a table variable that holds no block; null otherwise.
static inline value_cell* int_destination(script_thread* t, value_cell* stack, int32_t top, int32_t base,
                                          const decoded_op* r) {
  value_cell* c = operand_variable(t, stack, top, base, r);
  return c && !type_is_block(c->type) ? c : nullptr;
}

// Writes the int cell {hash, int, scope, v} as two 8-byte stores: a later 2- or 4-byte read of
// one field is then forwarded from the store, which a 16-byte vector store may not be.
static inline void cell_store_int(value_cell* c, int32_t v, uint32_t hash, int16_t scope = SCOPE_LOCAL) {
  uint64_t head = hash | uint64_t{static_cast<uint16_t>(TYPE_INT)} << 32 | uint64_t{static_cast<uint16_t>(scope)} << 48;
  uint64_t payload = static_cast<uint32_t>(v);
  asm("" : "+r"(head), "+r"(payload));  // keeps the two halves apart
  memcpy(c, &head, 8);
  memcpy(reinterpret_cast<char*>(c) + 8, &payload, 8);
}

// Copies a cell as two 8-byte halves: a cell just written that way (cell_store_int) is then
// forwarded from the stores, which a 16-byte read of two stores is not.
static inline void cell_move(value_cell* to, const value_cell* from) {
  uint64_t head, payload;
  memcpy(&head, from, 8);
  memcpy(&payload, reinterpret_cast<const char*>(from) + 8, 8);
  asm("" : "+r"(head), "+r"(payload));
  memcpy(to, &head, 8);
  memcpy(reinterpret_cast<char*>(to) + 8, &payload, 8);
}

// The int operators by row; comparisons give their int (GE gives -1 for true).
static inline int32_t int_operator(int row, int32_t a, int32_t b) {
  switch (row) {
    case BIN_MUL: return i32_mul(a, b);
    case BIN_DIV: return int_arith(ARITH_DIV, a, b);
    case BIN_MOD: return int_arith(ARITH_MOD, a, b);
    case BIN_ADD: return i32_add(a, b);
    case BIN_SUB: return i32_sub(a, b);
    case BIN_SHR: return i32_sar(a, b);
    case BIN_SHL: return i32_shl(a, b);
    case BIN_LE: return a <= b;
    case BIN_LT: return a < b;
    case BIN_GE: return a >= b ? -1 : 0;
    case BIN_GT: return a > b;
    case BIN_EQ: return a == b;
    case BIN_NE: return a != b;
    case BIN_XOR: return a ^ b;
    case BIN_LAND: return a && b;
    case BIN_LOR: return a || b;
    case BIN_BAND: return a & b;
    default: return a | b;
  }
}

// x op= b, an int compound assignment of assign_row row; the value it leaves on the stack. A
// remainder by 0 leaves x and gives 0.
static inline int32_t int_compound(int row, int32_t* x, int32_t b) {
  if (row == ASN_MOD && b == 0) return 0;
  return *x = row == ASN_ADD ? i32_add(*x, b) : int_arith(row - ASN_MUL, *x, b);
}

// A scalar assignment other than int = and the int compound ones, on the variable x found for it
// (never the assigned cell itself), with the value on top: done as op_assign does it, releasing
// the value in the popped form (the caller lowers the top). False, having done nothing, for what
// op_assign reports.
static inline bool assign_found(const decoded_op* r, value_cell* x, value_cell* value) {
  int row = r->sub;
  if (row == ASN_SET) {
    if (r->column == TYPE_FLOAT && value->type == TYPE_INT)
      *value = float_cell(static_cast<float>(value->i), r->hash);
    else
      value->hash = r->hash;
    value->scope = r->scope;
    value_cell v;
    value_copy(&v, value);  // the variable's own reference
    value_release(x);
    *x = v;
    if (r->popped) value_release(value);
    return true;
  }
  if (r->column == TYPE_STRING) {  // +=: a new block, shared by the kept result
    if (x->type != TYPE_STRING || !text_join_fits(cell_text_bytes(x), cell_text_bytes(value))) return false;
    string_block* s = text_concat(cell_text(x), cell_text_bytes(x), cell_text(value), cell_text_bytes(value));
    value_release(x);
    x->s = s;
    value_release(value);
    if (!r->popped) {
      s->refcount++;
      *value = string_cell(s);
    }
    return true;
  }
  // Float ×=, ÷=, +=, −=: the variable's payload read as a float.
  if (type_is_block(x->type) || type_is_block(value->type)) return false;
  x->f = float_arith(row - ASN_MUL, x->f, float_operand(value));
  *value = float_cell(x->f, r->hash);
  value->scope = r->scope;
  return true;
}

// The element that count index cells name in a, as array_index gives it; -1 when an index cell
// holds a block (which popping would release) or the array was never given a size.
static inline int64_t element_of(const array_block* a, const value_cell* cells, int count) {
  int32_t index[3];
  for (int k = 0; k < count; ++k) {
    if (type_is_block(cells[k].type)) return -1;
    index[k] = cells[k].i;
  }
  return element_at(a, index, count);
}

// An element assignment on element i of a, the value below the indices: done as
// op_assign_element does it, releasing the value in the popped form. False, having done nothing,
// for what it reports.
static inline bool element_assign(const decoded_op* r, array_block* a, int64_t i, value_cell* value) {
  int row = r->sub;
  if (r->column == TYPE_STRING) {
    if (value->type != TYPE_STRING || !value->s) return false;
    string_block** element = &array_strings(a)[i];
    if (row == ASN_SET) {
      value->s->refcount++;
      string_release(*element);
      *element = value->s;
      if (r->popped) value_release(value);
      return true;
    }
    string_block* old = *element;
    if (!text_join_fits(old ? old->length - 1 : 0, cell_text_bytes(value))) return false;
    string_block* s = text_concat(old ? old->text : "", old ? old->length - 1 : 0, cell_text(value), cell_text_bytes(value));
    string_release(old);
    *element = s;
    value_release(value);
    if (!r->popped) {
      s->refcount++;
      *value = string_cell(s);
    }
    return true;
  }
  if (type_is_block(value->type)) return false;
  array_number* e = &array_numbers(a)[i];
  if (row == ASN_SET) {
    e->i = value->i;  // the payload as it is
  } else if (r->column == TYPE_INT) {
    e->i = int_arith(row - ASN_MUL, e->i, value->i);
    if (row == ASN_MUL) value->i = e->i;
  } else {
    float b = float_operand(value);
    e->f = row == ASN_DIV && b == 0.0f ? e->f * 10000.0f : float_arith(row - ASN_MUL, e->f, b);
  }
  return true;
}

// The thread's switch value, through the slot the record found it at last (threads share code:
// the hash decides).
static inline value_cell* switch_value(script_thread* t, decoded_op* r) {
  var_table* vars = &t->vars;
  if (r->seen < static_cast<uint32_t>(vars->count) && vars->cells[r->seen].hash == SWITCH_VALUE_HASH)
    return &vars->cells[r->seen];
  value_cell* c = var_table_find(vars, SWITCH_VALUE_HASH);
  if (c) r->seen = static_cast<uint32_t>(c - vars->cells);
  return c;
}

// The case of the chain whose key is v, or null.
static inline const case_entry* case_find(const case_chain* chain, int32_t v) {
  const case_entry* e = chain->entries.data();
  size_t lo = 0, hi = chain->entries.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (e[mid].key < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < chain->entries.size() && e[lo].key == v ? &e[lo] : nullptr;
}

void thread_execute() {
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  // The registers: the frame's cells live in locals while the loop runs and are written back
  // before anything out of line looks at the frame.
  value_cell* stack;
  int32_t top, base, limit;
  bool line_hooks;  // the read filter names objects or a debugger window is open
  int* const line_read = line_was_read_slot();
  decoded_op* r;
  uint16_t op;
  const char* fault;

  // Every handler ends in its own copy of the dispatch (the compiler duplicates the computed
  // jump), so each instruction's successor is predicted apart.
  static void* const handlers[] = {
      &&h_OTHER, &&h_FAULT, &&h_LINK,
      &&h_MUL_I, &&h_DIV_I, &&h_MOD_I, &&h_ADD_I, &&h_SUB_I, &&h_SHR_I, &&h_SHL_I,
      &&h_LE_I, &&h_LT_I, &&h_GE_I, &&h_GT_I, &&h_EQ_I, &&h_NE_I,
      &&h_XOR_I, &&h_LAND_I, &&h_LOR_I, &&h_BAND_I, &&h_BOR_I,
      &&h_NOT, &&h_BNOT, &&h_NEG_I, &&h_NEG_F, &&h_NOP,
      &&h_PUSH_INT, &&h_PUSH_FLOAT, &&h_PUSH_STRING,
      &&h_LOAD_LOCAL, &&h_LOAD_TABLE, &&h_LOAD,
      &&h_SET_LOCAL, &&h_SET_TABLE,
      &&h_POP, &&h_CALL, &&h_RETURN, &&h_JUMP, &&h_JUMP_TRUE, &&h_JUMP_FALSE,
      &&h_BUILTIN, &&h_LINE, &&h_FLOAT_TO_INT, &&h_INT_TO_FLOAT, &&h_LOCALS, &&h_PARAMS,
      &&h_ASSIGN_INT, &&h_ASSIGN, &&h_LOAD_ELEMENT, &&h_ASSIGN_ELEMENT, &&h_FLOAT_OP, &&h_STRING_OP, &&h_ARRAY_EQ,
      &&h_SWITCH, &&h_CASE, &&h_JUMP_TABLE,
      &&h_CMP_JUMP, &&h_ARITH_VV, &&h_ARITH_VK, &&h_PUSH_VV, &&h_PUSH_VK,
      &&h_CMP_JUMP_L, &&h_ARITH_VV_L, &&h_ARITH_VK_L, &&h_CMP_JUMP_T, &&h_ARITH_VV_T, &&h_ARITH_VK_T,
      &&h_ASSIGN_V, &&h_ASSIGN_K, &&h_STRING_K,
      &&h_LINE_CMP_JUMP_L, &&h_LINE_ARITH_VV_L, &&h_LINE_ARITH_VK_L, &&h_LINE_CMP_JUMP_T, &&h_LINE_ARITH_VV_T,
      &&h_LINE_ARITH_VK_T, &&h_LINE_PUSH_VV, &&h_LINE_PUSH_VK, &&h_LINE_ASSIGN_V, &&h_LINE_ASSIGN_K,
  };
  static_assert(sizeof handlers / sizeof handlers[0] == SLOT_COUNT);

#define REGISTERS_LOAD()                          \
  do {                                            \
    stack = t->stack;                             \
    top = f->top;                                 \
    base = f->base;                               \
    limit = t->stack_capacity - TABLE_HEADROOM;   \
  } while (0)
#define LINE_HOOKS_LOAD() (line_hooks = read_filter_active() || debugger_window() != nullptr)
#define DISPATCH() goto* r->handler
#define NEXT()  \
  do {          \
    ++r;        \
    DISPATCH(); \
  } while (0)
// A jump, and every loop has one: a session's end asked for by a signal ends the turn there, so
// a script that never waits still comes back to the message peek that ends the game.
#define JUMP_TO(to)                                \
  do {                                             \
    r = (to);                                      \
    if (session_end_pending()) [[unlikely]]        \
      goto turn_end;                               \
    DISPATCH();                                    \
  } while (0)
#define GROW()                                     \
  do {                                             \
    if (++top >= limit) [[unlikely]] {             \
      f->top = top;                                \
      stack_grow(t);                               \
      stack = t->stack;                            \
      limit = t->stack_capacity - TABLE_HEADROOM;  \
    }                                              \
  } while (0)
#define PUSH(cell)         \
  do {                     \
    stack[top] = (cell);   \
    GROW();                \
  } while (0)
#define PUSH_INT(v, hash)                         \
  do {                                            \
    cell_store_int(&stack[top], (v), (hash));     \
    GROW();                                       \
  } while (0)
// Before an instruction done out of line: the frame's code pointer past the opcode (where the
// stored operands start) and its top.
#define FRAME_STORE()      \
  do {                     \
    f->code = r->at + 2;   \
    f->top = top;          \
  } while (0)
// After it: stop when the turn is over, else go on from the frame that is current now.
#define RESUME()                                                \
  do {                                                          \
    if (vm_run_state != RUN_GO || vm_thread != t) return;        \
    if (session_end_pending()) [[unlikely]] {                   \
      vm_run_state = RUN_END_TURN;                              \
      return;                                                   \
    }                                                           \
    f = vm_frame;                                               \
    REGISTERS_LOAD();                                           \
    LINE_HOOKS_LOAD();                                          \
    r = decode_resume(r, f->code, handlers);                    \
    if (!r) goto outside;                                       \
    DISPATCH();                                                 \
  } while (0)
// An int operator writes into L; a comparison also makes L an int.
#define INT_BINARY(name, result, comparison)                              \
  h_##name: {                                                             \
    if (top - 2 < base) goto stack_short;                                 \
    value_cell* l = &stack[top - 2];                                      \
    if (!int_operands_plain(l, 2)) [[unlikely]] int_operands_mend(l, 2);  \
    int32_t a = l[0].i, b = l[1].i;                                       \
    l[0].i = (result);                                                    \
    if (comparison) l[0].type = TYPE_INT;                                 \
    --top;                                                                \
    NEXT();                                                               \
  }
#define INT_OPERATOR(name, result) INT_BINARY(name, result, false)
#define INT_COMPARISON(name, result) INT_BINARY(name, result, true)
// A unary instruction on the top cell c.
#define UNARY(name, body)                                                \
  h_##name: {                                                            \
    if (top - 1 < base) goto stack_short;                                \
    value_cell* c = &stack[top - 1];                                     \
    if (!int_operands_plain(c, 1)) [[unlikely]] int_operands_mend(c, 1); \
    body;                                                                \
    NEXT();                                                              \
  }

  REGISTERS_LOAD();
  LINE_HOOKS_LOAD();
  r = f->resume && f->resume->at == f->code ? const_cast<decoded_op*>(f->resume) : decode_at(f->code, handlers);
  if (!r) goto outside;
  DISPATCH();
  {
    INT_OPERATOR(MUL_I, i32_mul(a, b))
    INT_OPERATOR(DIV_I, int_arith(ARITH_DIV, a, b))
    INT_OPERATOR(MOD_I, int_arith(ARITH_MOD, a, b))
    INT_OPERATOR(ADD_I, i32_add(a, b))
    INT_OPERATOR(SUB_I, i32_sub(a, b))
    INT_OPERATOR(SHR_I, i32_sar(a, b))
    INT_OPERATOR(SHL_I, i32_shl(a, b))
    INT_COMPARISON(LE_I, a <= b)
    INT_COMPARISON(LT_I, a < b)
    INT_COMPARISON(GE_I, a >= b ? -1 : 0)  // -1 for true: compiled scripts rely on it
    INT_COMPARISON(GT_I, a > b)
    INT_COMPARISON(EQ_I, a == b)
    INT_COMPARISON(NE_I, a != b)
    INT_OPERATOR(XOR_I, a ^ b)
    INT_OPERATOR(LAND_I, a && b)
    INT_OPERATOR(LOR_I, a || b)
    INT_OPERATOR(BAND_I, a & b)
    INT_OPERATOR(BOR_I, a | b)

    UNARY(NOT, c->i = c->i == 0)
    UNARY(BNOT, c->i = ~c->i)
    UNARY(NEG_I, c->i = i32_neg(c->i))
    UNARY(NEG_F, c->f = -c->f)
    UNARY(FLOAT_TO_INT, (c->i = i32_from_float(c->f), c->type = TYPE_INT))
    UNARY(INT_TO_FLOAT, (c->f = static_cast<float>(c->i), c->type = TYPE_FLOAT))

  h_NOP:
    NEXT();

  h_PUSH_INT:
    PUSH_INT(r->a, 0);
    NEXT();
  h_PUSH_FLOAT: {
    value_cell c = float_cell(0.0f);
    c.i = r->a;  // the bits as they stand
    PUSH(c);
    NEXT();
  }
  h_PUSH_STRING: {
    // a counts the NUL; the text always ends in one, whatever the last byte was.
    int n = r->a;
    PUSH(string_cell(string_block_new(reinterpret_cast<const char*>(r->at + 4), n > 0 ? n - 1 : 0)));
    NEXT();
  }

  h_LOAD_LOCAL: {
    value_cell* v = local_variable(stack, top, base, r);
    if (v && v->type == TYPE_INT) {
      PUSH_INT(v->i, v->hash);
      NEXT();
    }
    goto load_out;
  }
  h_LOAD_TABLE: {
    value_cell* var = hinted_variable(t, r);
    if (var && var->type == TYPE_INT) {
      PUSH_INT(access_int(&var->i, r->word), var->hash);
      NEXT();
    }
    goto load_out;
  }
  h_LOAD: {
    // A variable that is there and of the type asked (a float may be read from an int); a
    // missing one is created and a wrong type reported out of line.
    value_cell* var = operand_variable(t, stack, top, base, r);
    if (!var) goto load_out;
    int type = access_type_of(r->word);
    if (type == TYPE_INT) {
      if (var->type != TYPE_INT) goto load_out;
      PUSH_INT(access_int(&var->i, r->word), var->hash);
    } else if (type == TYPE_FLOAT) {
      if (var->type != TYPE_INT && var->type != TYPE_FLOAT) goto load_out;
      PUSH(float_cell(access_float(&var->f, r->word), var->hash));
    } else {
      if (var->type != type) goto load_out;
      value_cell c;
      value_copy(&c, var);
      c.scope = SCOPE_LOCAL;
      PUSH(c);
    }
    NEXT();
  }
  load_out:
    FRAME_STORE();
    op_load();
    RESUME();

  h_LOAD_ELEMENT: {
    int count = access_indices_of(r->word);
    if (top - count < base) goto h_OTHER;
    value_cell* var = operand_variable(t, stack, top, base, r);
    int64_t i;
    if (!var || var->type != r->column + TYPE_INT_ARRAY || (i = element_of(var->a, &stack[top - count], count)) < 0)
        [[unlikely]]
      goto h_OTHER;
    array_block* a = var->a;
    top -= count;
    if (r->column == TYPE_INT) {
      PUSH_INT(access_int(&array_numbers(a)[i].i, r->word), r->hash);
    } else if (r->column == TYPE_FLOAT) {
      PUSH(float_cell(access_float(&array_numbers(a)[i].f, r->word), r->hash));
    } else if (string_block* text = array_strings(a)[i]) {
      text->refcount++;
      PUSH(string_cell(text, r->hash));
    } else {
      PUSH(string_cell(string_block_empty()));  // an element never filled reads as empty
    }
    NEXT();
  }
  h_ASSIGN_ELEMENT: {
    int count = access_indices_of(r->word);
    if (top - count - 1 < base) goto h_OTHER;
    value_cell* var = operand_variable(t, stack, top, base, r);
    int64_t i;
    if (!var || var->type != r->column + TYPE_INT_ARRAY || (i = element_of(var->a, &stack[top - count], count)) < 0 ||
        !element_assign(r, var->a, i, &stack[top - count - 1])) [[unlikely]]
      goto h_OTHER;
    top -= count + r->popped;
    NEXT();
  }

  h_ASSIGN_INT: {
    // An int compound assignment on an int variable found at once; the rest out of line.
    if (top - 1 < base) goto h_OTHER;
    value_cell* value = &stack[top - 1];
    value_cell* x = operand_variable(t, stack, top, base, r);
    if (!x || x->type != TYPE_INT || value->type != TYPE_INT) [[unlikely]]
      goto h_OTHER;
    int32_t result = int_compound(r->sub, &x->i, value->i);
    if (r->popped)
      --top;
    else
      cell_store_int(value, result, r->hash, r->scope);
    NEXT();
  }
  h_ASSIGN: {
    if (top - 1 < base) goto h_OTHER;
    value_cell* value = &stack[top - 1];
    value_cell* x = operand_variable(t, stack, top, base, r);
    if (!x || x == value || !assign_found(r, x, value)) [[unlikely]]
      goto h_OTHER;
    top -= r->popped;
    NEXT();
  }

  h_FLOAT_OP: {
    if (top - 2 < base) goto stack_short;
    value_cell* l = &stack[top - 2];
    if (type_is_block(l[0].type) || type_is_block(l[1].type)) [[unlikely]]
      goto h_OTHER;
    float_operator(r->sub, l, l + 1);
    --top;
    NEXT();
  }
  h_STRING_OP: {
    // Both cells go (released) and the result takes their place.
    if (top - 2 < base) goto stack_short;
    value_cell* l = &stack[top - 2];
    if (r->sub == BIN_ADD && !text_join_fits(cell_text_bytes(&l[0]), cell_text_bytes(&l[1]))) [[unlikely]]
      goto h_OTHER;
    value_cell result =
        r->sub == BIN_ADD
            ? string_cell(text_concat(cell_text(&l[0]), cell_text_bytes(&l[0]), cell_text(&l[1]), cell_text_bytes(&l[1])))
            : int_cell(comparison_holds(r->sub, cp932_icmp(cell_text(&l[0]), cell_text(&l[1]))));
    value_release(&l[1]);
    value_release(&l[0]);
    *l = result;
    --top;
    NEXT();
  }
  h_STRING_K: {
    // push.s k; <string operator>: the operator on the top cell and the text in the code, which
    // never becomes a block. Without a cell below, the push runs alone.
    if (top - 1 < base) [[unlikely]]
      goto h_PUSH_STRING;
    value_cell* l = &stack[top - 1];
    const char* k = reinterpret_cast<const char*>(r->at + 4);
    int32_t bytes = r->a > 0 ? r->a - 1 : 0;  // as the pushed block would hold them
    if (r->sub == BIN_ADD && !text_join_fits(cell_text_bytes(l), bytes)) [[unlikely]]
      goto h_PUSH_STRING;
    value_cell result =
        r->sub == BIN_ADD
            ? string_cell(text_concat(cell_text(l), cell_text_bytes(l), k, bytes))
            : int_cell(comparison_holds(r->sub, cp932_icmp(cell_text(l), std::string_view(k, strnlen(k, bytes)))));
    value_release(l);
    *l = result;
    r += 2;
    DISPATCH();
  }
  h_ARRAY_EQ: {
    // Equal when both refer to the same block.
    if (top - 2 < base) goto stack_short;
    value_cell* l = &stack[top - 2];
    bool same = type_is_block(l[0].type) && l[0].type == l[1].type && l[0].a == l[1].a;
    value_release(&l[1]);
    value_release(&l[0]);
    *l = int_cell(comparison_holds(r->sub, same ? 0 : 1));
    --top;
    NEXT();
  }

// A report made with the frame's code pointer past the instruction's operands, as the
// instructions done from the stored form make it.
#define FAULT_PAST(length, reason)   \
  do {                               \
    f->code = r->at + (length);      \
    f->top = top;                    \
    exec_fault(r->op, (reason));     \
    RESUME();                        \
  } while (0)
  h_SWITCH: {
    // The top cell becomes the thread's switch value (its reference moves there). An int value
    // goes straight to the case of its chain that holds.
    if (top - 1 < base) FAULT_PAST(6, FAULT_STACK);
    value_cell v = stack[--top];
    v.hash = SWITCH_VALUE_HASH;
    v.scope = SCOPE_THREAD;
    if (value_cell* held = switch_value(t, r)) {
      value_release(held);
      *held = v;
    } else {
      f->top = top;
      value_cell* c = var_assign(&v, nullptr);
      r->seen = static_cast<uint32_t>(c - t->vars.cells);
    }
    case_chain* chain = r->cases;
    if (!chain) FAULT_PAST(6, FAULT_RANGE);
    if (v.type != TYPE_INT || chain->entries.empty()) JUMP_TO(chain->start);
    const case_entry* e = case_find(chain, v.i);
    PUSH_INT(e ? e->key : chain->last_key, 0);
    JUMP_TO(e ? e->next : chain->otherwise);
  }
  h_CASE: {
    if (top - 1 < base) FAULT_PAST(6, FAULT_STACK);
    value_cell none = int_cell(0);
    const value_cell* v = switch_value(t, r);
    if (case_holds(r->op, &stack[top - 1], v ? v : &none)) NEXT();
    if (!r->target) FAULT_PAST(6, FAULT_RANGE);
    JUMP_TO(r->target);
  }
  h_JUMP_TABLE: {
    // Entry `top` of the table; an index out of range takes the last entry, and a table without
    // entries goes on after it.
    if (top - 1 < base) goto stack_short;
    int32_t index = stack[top - 1].i;
    value_release(&stack[--top]);
    int n = r->a;
    if (n == 0) NEXT();
    if (index < 0 || index >= n) index = n - 1;
    decoded_op* to = r->table[index];
    if (!to) FAULT_PAST(4 + 4 * n, FAULT_RANGE);
    JUMP_TO(to);
  }
#undef FAULT_PAST

  h_SET_LOCAL:
  h_SET_TABLE: {
    // An int (or a float, cut to an int) stored into a local, or a table variable found through
    // its hint: a plain copy, no lookup; a block the variable held is released.
    if (top - 1 < base) goto h_OTHER;
    value_cell* value = &stack[top - 1];
    bool local = r->slot == SLOT_SET_LOCAL;
    value_cell* x = local ? local_variable(stack, top, base, r) : hinted_variable(t, r);
    if (x && static_cast<uint16_t>(value->type) <= TYPE_FLOAT) [[likely]] {
      // Built from the int alone: reading the whole cell just after an operator wrote its
      // payload would stall the store forwarding.
      uint32_t hash = local ? r->hash : x->hash;
      bool cast = value->type == TYPE_FLOAT;
      int32_t v = cast ? i32_from_float(value->f) : value->i;
      value_release(x);
      cell_store_int(x, v, hash, r->scope);
      if (r->op != OP_ASSIGN)
        --top;
      else if (cast)
        cell_store_int(value, v, hash, r->scope);
      else
        value->hash = hash, value->scope = r->scope;
      NEXT();
    }
    goto h_OTHER;
  }

  h_POP:
    if (top - 1 < base) goto stack_short;
    value_release(&stack[--top]);
    NEXT();

  h_CALL: {
    int32_t argc = r->a;
    if (argc > top - base) [[unlikely]] {
      f->code = r->at + 12;  // past the operands, as the report has always seen it
      f->top = top;
      exec_fault(r->op, FAULT_STACK);
      RESUME();
    }
    f->drop_result = r->op == OP_CALL_DROP;
    f->code = r->at + 12;
    f->resume = r + 1;
    PUSH_INT(argc, 0);
    f->top = top;
    call_frame* callee = frame_push(t, top);
    f->top = top - (argc + 1);  // the arguments and their count belong to the callee now
    decoded_op* entry = r->target;
    if (entry && r->epoch == resolved_call_epoch) [[likely]] {
      callee->code = entry->at;  // what call_resolve would give: nothing was forgotten since
    } else {
      uint8_t* code = call_resolve(r->hash, r->at + 6);
      callee->code = code;
      if (vm_run_state != RUN_GO || vm_thread != t) return;
      LINE_HOOKS_LOAD();  // a report may have pumped messages
      entry = decode_at(code, handlers);
      if (!entry) {
        f = callee;
        REGISTERS_LOAD();
        goto outside;
      }
      r->target = entry;
      r->epoch = resolved_call_epoch;
    }
    f = callee;
    REGISTERS_LOAD();
    r = entry;
    DISPATCH();
  }
  h_RETURN: {
    // Back into a caller that has code, without an end label: the cells collapse into the
    // result here. Everything else takes op_return.
    call_frame* caller = f - 1;
    if (f->end_label || t->depth == 0 || !caller->code) [[unlikely]]
      goto return_out_of_line;
    int32_t to = caller->top;
    if (caller->drop_result || top <= to) {
      for (int32_t k = top - 1; k >= to; --k) value_release(&stack[k]);
      caller->top = to;
      if (!caller->drop_result) cell_store_int(&stack[caller->top++], 0, 0);  // nothing was left to be the result
    } else {
      for (int32_t k = top - 2; k >= to; --k) value_release(&stack[k]);
      cell_move(&stack[to], &stack[top - 1]);
      caller->top = to + 1;
    }
    t->depth--;
    vm_frame = f = caller;
    top = f->top;
    base = f->base;
    const decoded_op* back = f->resume;
    r = back && back->at == f->code ? const_cast<decoded_op*>(back) : decode_at(f->code, handlers);
    if (!r) goto outside;
    DISPATCH();
  }
  return_out_of_line:
    FRAME_STORE();
    op_return();
    goto frame_enter;

  h_JUMP:
    JUMP_TO(r->target);
  h_JUMP_TRUE:
  h_JUMP_FALSE: {
    if (top - 1 < base) goto stack_short;
    value_cell* c = &stack[--top];
    bool jump = (c->type == TYPE_INT ? c->i != 0 : cell_true(c)) == (r->slot == SLOT_JUMP_TRUE);
    value_release(c);
    if (!jump) NEXT();
    if (!r->target) goto out_of_range;
    JUMP_TO(r->target);
  }

  h_BUILTIN:
    FRAME_STORE();
    builtin_dispatch(r->op == OP_BUILTIN_DROP);
    RESUME();

// The line mark of record r: the frame's line; on the main thread the line-was-read flag from
// the read marks (a line beyond the set counts as unread), then the read filter and the
// debugger's hook (which resumes at the next record itself).
#define LINE_MARK()                                                                          \
  do {                                                                                       \
    int32_t line = r->a;                                                                     \
    f->line = line;                                                                          \
    readmark_set* marks;                                                                     \
    if (f->mark_looked_up) [[likely]] {                                                      \
      marks = f->mark_object ? f->mark_object->readmarks : nullptr;                          \
    } else {                                                                                 \
      f->code = r->at + 4;                                                                   \
      marks = frame_readmarks(f);                                                            \
    }                                                                                        \
    if (t->id == 0) {                                                                        \
      if (marks)                                                                             \
        *line_read = readmark_test_and_set_bit(marks, r->hash, r->sub);                      \
      else if (t->depth == 0)                                                                \
        *line_read = 0;                                                                      \
    }                                                                                        \
    if (line_hooks) [[unlikely]] {                                                           \
      f->code = r->at + 4; /* the debugger looks at it */                                    \
      f->top = top;                                                                          \
      if (f->mark_object && read_filter_matches(f->mark_object->name)) line_was_read_set(1); \
      if (debugger_window()) {                                                               \
        debugger_line_hook(static_cast<int16_t>(line));                                      \
        RESUME();                                                                            \
      }                                                                                      \
    }                                                                                        \
  } while (0)
  h_LINE:
    LINE_MARK();
    NEXT();
  // A line mark and the superinstruction after it: the mark, then straight into its handler.
#define LINE_THEN(name) \
  h_LINE_##name:        \
    LINE_MARK();        \
    ++r;                \
    goto h_##name;
  LINE_THEN(CMP_JUMP_L)
  LINE_THEN(ARITH_VV_L)
  LINE_THEN(ARITH_VK_L)
  LINE_THEN(CMP_JUMP_T)
  LINE_THEN(ARITH_VV_T)
  LINE_THEN(ARITH_VK_T)
  LINE_THEN(PUSH_VV)
  LINE_THEN(PUSH_VK)
  LINE_THEN(ASSIGN_V)
  LINE_THEN(ASSIGN_K)
#undef LINE_THEN
#undef LINE_MARK

  h_LOCALS: {
    const uint8_t* types = r->at + 4;
    for (int k = 0; k < r->a; ++k) {
      value_cell c = types[k] == TYPE_INT ? int_cell(0) : default_cell(types[k]);
      PUSH(c);
    }
    NEXT();
  }
  h_PARAMS: {
    // The arguments against the declared types; anything else is reported out of line.
    const uint8_t* types = r->at + 4;
    int n = r->a;
    if (stack[base - 1].i < n || base - 1 - n < 1) goto h_OTHER;
    for (int k = 1; k <= n; ++k)
      if (stack[base - 1 - k].type != types[k - 1]) goto h_OTHER;
    NEXT();
  }

  // load.i v; push.i k; <compare>.i; jt/jf: no cell pushed. Otherwise the load runs alone.
  h_CMP_JUMP: {
    value_cell* v = int_variable(t, stack, top, base, r);
    if (!v) [[unlikely]]
      goto load_alone;
    int32_t a = v->i, k = r[1].a;
    int order = (a > k) - (a < k) + 1;  // 0 less, 1 equal, 2 greater
    JUMP_TO(r->sub >> order & 1 ? r[3].target : r + 4);
  }
  h_CMP_JUMP_L: {
    value_cell* v = local_variable(stack, top, base, r);
    if (!v || v->type != TYPE_INT) [[unlikely]]
      goto load_alone;
    int32_t a = v->i, k = r[1].a;
    int order = (a > k) - (a < k) + 1;
    JUMP_TO(r->sub >> order & 1 ? r[3].target : r + 4);
  }

// load.i v; load.i w (or push.i k); <operator>.i; set.i.pop x. VARIABLE gives v and w (or null),
// DESTINATION x.
#define ARITH_SET(name, VARIABLE, SECOND, DESTINATION)                                   \
  h_##name: {                                                                           \
    value_cell* v = VARIABLE(r);                                                        \
    if (!v) [[unlikely]]                                                                \
      goto load_alone;                                                                  \
    int32_t b;                                                                          \
    SECOND;                                                                             \
    const decoded_op* set = r + 3;                                                      \
    value_cell* x = DESTINATION(set);                                                   \
    if (!x) [[unlikely]]                                                                \
      goto load_alone;                                                                  \
    int row = r->sub & ~SUB_JUMPS;                                                      \
    int32_t result = row == BIN_ADD ? i32_add(v->i, b) : int_operator(row, v->i, b);    \
    if (set->scope == SCOPE_LOCAL)                                                      \
      cell_store_int(x, result, set->hash);                                             \
    else                                                                                \
      cell_store_int(x, result, x->hash, set->scope);                                   \
    JUMP_TO(r->sub & SUB_JUMPS ? r[4].target : r + 4);                                  \
  }
#define ANY_INT(x) int_variable(t, stack, top, base, x)
#define LOCAL_INT(x) local_int(stack, top, base, x)
#define ANY_DESTINATION(x) int_destination(t, stack, top, base, x)
#define LOCAL_DESTINATION(x) local_destination(stack, top, base, x)
#define TABLE_INT(x) table_int(t, x)
#define TABLE_DESTINATION(x) table_destination(t, x)
#define SECOND_CONSTANT b = r[1].a
#define SECOND_VARIABLE(VARIABLE)      \
  value_cell* w = VARIABLE(r + 1);     \
  if (!w) [[unlikely]]                 \
    goto load_alone;                   \
  b = w->i
  ARITH_SET(ARITH_VV, ANY_INT, SECOND_VARIABLE(ANY_INT), ANY_DESTINATION)
  ARITH_SET(ARITH_VK, ANY_INT, SECOND_CONSTANT, ANY_DESTINATION)
  ARITH_SET(ARITH_VV_L, LOCAL_INT, SECOND_VARIABLE(LOCAL_INT), LOCAL_DESTINATION)
  ARITH_SET(ARITH_VK_L, LOCAL_INT, SECOND_CONSTANT, LOCAL_DESTINATION)
  ARITH_SET(ARITH_VV_T, TABLE_INT, SECOND_VARIABLE(TABLE_INT), TABLE_DESTINATION)
  ARITH_SET(ARITH_VK_T, TABLE_INT, SECOND_CONSTANT, TABLE_DESTINATION)
  h_CMP_JUMP_T: {
    value_cell* v = TABLE_INT(r);
    if (!v) [[unlikely]]
      goto load_alone;
    int32_t a = v->i, k = r[1].a;
    int order = (a > k) - (a < k) + 1;
    JUMP_TO(r->sub >> order & 1 ? r[3].target : r + 4);
  }

  // load.i v; load.i w (or push.i k); <operator>.i: the operator's cell, as the three leave it
  // (the hash of v's copy, an int).
#define ARITH_PUSH(name, SECOND)                                                               \
  h_##name: {                                                                                 \
    value_cell* v = ANY_INT(r);                                                               \
    if (!v) [[unlikely]]                                                                      \
      goto load_alone;                                                                        \
    int32_t b;                                                                                \
    SECOND;                                                                                   \
    int32_t result = r->sub == BIN_ADD ? i32_add(v->i, b) : int_operator(r->sub, v->i, b);    \
    PUSH_INT(result, v->hash);                                                                \
    r += 3;                                                                                   \
    DISPATCH();                                                                               \
  }
  ARITH_PUSH(PUSH_VV, SECOND_VARIABLE(ANY_INT))
  ARITH_PUSH(PUSH_VK, SECOND_CONSTANT)

  // load.i v (or push.i k); set<op>.i.pop x: x op= v on an int variable, no cell pushed.
  // Otherwise the first instruction runs alone.
#define ASSIGN_OPERAND(name, SECOND, ALONE)                                                          \
  h_##name: {                                                                                      \
    int32_t b;                                                                                     \
    SECOND;                                                                                        \
    const decoded_op* set = r + 1;                                                                 \
    value_cell* x = operand_variable(t, stack, top, base, set);                                      \
    if (!x || x->type != TYPE_INT) [[unlikely]]                                                    \
      goto ALONE;                                                                                  \
    int_compound(r->sub & ~SUB_JUMPS, &x->i, b);                                                   \
    JUMP_TO(r->sub & SUB_JUMPS ? r[2].target : r + 2);                                             \
  }
#define OWN_VARIABLE                 \
  value_cell* v = ANY_INT(r);        \
  if (!v) [[unlikely]]               \
    goto load_alone;                 \
  b = v->i
  ASSIGN_OPERAND(ASSIGN_V, OWN_VARIABLE, load_alone)
#undef OWN_VARIABLE
  ASSIGN_OPERAND(ASSIGN_K, b = r->a, h_PUSH_INT)
#undef ASSIGN_OPERAND
#undef ARITH_SET
#undef ARITH_PUSH
#undef ANY_INT
#undef LOCAL_INT
#undef ANY_DESTINATION
#undef LOCAL_DESTINATION
#undef TABLE_INT
#undef TABLE_DESTINATION
#undef SECOND_CONSTANT
#undef SECOND_VARIABLE

  load_alone:
    if (r->scope == SCOPE_LOCAL) goto h_LOAD_LOCAL;
    goto h_LOAD_TABLE;

  h_LINK:
    r = r->target;
    DISPATCH();

  h_OTHER:
    FRAME_STORE();
    op_other(r->op);
    RESUME();
  }

  h_FAULT:
    f->code = r->at ? r->at + r->a : nullptr;
    f->top = top;
    exec_fault(r->op, r->fault);
    RESUME();
  stack_short:
    op = r->op;
    fault = FAULT_STACK;
    goto report;
  out_of_range:
    op = r->op;
    fault = FAULT_RANGE;
  report:
    FRAME_STORE();
    exec_fault(op, fault);
    RESUME();
  turn_end:
    // The turn ends before record r, which runs first on the thread's next turn.
    f->code = r->at;
    f->top = top;
    vm_run_state = RUN_END_TURN;
    return;
  outside:
    // A code pointer that no block holds: nothing there can be run.
    f->top = top;
    exec_fault(0, FAULT_RANGE);
  frame_enter:
    // Go on in the frame that is current now, its record found afresh.
    if (vm_run_state != RUN_GO || vm_thread != t) return;
    f = vm_frame;
    REGISTERS_LOAD();
    r = decode_at(f->code, handlers);
    if (!r) goto outside;
    DISPATCH();
#undef REGISTERS_LOAD
#undef LINE_HOOKS_LOAD
#undef DISPATCH
#undef NEXT
#undef JUMP_TO
#undef PUSH
#undef PUSH_INT
#undef GROW
#undef FRAME_STORE
#undef RESUME
#undef INT_BINARY
#undef INT_OPERATOR
#undef INT_COMPARISON
#undef UNARY
}
