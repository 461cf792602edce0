// Binary operators on floats, strings and arrays (the int operators run inline in the opcode
// loop), and the assignments to variables and array elements in their kept and popped forms.
//
// The compiler picks one opcode per operand type, so the operators do no type dispatch of their
// own; what they do check is that a cell really holds a block before following it.
#include <cstring>
#include <initializer_list>

#include "base/cp932.h"
#include "vm/execute.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"

static const char REPORT_NOT_NUMBER[] = "文字列や配列の変数には計算できません";

// ---------------------------------------------------------------------------------------------
// The opcode map of this file

static int row_of(uint16_t op, uint16_t first) { return (op - first) / 8; }
static int column_of(uint16_t op, uint16_t first) { return (op - first) % 8; }

bool binary_defined(uint16_t op) {
  int row = row_of(op, OP_BINARY), column = column_of(op, OP_BINARY);
  switch (row) {
    case BIN_MUL: case BIN_DIV: case BIN_SUB: return column <= TYPE_FLOAT;
    case BIN_ADD: case BIN_LE: case BIN_LT: case BIN_GE: case BIN_GT: return column <= TYPE_STRING;
    case BIN_EQ: case BIN_NE: return column <= TYPE_STRING_ARRAY;
    default: return row < BINARY_ROWS && column == TYPE_INT;
  }
}

static bool assignment_exists(int row, int column, int last_set_column) {
  switch (row) {
    case ASN_SET: return column <= last_set_column;
    case ASN_MUL: case ASN_DIV: case ASN_SUB: return column <= TYPE_FLOAT;
    case ASN_ADD: return column <= TYPE_STRING;
    default: return row < ASSIGN_ROWS && column == TYPE_INT;
  }
}

// Kept forms first, then the popped forms 0x60 above them.
static uint16_t kept_form(uint16_t op, uint16_t first) { return op >= first + OP_POPPED ? op - OP_POPPED : op; }

bool assign_defined(uint16_t op) {
  uint16_t kept = kept_form(op, OP_ASSIGN);
  return assignment_exists(row_of(kept, OP_ASSIGN), column_of(kept, OP_ASSIGN), TYPE_STRING_ARRAY);
}

bool assign_element_defined(uint16_t op) {
  uint16_t kept = kept_form(op, OP_ASSIGN_ELEMENT);
  return assignment_exists(row_of(kept, OP_ASSIGN_ELEMENT), column_of(kept, OP_ASSIGN_ELEMENT), TYPE_STRING);
}

// ---------------------------------------------------------------------------------------------
// Binary operators

string_block* text_concat(const char* a, int32_t a_bytes, const char* b, int32_t b_bytes) {
  if (!text_join_fits(a_bytes, b_bytes)) {
    script_error("String : 文字列が長すぎます(%lld バイト)", static_cast<long long>(a_bytes) + b_bytes);
    b_bytes = 0;
  }
  string_block* s = string_block_alloc(a_bytes + b_bytes + 1);
  memcpy(s->text, a, static_cast<size_t>(a_bytes));
  memcpy(s->text + a_bytes, b, static_cast<size_t>(b_bytes));
  return s;
}

void op_binary(uint16_t op) {
  int row = row_of(op, OP_BINARY), column = column_of(op, OP_BINARY);
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  if (f->top - 2 < f->base) return exec_fault(op, FAULT_STACK);
  value_cell* l = &t->stack[f->top - 2];
  value_cell* r = l + 1;
  if (column == TYPE_FLOAT) {
    for (value_cell* c : {l, r})
      if (type_is_block(c->type)) {  // no compiler does this; never overwrite the pointer
        value_release(c);
        *c = int_cell(0);
      }
    float_operator(row, l, r);
    f->top--;
    return;
  }
  value_cell result;
  if (column == TYPE_STRING && row == BIN_ADD)
    result = string_cell(text_concat(cell_text(l), cell_text_bytes(l), cell_text(r), cell_text_bytes(r)));
  else if (column == TYPE_STRING)
    result = int_cell(comparison_holds(row, cp932_icmp(cell_text(l), cell_text(r))));
  else  // arrays: equal when both refer to the same block
    result = int_cell(comparison_holds(row, type_is_block(l->type) && l->type == r->type && l->a == r->a ? 0 : 1));
  stack_pop();
  stack_pop();
  exec_push(t, f, result);
}

// ---------------------------------------------------------------------------------------------
// Assignments

// The operand group of an assignment, read at the frame's code pointer.
struct assign_operands {
  uint16_t access;
  uint32_t hash;
  uint8_t* hint;
};
static assign_operands assign_operands_take() {
  uint8_t* at = vm_frame->code;
  vm_frame->code = at + VAR_OPERAND_SIZE;
  return {code_u16(at), code_u32(at + 2), at + VAR_HINT_OFFSET};
}

static int arith_of(int assign_row) { return assign_row - ASN_MUL; }  // same order from × on

// Scalar assignments (0x1B0-0x267). R, the top cell, takes the variable's hash and scope; the
// kept form leaves it as the expression's value.
void op_assign(uint16_t op) {
  bool popped = op >= OP_ASSIGN + OP_POPPED;
  uint16_t kept = kept_form(op, OP_ASSIGN);
  int row = row_of(kept, OP_ASSIGN), column = column_of(kept, OP_ASSIGN);
  assign_operands o = assign_operands_take();
  int scope = access_scope_of(o.access);
  if (scope > SCOPE_LOCAL) return exec_fault(op, FAULT_OPERAND);
  script_thread* t = vm_thread;
  call_frame* f = vm_frame;
  if (f->top - 1 < f->base) return exec_fault(op, FAULT_STACK);
  value_cell* r = &t->stack[f->top - 1];
  r->hash = o.hash;
  r->scope = static_cast<int16_t>(scope);

  if (row == ASN_SET) {
    if (column == TYPE_INT && r->type == TYPE_FLOAT)
      *r = int_cell(i32_from_float(r->f), o.hash), r->scope = static_cast<int16_t>(scope);
    else if (column == TYPE_FLOAT && r->type == TYPE_INT)
      *r = float_cell(static_cast<float>(r->i), o.hash), r->scope = static_cast<int16_t>(scope);
    value_cell v;
    value_copy(&v, r);  // the variable's own reference; R keeps its own
    if (!var_assign(&v, o.hint)) script_error("ローカル変数[%d]がスタックの範囲外です", code_i16(o.hint));
    if (popped) stack_pop();
    return;
  }

  value_cell key = *r;
  if (row == ASN_ADD && column == TYPE_STRING) key.type = static_cast<int16_t>(access_type_of(o.access));
  value_cell* var = variable_get(&key, o.hint);
  bool text = row == ASN_ADD && column == TYPE_STRING;
  if (var && (text ? var->type != TYPE_STRING : type_is_block(var->type) || type_is_block(r->type))) {
    script_error("%s", REPORT_NOT_NUMBER);  // the variable is left as it was
    var = nullptr;
  }
  if (!var) {
    if (popped) stack_pop();
    return;
  }
  if (text) {
    string_block* s = text_concat(cell_text(var), cell_text_bytes(var), cell_text(r), cell_text_bytes(r));
    value_release(var);
    var->s = s;
    if (var == r) {  // a local slot naming the operand's own cell: it holds the new text
      if (popped) stack_pop();
      return;
    }
    stack_pop();
    if (!popped) {
      s->refcount++;
      exec_push(t, vm_frame, string_cell(s));
    }
    return;
  }
  if (column == TYPE_INT) {
    if (row == ASN_MOD && r->i == 0) {
      r->i = 0;  // the variable keeps its value
    } else {
      var->i = int_arith(arith_of(row), var->i, r->i);
      r->i = var->i;
    }
  } else {
    float a = var->f;  // the variable's payload read as a float, R as a float operand
    var->f = float_arith(arith_of(row), a, float_operand(r));
    *r = float_cell(var->f, r->hash), r->scope = static_cast<int16_t>(scope);
  }
  if (popped) stack_pop();
}

// Element assignments (0x270-0x327): the value lies below the indices. The kept form leaves R as
// the expression's value; only int ×= writes its result into R as well.
void op_assign_element(uint16_t op) {
  bool popped = op >= OP_ASSIGN_ELEMENT + OP_POPPED;
  uint16_t kept = kept_form(op, OP_ASSIGN_ELEMENT);
  int row = row_of(kept, OP_ASSIGN_ELEMENT), column = column_of(kept, OP_ASSIGN_ELEMENT);
  assign_operands o = assign_operands_take();
  int count = access_indices_of(o.access), scope = access_scope_of(o.access);
  // The element type of the access word decides the array; it must be the opcode's too, or a
  // number could be taken for a string.
  if (scope > SCOPE_LOCAL || access_type_of(o.access) != column || count < 1 || count > 3)
    return exec_fault(op, FAULT_OPERAND);
  call_frame* f = vm_frame;
  if (f->top - count - 1 < f->base) return exec_fault(op, FAULT_STACK);
  value_cell* var = array_variable(o.hash, column + TYPE_INT_ARRAY, scope, o.hint);
  array_block* a = var ? var->a : nullptr;
  if (a) a->refcount++;  // held while indices and value go
  int64_t i = var ? array_index(a, count) : (stack_drop(count), -1);
  value_cell* r = stack_top();
  if (i >= 0 && column == TYPE_STRING) {
    string_block** element = &array_strings(a)[i];
    if (r->type != TYPE_STRING || !r->s) {
      script_error("%s", REPORT_TYPE_MISMATCH);
    } else if (row == ASN_SET) {
      r->s->refcount++;
      string_release(*element);
      *element = r->s;
    } else {  // +=
      const char* old = *element ? (*element)->text : "";
      int32_t old_bytes = *element ? (*element)->length - 1 : 0;
      string_block* s = text_concat(old, old_bytes, cell_text(r), cell_text_bytes(r));
      string_release(*element);
      *element = s;
      stack_pop();
      if (!popped) {
        s->refcount++;
        exec_push(vm_thread, vm_frame, string_cell(s));
      }
      array_release(a);
      return;
    }
  } else if (i >= 0 && type_is_block(r->type)) {
    script_error("%s", REPORT_NOT_NUMBER);  // the element is left as it was, the block's pointer too
  } else if (i >= 0 && row == ASN_SET) {
    array_numbers(a)[i].i = r->i;  // the payload as it is
  } else if (i >= 0 && column == TYPE_INT) {
    array_number* e = &array_numbers(a)[i];
    e->i = int_arith(arith_of(row), e->i, r->i);
    if (row == ASN_MUL) r->i = e->i;
  } else if (i >= 0) {
    array_number* e = &array_numbers(a)[i];
    float b = float_operand(r);
    e->f = row == ASN_DIV && b == 0.0f ? e->f * 10000.0f : float_arith(arith_of(row), e->f, b);
  }
  array_release(a);
  if (popped) stack_pop();
}
