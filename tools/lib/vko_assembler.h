// Bytecode assembler for compiled script objects (".vko"), for tests, fixtures and the sample
// game. vko_builder is the C++ interface; vko_assemble_text reads the text syntax of
// docs/assembler.md into a builder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vm/opcodes.h"
#include "vm/script_object.h"
#include "vm/value.h"

struct vko_label {
  int id = -1;
};

// A variable operand: scope, name hash and slot (for locals: the slot relative to the frame's
// base; for the other scopes: the slot hint the code starts with, normally 0).
struct vko_var {
  int scope = SCOPE_GLOBAL;
  uint32_t hash = 0;
  int16_t slot = 0;
};
// "#name", "@name", "%name" (hashed with "@GLOBAL" appended when the name has no group), a hash
// given as "@[0x1234ABCD]", or a local: "_3", "_-2", "_p1" (parameter 1, slot -2). false when the
// text is none of these.
bool vko_var_parse(std::string_view text, vko_var* out);
vko_var vko_variable(std::string_view text);  // throws std::invalid_argument on bad text
vko_var vko_local(int slot);
vko_var vko_param(int k);  // parameter k (1-based) lies at slot -1 - k

class vko_builder {
 public:
  // Layout. function() starts a function here; its hash is the CRC-32 of the name as written.
  void function(std::string_view name);
  void function_hash(uint32_t hash);
  void entry();  // the entry function starts here
  void entry_offset(uint32_t offset) { entry_ = offset; }  // raw (0xFFFFFFFF: none)
  void lines(uint32_t count) { lines_ = count; }
  vko_label label();
  void bind(vko_label l);
  bool bound(vko_label l) const { return l.id >= 0 && static_cast<size_t>(l.id) < labels_.size() && labels_[l.id] >= 0; }
  uint32_t position() const { return static_cast<uint32_t>(code_.size()); }
  const std::string& code() const { return code_; }

  // Raw data.
  void u8(uint8_t v);
  void u16(uint16_t v);
  void u32(uint32_t v);
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void bytes(std::string_view data) { code_.append(data); }
  void offset_to(vko_label l);  // i32 distance from the end of this operand to the label
  void var_operand(uint16_t access, const vko_var& v);

  // Instructions. Types are TYPE_*; rows are binary_row / assign_row of vm/opcodes.h.
  void op(uint16_t opcode) { u16(opcode); }
  void push_int(int32_t v);
  void push_float(float v);
  void push_string(std::string_view text);  // engine text; the NUL is added
  void load(int type, const vko_var& v, int mode = ACCESS_READ, int unary = UNARY_NONE);
  void load_element(int element_type, const vko_var& v, int indices, int mode = ACCESS_READ, int unary = UNARY_NONE);
  void binary(int row, int column) { op(static_cast<uint16_t>(OP_BINARY + 8 * row + column)); }
  void assign(int row, int type, const vko_var& v, bool popped = false);
  void assign_element(int row, int element_type, const vko_var& v, int indices, bool popped = false);
  void call(std::string_view name, int argc, bool drop = false);
  void call_hash(uint32_t hash, int argc, bool drop = false, uint32_t cache = 0);
  void builtin(uint32_t hash, int argc, bool drop = false);
  void locals(const std::vector<int>& types);
  void params(const std::vector<int>& types);
  void ret() { op(OP_RETURN); }
  void pop() { op(OP_POP); }
  void jump(vko_label l) { jump_op(OP_JUMP, l); }
  void jump_true(vko_label l) { jump_op(OP_JUMP_TRUE, l); }
  void jump_false(vko_label l) { jump_op(OP_JUMP_FALSE, l); }
  void switch_on(vko_label l) { jump_op(OP_SWITCH, l); }
  void case_jump(uint16_t case_opcode, vko_label l) { jump_op(case_opcode, l); }  // OP_CASE_*
  void jump_table(const std::vector<vko_label>& targets);
  void line(int n);
  void decide_label(vko_label l) { jump_op(OP_DECIDE_LABEL, l); }
  void middle_label(vko_label l) { jump_op(OP_MIDDLE_LABEL, l); }
  void cancel_label(vko_label l) { jump_op(OP_CANCEL_LABEL, l); }
  void all_labels(vko_label l) { jump_op(OP_ALL_LABELS, l); }
  void clear_labels() { op(OP_CLEAR_LABELS); }
  void back_label(vko_label l) { jump_op(OP_BACK_LABEL, l); }
  void go_back() { op(OP_GO_BACK); }
  void end_label(vko_label l) { jump_op(OP_END_LABEL, l); }
  void float_to_int() { op(OP_FLOAT_TO_INT); }
  void int_to_float() { op(OP_INT_TO_FLOAT); }
  void msg_text(std::string_view text);  // the NUL is added, as for strings
  void msg_show() { op(OP_MSG_SHOW); }
  void msg_code(std::string_view templ);
  void jump_op(uint16_t opcode, vko_label l);

  // The object file's bytes. Throws std::logic_error for a label used but never bound.
  std::string build(bool scrambled = false) const;
  bool write(const std::string& host_path, bool scrambled = false) const;

 private:
  void counted_bytes(uint16_t opcode, std::string_view data);
  struct fixup {
    size_t at;  // where the i32 goes; the distance counts from at + 4
    int label;
  };
  std::string code_;
  std::vector<function_entry> functions_;
  std::vector<int64_t> labels_;  // position, or -1 while unbound
  std::vector<fixup> fixups_;
  uint32_t entry_ = 0xFFFFFFFF;
  uint32_t lines_ = 0;
};

// Assembles text (docs/assembler.md) into the builder. false with "line N: message" on error;
// warnings (a function defined twice) as "line N: warning: ...".
bool vko_assemble_text(std::string_view source, vko_builder& out, std::string& error,
                       std::vector<std::string>* warnings = nullptr);

// A readable listing of an object file in the same syntax (scrambled objects are unscrambled).
// Assembling the listing gives the same code back.
std::string vko_disassemble(std::string_view object);
