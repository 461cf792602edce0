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
#include "text/message.h"
#include "text/msg_control.h"
#include "vm/debugger.h"
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

static int32_t index_wrap(int32_t v, int32_t size) {
  int32_t r = v % size;
  return r < 0 ? r + size : r;
}

int64_t array_index(array_block* a, int count) {
  int32_t index[3] = {0, 0, 0};
  for (int k = count - 1; k >= 0; --k) {
    index[k] = stack_top()->i;
    stack_pop();
  }
  if (!a || a->dims[0] <= 0 || a->dims[1] <= 0 || a->dims[2] <= 0) {
    script_error("配列が初期化されていません。");
    return -1;
  }
  int64_t d1 = a->dims[1], d2 = a->dims[2];
  switch (count) {
    case 1: return index_wrap(index[0], a->dims[2]);
    case 2: return index_wrap(index[0], a->dims[1]) * d2 + index_wrap(index[1], a->dims[2]);
    default:
      return (index_wrap(index[0], a->dims[0]) * d1 + index_wrap(index[1], a->dims[1])) * d2 +
             index_wrap(index[2], a->dims[2]);
  }
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

// 0x830: the top cell becomes the thread's switch value (its reference moves there), then jump.
static void op_switch() {
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  f->code = at + 4;
  if (f->top - 1 < f->base) return exec_fault(OP_SWITCH, FAULT_STACK);
  value_cell v = *stack_top();
  v.hash = SWITCH_VALUE_HASH;
  v.scope = SCOPE_THREAD;
  f->top--;
  var_assign(&v, nullptr);
  uint8_t* target = target_of(at - 2, at);
  if (!target) return exec_fault(OP_SWITCH, FAULT_RANGE);
  f->code = target;
}

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

// 0x831-0x833, 0x838, 0x839: compare the top (kept) with the switch value; jump when it fails.
// Texts compare without regard to letter case.
static void op_case(uint16_t op) {
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  f->code = at + 4;
  if (f->top - 1 < f->base) return exec_fault(op, FAULT_STACK);
  const value_cell* c = stack_top();
  value_cell none = int_cell(0);
  const value_cell* v = var_table_find(&vm_thread->vars, SWITCH_VALUE_HASH);
  if (!v) v = &none;
  bool holds;
  if (c->type == TYPE_STRING || v->type == TYPE_STRING)
    holds = case_holds(op, cp932_icmp(cell_text(c), cell_text(v)), 0);
  else if (c->type == TYPE_FLOAT || v->type == TYPE_FLOAT)
    holds = case_holds(op, float_operand(c), float_operand(v));
  else
    holds = case_holds(op, c->i, v->i);
  if (holds) return;
  uint8_t* target = target_of(at - 2, at);
  if (!target) return exec_fault(op, FAULT_RANGE);
  f->code = target;
}

// 0x850: jump to entry `top` of the table; an index out of range takes the last entry, and a
// table without entries does not jump.
static void op_jump_table() {
  call_frame* f = vm_frame;
  uint8_t* at = f->code;
  int n = code_i16(at);
  if (n < 0) return exec_fault(OP_JUMP_TABLE, FAULT_COUNT);
  if (!code_target_valid(at - 2, reinterpret_cast<uintptr_t>(at) + 2 + 4 * static_cast<uintptr_t>(n)))
    return exec_fault(OP_JUMP_TABLE, FAULT_RANGE);
  if (f->top - 1 < f->base) return exec_fault(OP_JUMP_TABLE, FAULT_STACK);
  int32_t index = stack_top()->i;
  stack_pop();
  f->code = at + 2 + 4 * n;
  if (n == 0) return;
  if (index < 0 || index >= n) index = n - 1;
  uint8_t* target = target_of(at - 2, at + 2 + 4 * index);
  if (!target) return exec_fault(OP_JUMP_TABLE, FAULT_RANGE);
  f->code = target;
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

// 0x83A: the frame's line; on the main thread the line-was-read flag from the read marks (a line
// beyond the set counts as unread), then the read filter. The loop calls the debugger's hook.
static inline void op_line(script_thread* t, call_frame* f, int16_t line) {
  f->line = line;
  readmark_set* marks = f->mark_looked_up ? (f->mark_object ? f->mark_object->readmarks : nullptr) : frame_readmarks(f);
  if (t->id == 0) {
    if (!marks) {
      if (t->depth == 0) line_was_read_set(0);
    } else {
      line_was_read_set(readmark_test_and_set(marks, line));
    }
  }
  if (f->mark_object && read_filter_matches(f->mark_object->name)) line_was_read_set(1);
}

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
    case OP_SWITCH: return op_switch();
    case OP_CASE_EQ: case OP_CASE_GT: case OP_CASE_LT: case OP_CASE_LE: case OP_CASE_GE: return op_case(op);
    case OP_JUMP_TABLE: return op_jump_table();
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

// The operands of an int operator (L, then R), or null when the frame holds fewer than two
// cells. No compiler gives an int operator a string or an array; should code do so, the block is
// released and counts as 0, so that its pointer is never overwritten with an int.
static inline value_cell* int_operands(script_thread* t, call_frame* f, int cells) {
  if (f->top - cells < f->base) [[unlikely]]
    return nullptr;
  value_cell* c = &t->stack[f->top - cells];
  for (int k = 0; k < cells; ++k)
    if (static_cast<uint16_t>(c[k].type) > TYPE_FLOAT) [[unlikely]] {
      value_release(&c[k]);
      c[k] = int_cell(0);
    }
  return c;
}

// Dispatch goes through a dense table: every opcode the loop does inline has a slot from 1 up,
// every other word slot 0 (done out of line). Opcodes are sparse 16-bit numbers, so a switch on
// them compiles to a compare tree; on the slots it is one indexed jump.
constexpr uint16_t INLINE_OPCODES[] = {
    OP_MUL_I,
    OP_DIV_I,
    OP_MOD_I,
    OP_ADD_I,
    OP_SUB_I,
    OP_SHR_I,
    OP_SHL_I,
    OP_LE_I,
    OP_LT_I,
    OP_GE_I,
    OP_GT_I,
    OP_EQ_I,
    OP_NE_I,
    OP_XOR_I,
    OP_LAND_I,
    OP_LOR_I,
    OP_BAND_I,
    OP_BOR_I,
    OP_NOT,
    OP_BNOT,
    OP_NEG_I,
    OP_NEG_F,
    OP_NOP,
    OP_NOP2,
    OP_NOP3,
    OP_PUSH_INT,
    OP_PUSH_FLOAT,
    OP_PUSH_STRING,
    OP_LOAD,
    OP_ASSIGN,
    OP_ASSIGN + OP_POPPED,
    OP_POP,
    OP_CALL,
    OP_CALL_DROP,
    OP_RETURN,
    OP_JUMP,
    OP_JUMP_TRUE,
    OP_JUMP_FALSE,
    OP_BUILTIN,
    OP_BUILTIN_DROP,
    OP_LINE,
    OP_FLOAT_TO_INT,
    OP_INT_TO_FLOAT,
};
constexpr int DISPATCH_SIZE = OP_JUMP_TABLE + 1;
static_assert(sizeof INLINE_OPCODES / sizeof INLINE_OPCODES[0] < 256);

consteval uint8_t inline_slot(uint16_t op) {
  for (size_t k = 0; k < sizeof INLINE_OPCODES / sizeof INLINE_OPCODES[0]; ++k)
    if (INLINE_OPCODES[k] == op) return static_cast<uint8_t>(k + 1);
  return 0;
}

static constexpr auto dispatch_slot = [] {
  std::array<uint8_t, DISPATCH_SIZE> table{};
  for (size_t k = 0; k < sizeof INLINE_OPCODES / sizeof INLINE_OPCODES[0]; ++k)
    table[INLINE_OPCODES[k]] = static_cast<uint8_t>(k + 1);
  return table;
}();

// The table variable (eternal, global or thread scope) of the variable operand at at, when its
// slot hint is right; null sends the instruction down the full lookup, which also mends the hint.
static inline value_cell* hinted_variable(script_thread* t, int scope, const uint8_t* at) {
  var_table* table = scope == SCOPE_GLOBAL ? &var_global : scope == SCOPE_THREAD ? &t->vars : &var_eternal;
  uint16_t slot = code_u16(at + VAR_HINT_OFFSET);
  if (slot >= table->count) return nullptr;
  value_cell* c = &table->cells[slot];
  return c->hash == code_u32(at + 2) ? c : nullptr;
}

void thread_execute() {
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  uint8_t* pc = f->code;
  uint16_t op;
  const char* fault;

// After an instruction done out of line: stop when the turn is over, else go on from the frame
// that is current now.
#define RESUME()                                                   \
  do {                                                             \
    if (vm_run_state != RUN_GO || vm_thread != t) return;           \
    f = vm_frame;                                                  \
    pc = f->code;                                                  \
  } while (0)
// An int operator writes into L; a comparison also makes L an int.
#define INT_BINARY(opcode, result, comparison) \
  h_##opcode: {                                \
    value_cell* l = int_operands(t, f, 2);     \
    if (!l) goto stack_short;                  \
    int32_t a = l[0].i, b = l[1].i;            \
    l[0].i = (result);                         \
    if (comparison) l[0].type = TYPE_INT;      \
    f->top--;                                  \
    NEXT();                                  \
  }
#define INT_OPERATOR(opcode, result) INT_BINARY(opcode, result, false)
#define INT_COMPARISON(opcode, result) INT_BINARY(opcode, result, true)

  // Every handler ends in its own copy of the dispatch (the compiler duplicates the computed
  // jump), so each instruction's successor is predicted apart.
  static void* const handlers[] = {
      &&h_other,
      &&h_OP_MUL_I,
      &&h_OP_DIV_I,
      &&h_OP_MOD_I,
      &&h_OP_ADD_I,
      &&h_OP_SUB_I,
      &&h_OP_SHR_I,
      &&h_OP_SHL_I,
      &&h_OP_LE_I,
      &&h_OP_LT_I,
      &&h_OP_GE_I,
      &&h_OP_GT_I,
      &&h_OP_EQ_I,
      &&h_OP_NE_I,
      &&h_OP_XOR_I,
      &&h_OP_LAND_I,
      &&h_OP_LOR_I,
      &&h_OP_BAND_I,
      &&h_OP_BOR_I,
      &&h_OP_NOT,
      &&h_OP_BNOT,
      &&h_OP_NEG_I,
      &&h_OP_NEG_F,
      &&h_OP_NOP,
      &&h_OP_NOP2,
      &&h_OP_NOP3,
      &&h_OP_PUSH_INT,
      &&h_OP_PUSH_FLOAT,
      &&h_OP_PUSH_STRING,
      &&h_OP_LOAD,
      &&h_OP_ASSIGN,
      &&h_OP_ASSIGN_POPPED,
      &&h_OP_POP,
      &&h_OP_CALL,
      &&h_OP_CALL_DROP,
      &&h_OP_RETURN,
      &&h_OP_JUMP,
      &&h_OP_JUMP_TRUE,
      &&h_OP_JUMP_FALSE,
      &&h_OP_BUILTIN,
      &&h_OP_BUILTIN_DROP,
      &&h_OP_LINE,
      &&h_OP_FLOAT_TO_INT,
      &&h_OP_INT_TO_FLOAT,
  };
  static_assert(sizeof handlers / sizeof handlers[0] == sizeof INLINE_OPCODES / sizeof INLINE_OPCODES[0] + 1);

// Reads the next opcode and jumps to its handler.
#define NEXT()                                                \
  do {                                                        \
    op = code_u16(pc);                                        \
    pc += 2;                                                  \
    goto* handlers[op < DISPATCH_SIZE ? dispatch_slot[op] : 0]; \
  } while (0)

  for (;;) {
    NEXT();
    {
      INT_OPERATOR(OP_MUL_I, i32_mul(a, b))
      INT_OPERATOR(OP_DIV_I, int_arith(ARITH_DIV, a, b))
      INT_OPERATOR(OP_MOD_I, int_arith(ARITH_MOD, a, b))
      INT_OPERATOR(OP_ADD_I, i32_add(a, b))
      INT_OPERATOR(OP_SUB_I, i32_sub(a, b))
      INT_OPERATOR(OP_SHR_I, i32_sar(a, b))
      INT_OPERATOR(OP_SHL_I, i32_shl(a, b))
      INT_COMPARISON(OP_LE_I, a <= b)
      INT_COMPARISON(OP_LT_I, a < b)
      INT_COMPARISON(OP_GE_I, a >= b ? -1 : 0)  // -1 for true: compiled scripts rely on it
      INT_COMPARISON(OP_GT_I, a > b)
      INT_COMPARISON(OP_EQ_I, a == b)
      INT_COMPARISON(OP_NE_I, a != b)
      INT_OPERATOR(OP_XOR_I, a ^ b)
      INT_OPERATOR(OP_LAND_I, a && b)
      INT_OPERATOR(OP_LOR_I, a || b)
      INT_OPERATOR(OP_BAND_I, a & b)
      INT_OPERATOR(OP_BOR_I, a | b)

      h_OP_NOT:
      h_OP_BNOT:
      h_OP_NEG_I: {
        value_cell* c = int_operands(t, f, 1);
        if (!c) goto stack_short;
        c->i = op == OP_NOT ? c->i == 0 : op == OP_BNOT ? ~c->i : i32_neg(c->i);
        NEXT();
      }
      h_OP_NEG_F: {
        value_cell* c = int_operands(t, f, 1);
        if (!c) goto stack_short;
        c->f = -c->f;
        NEXT();
      }
      h_OP_NOP:
      h_OP_NOP2:
      h_OP_NOP3:
        NEXT();

      h_OP_PUSH_INT:
        exec_push(t, f, int_cell(code_i32(pc)));
        pc += 4;
        NEXT();
      h_OP_PUSH_FLOAT: {
        value_cell c = float_cell(0.0f);
        c.i = code_i32(pc);  // the bits as they stand
        exec_push(t, f, c);
        pc += 4;
        NEXT();
      }
      h_OP_PUSH_STRING: {
        int n = code_i16(pc);
        if (n < 0) goto count_negative;
        if (!code_target_valid(pc - 2, reinterpret_cast<uintptr_t>(pc) + 2 + static_cast<uintptr_t>(n)))
          goto out_of_range;
        // n counts the NUL; the text always ends in one, whatever the last byte was.
        exec_push(t, f, string_cell(string_block_new(reinterpret_cast<const char*>(pc + 2), n > 0 ? n - 1 : 0)));
        pc += 2 + n;
        NEXT();
      }
      h_OP_LOAD: {
        // A plain read of an int local needs no lookup at all.
        uint16_t w = code_u16(pc);
        if ((w & 0x7FF) == (SCOPE_LOCAL << 5 | TYPE_INT << 8)) {
          int32_t index = f->base + code_i16(pc + VAR_HINT_OFFSET);
          if (index >= 1 && index < f->top && t->stack[index].type == TYPE_INT) {
            value_cell c = int_cell(t->stack[index].i, t->stack[index].hash);
            exec_push(t, f, c);
            pc += VAR_OPERAND_SIZE;
            NEXT();
          }
        }
        // An int variable of a table, found where its slot hint says.
        if (access_type_of(w) == TYPE_INT && access_scope_of(w) < SCOPE_LOCAL) {
          value_cell* var = hinted_variable(t, access_scope_of(w), pc);
          if (var && var->type == TYPE_INT) {
            exec_push(t, f, int_cell(access_int(&var->i, w), var->hash));
            pc += VAR_OPERAND_SIZE;
            NEXT();
          }
        }
        f->code = pc;
        op_load();
        RESUME();
        NEXT();
      }
      h_OP_ASSIGN:
      h_OP_ASSIGN_POPPED: {
        // An int stored into a local that holds no block: a plain copy, no lookup.
        uint16_t w = code_u16(pc);
        if (access_scope_of(w) == SCOPE_LOCAL && f->top - 1 >= f->base) {
          value_cell* r = &t->stack[f->top - 1];
          int32_t index = f->base + code_i16(pc + VAR_HINT_OFFSET);
          if (r->type == TYPE_INT && index >= 1 && index < f->top && !type_is_block(t->stack[index].type)) {
            // Built from the int alone: reading the whole cell just after an operator wrote
            // its payload would stall the store forwarding.
            value_cell v = int_cell(r->i, code_u32(pc + 2));
            t->stack[index] = v;
            if (op == OP_ASSIGN)
              r->hash = v.hash, r->scope = SCOPE_LOCAL;
            else
              f->top--;
            pc += VAR_OPERAND_SIZE;
            NEXT();
          }
        }
        // Likewise into a table variable found through its hint.
        if (access_scope_of(w) < SCOPE_LOCAL && f->top - 1 >= f->base) {
          value_cell* r = &t->stack[f->top - 1];
          value_cell* var = hinted_variable(t, access_scope_of(w), pc);
          if (r->type == TYPE_INT && var && !type_is_block(var->type)) {
            value_cell v = int_cell(r->i, var->hash);
            v.scope = static_cast<int16_t>(access_scope_of(w));
            *var = v;
            if (op == OP_ASSIGN)
              r->hash = v.hash, r->scope = v.scope;
            else
              f->top--;
            pc += VAR_OPERAND_SIZE;
            NEXT();
          }
        }
        f->code = pc;
        op_assign(op);
        RESUME();
        NEXT();
      }
      h_OP_POP:
        if (f->top - 1 < f->base) goto stack_short;
        value_release(&t->stack[--f->top]);
        NEXT();

      h_OP_CALL:
      h_OP_CALL_DROP: {
        uint32_t hash = code_u32(pc);
        uint8_t* cache = pc + 4;
        int32_t argc = code_i16(pc + 8);
        pc += 10;
        if (argc < 0) goto count_negative;
        if (argc > f->top - f->base) goto stack_short;
        f->drop_result = op == OP_CALL_DROP;
        f->code = pc;
        exec_push(t, f, int_cell(argc));
        call_frame* callee = frame_push(t);
        f->top -= argc + 1;  // the arguments and their count belong to the callee now
        callee->code = call_resolve(hash, cache);
        RESUME();
        NEXT();
      }
      h_OP_RETURN:
        f->code = pc;
        op_return();
        RESUME();
        NEXT();

      h_OP_JUMP: {
        uintptr_t target = reinterpret_cast<uintptr_t>(pc) + 4 + static_cast<intptr_t>(code_i32(pc));
        if (!code_target_valid(pc - 2, target)) goto out_of_range;
        pc = reinterpret_cast<uint8_t*>(target);
        NEXT();
      }
      h_OP_JUMP_TRUE:
      h_OP_JUMP_FALSE: {
        if (f->top - 1 < f->base) goto stack_short;
        value_cell* c = &t->stack[--f->top];
        bool jump = cell_true(c) == (op == OP_JUMP_TRUE);
        value_release(c);
        if (!jump) {
          pc += 4;
          NEXT();
        }
        uintptr_t target = reinterpret_cast<uintptr_t>(pc) + 4 + static_cast<intptr_t>(code_i32(pc));
        if (!code_target_valid(pc - 2, target)) goto out_of_range;
        pc = reinterpret_cast<uint8_t*>(target);
        NEXT();
      }

      h_OP_BUILTIN:
      h_OP_BUILTIN_DROP:
        f->code = pc;
        builtin_dispatch(op == OP_BUILTIN_DROP);
        RESUME();
        NEXT();

      h_OP_LINE: {
        int16_t line = code_i16(pc);
        pc += 2;
        f->code = pc;  // the read-mark lookup and the debugger look at it
        op_line(t, f, line);
        if (debugger_window()) [[unlikely]] {
          debugger_line_hook(line);
          RESUME();
        }
        NEXT();
      }

      h_OP_FLOAT_TO_INT: {
        value_cell* c = int_operands(t, f, 1);
        if (!c) goto stack_short;
        c->i = i32_from_float(c->f);
        c->type = TYPE_INT;
        NEXT();
      }
      h_OP_INT_TO_FLOAT: {
        value_cell* c = int_operands(t, f, 1);
        if (!c) goto stack_short;
        c->f = static_cast<float>(c->i);
        c->type = TYPE_FLOAT;
        NEXT();
      }

      h_other:
        f->code = pc;
        op_other(op);
        RESUME();
        NEXT();
    }

  stack_short:
    fault = FAULT_STACK;
    goto report;
  count_negative:
    fault = FAULT_COUNT;
    goto report;
  out_of_range:
    fault = FAULT_RANGE;
  report:
    f->code = pc;
    exec_fault(op, fault);
    RESUME();
  }
#undef RESUME
#undef NEXT
#undef INT_BINARY
#undef INT_OPERATOR
#undef INT_COMPARISON
}
