// Decoding code blocks into records. A block is swept from its start, the first time code in it
// runs, into one run of records; an address the sweep did not start an instruction at (a jump
// into the middle of one, an entry point of odd code) gets a run of its own from there, which
// ends at a return, a jump, a fault or where it meets decoded code (a link record). Every record
// does what executing its stored form did, so decoding changes no behaviour: only the work.
#include "vm/decode.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "vm/execute.h"
#include "vm/opcodes.h"
#include "vm/readmark.h"
#include "vm/script_object.h"

namespace {

struct decoded_block {
  uint8_t* lo;   // the code
  uint8_t* hi;   // its end, where the guard starts
  uint8_t* end;  // the guard's end
  std::vector<std::unique_ptr<case_chain>> chains;     // of the switches
  std::vector<std::unique_ptr<decoded_op*[]>> tables;  // the entries of the jump tables
  std::vector<decoded_op*> index;  // the record starting at each byte, or null
  std::vector<std::unique_ptr<decoded_op[]>> runs;
  std::vector<bool> starts;  // instruction starts of the stored form, up to hi (made when first asked)
};

// A target still to resolve: the record that jumps and where its target's record goes.
struct jump_to {
  decoded_op* record;
  decoded_op** where;
  uint8_t* target;
};

constexpr int BLOCKS_REMEMBERED = 4;

struct {
  std::unordered_map<const uint8_t*, std::unique_ptr<decoded_block>> blocks;  // by code start
  decoded_block* last[BLOCKS_REMEMBERED] = {};  // most recent first
} decoding;

bool is_int_operator(uint16_t op) {
  return op >= OP_MUL_I && op <= OP_BOR_I && (op - OP_BINARY) % 8 == 0;
}
bool is_int_comparison(uint16_t op) { return op >= OP_LE_I && op <= OP_NE_I && (op - OP_BINARY) % 8 == 0; }

// A jump's target address; valid when the instruction lies in the block and the target in it
// (its end included: the guard returns).
uint8_t* jump_target(const decoded_block* b, uint8_t* pc, const uint8_t* offset_at, bool* valid) {
  uintptr_t target = reinterpret_cast<uintptr_t>(offset_at) + 4 + static_cast<intptr_t>(code_i32(offset_at));
  auto lo = reinterpret_cast<uintptr_t>(b->lo), hi = reinterpret_cast<uintptr_t>(b->hi);
  *valid = pc < b->hi && target >= lo && target <= hi;
  return reinterpret_cast<uint8_t*>(target);
}

// A record in the making, with the target its jump still needs.
struct pending {
  decoded_op op;
  int length;
  uint8_t* jump;  // a valid target to resolve, or null
};

// A fault record; the frame's code pointer stands `code` bytes past the opcode's start when the
// report is made, as it did when the stored form was run.
pending fault_at(uint8_t* pc, uint16_t op, const char* reason, int length, int code = 2) {
  pending p{};
  p.op.at = pc, p.op.op = op, p.op.slot = SLOT_FAULT, p.op.fault = reason, p.op.a = code;
  p.length = length;
  return p;
}

// One instruction of the stored form at pc.
pending decode_one(const decoded_block* b, uint8_t* pc) {
  if (pc + 2 > b->end) return fault_at(pc, 0, FAULT_RANGE, 1);
  uint16_t op = code_u16(pc);
  pending p{};
  p.op.at = pc, p.op.op = op, p.op.slot = SLOT_OTHER;
  p.length = 2;
  auto slot = [&](uint16_t s, int length) {
    p.op.slot = s;
    p.length = length;
  };
  // A counted operand (i16 n, then n bytes of `unit` each) must lie in the block.
  auto counted = [&](int unit, int* n) -> const char* {
    if (pc + 4 > b->end) return FAULT_RANGE;
    *n = code_i16(pc + 2);
    if (*n < 0) return FAULT_COUNT;
    if (pc >= b->hi || pc + 4 + static_cast<ptrdiff_t>(*n) * unit > b->hi) return FAULT_RANGE;
    return nullptr;
  };
  auto variable = [&] {
    p.op.word = code_u16(pc + 2);
    p.op.scope = static_cast<uint8_t>(access_scope_of(p.op.word));
    p.op.hash = code_u32(pc + 4);
    p.op.a = code_i16(pc + 2 + VAR_HINT_OFFSET);
  };
  if (is_int_operator(op)) {
    slot(static_cast<uint16_t>(SLOT_MUL_I + (op - OP_MUL_I) / 8), 2);
  } else if (op >= OP_BINARY && op < OP_NOT && binary_defined(op)) {
    int column = (op - OP_BINARY) % 8;
    slot(column == TYPE_FLOAT ? SLOT_FLOAT_OP : column == TYPE_STRING ? SLOT_STRING_OP : SLOT_ARRAY_EQ, 2);
    p.op.sub = static_cast<uint8_t>((op - OP_BINARY) / 8);
  } else if (op >= OP_ASSIGN && op < OP_ASSIGN_ELEMENT + OP_POPPED + 8 * ASSIGN_ROWS &&
             (op < OP_ASSIGN_ELEMENT ? assign_defined(op) : assign_element_defined(op))) {
    // Assignments: an operand group that must hold a scope (and, for elements, the opcode's element
    // type and 1-3 indices); anything else is reported out of line when it runs.
    slot(SLOT_OTHER, 2 + VAR_OPERAND_SIZE);
    if (pc + p.length > b->end) return fault_at(pc, op, FAULT_RANGE, p.length);
    variable();
    bool element = op >= OP_ASSIGN_ELEMENT;
    uint16_t first = element ? OP_ASSIGN_ELEMENT : OP_ASSIGN;
    p.op.popped = op >= first + OP_POPPED;
    int kept = p.op.popped ? op - OP_POPPED : op;
    int row = (kept - first) / 8, column = (kept - first) % 8;
    p.op.sub = static_cast<uint8_t>(row);
    p.op.column = static_cast<uint8_t>(column);
    if (p.op.scope > SCOPE_LOCAL) return p;
    if (element) {
      int count = access_indices_of(p.op.word);
      if (access_type_of(p.op.word) == column && count >= 1 && count <= 3) p.op.slot = SLOT_ASSIGN_ELEMENT;
    } else if (row == ASN_SET && column == TYPE_INT) {
      p.op.slot = p.op.scope == SCOPE_LOCAL ? SLOT_SET_LOCAL : SLOT_SET_TABLE;
    } else {
      p.op.slot = column == TYPE_INT ? SLOT_ASSIGN_INT : SLOT_ASSIGN;
    }
  } else {
    switch (op) {
      case OP_NOT: slot(SLOT_NOT, 2); break;
      case OP_BNOT: slot(SLOT_BNOT, 2); break;
      case OP_NEG_I: slot(SLOT_NEG_I, 2); break;
      case OP_NEG_F: slot(SLOT_NEG_F, 2); break;
      case OP_NOP: case OP_NOP2: case OP_NOP3: slot(SLOT_NOP, 2); break;
      case OP_FLOAT_TO_INT: slot(SLOT_FLOAT_TO_INT, 2); break;
      case OP_INT_TO_FLOAT: slot(SLOT_INT_TO_FLOAT, 2); break;
      case OP_POP: slot(SLOT_POP, 2); break;
      case OP_RETURN: slot(SLOT_RETURN, 2); break;
      case OP_PUSH_INT: case OP_PUSH_FLOAT:
        slot(op == OP_PUSH_INT ? SLOT_PUSH_INT : SLOT_PUSH_FLOAT, 6);
        if (pc + 6 <= b->end) p.op.a = code_i32(pc + 2);
        break;
      case OP_PUSH_STRING: case OP_LOCALS: case OP_PARAMS: case OP_MSG_TEXT: case OP_MSG_CODE: {
        int n = 0;
        if (const char* fault = counted(1, &n)) return fault_at(pc, op, fault, 2);
        if (op == OP_LOCALS || op == OP_PARAMS)
          for (int k = 0; k < n; ++k)
            if (pc[4 + k] > TYPE_STRING_ARRAY) return fault_at(pc, op, FAULT_OPERAND, 2, 4 + n);
        uint16_t s = op == OP_PUSH_STRING ? SLOT_PUSH_STRING : op == OP_LOCALS ? SLOT_LOCALS
                     : op == OP_PARAMS    ? SLOT_PARAMS
                                          : SLOT_OTHER;
        slot(s, 4 + n);
        p.op.a = n;
        break;
      }
      case OP_JUMP_TABLE: {
        int n = 0;
        if (const char* fault = counted(4, &n)) return fault_at(pc, op, fault, 2);
        slot(SLOT_JUMP_TABLE, 4 + 4 * n);  // the entries are checked when one is taken
        p.op.a = n;
        break;
      }
      case OP_LOAD: {
        slot(SLOT_LOAD, 2 + VAR_OPERAND_SIZE);
        if (pc + p.length > b->end) break;
        variable();
        int type = access_type_of(p.op.word), scope = access_scope_of(p.op.word);
        if (scope > SCOPE_LOCAL || type > TYPE_STRING_ARRAY) return fault_at(pc, op, FAULT_OPERAND, p.length, p.length);
        if ((p.op.word & 0x7FF) == (SCOPE_LOCAL << 5 | TYPE_INT << 8))
          p.op.slot = SLOT_LOAD_LOCAL;
        else if (type == TYPE_INT && scope < SCOPE_LOCAL)
          p.op.slot = SLOT_LOAD_TABLE;
        break;
      }
      case OP_LOAD_ELEMENT: {
        slot(SLOT_LOAD_ELEMENT, 2 + VAR_OPERAND_SIZE);
        if (pc + p.length > b->end) break;
        variable();
        int type = access_type_of(p.op.word), count = access_indices_of(p.op.word);
        if (access_scope_of(p.op.word) > SCOPE_LOCAL || type > TYPE_STRING || count < 1 || count > 3)
          return fault_at(pc, op, FAULT_OPERAND, p.length, p.length);
        p.op.column = static_cast<uint8_t>(type);
        break;
      }
      case OP_CALL: case OP_CALL_DROP:
        slot(SLOT_CALL, 12);
        if (pc + 12 > b->end) break;
        p.op.hash = code_u32(pc + 2);
        p.op.a = code_i16(pc + 10);
        if (p.op.a < 0) return fault_at(pc, op, FAULT_COUNT, 12, 12);
        break;
      case OP_JUMP: case OP_JUMP_TRUE: case OP_JUMP_FALSE: {
        slot(op == OP_JUMP ? SLOT_JUMP : op == OP_JUMP_TRUE ? SLOT_JUMP_TRUE : SLOT_JUMP_FALSE, 6);
        if (pc + 6 > b->end) break;
        bool valid;
        uint8_t* target = jump_target(b, pc, pc + 2, &valid);
        if (valid)
          p.jump = target;
        else if (op == OP_JUMP)
          return fault_at(pc, op, FAULT_RANGE, 6);
        break;  // a conditional jump outside the block reports when it is taken
      }
      case OP_DECIDE_LABEL: case OP_MIDDLE_LABEL: case OP_CANCEL_LABEL: case OP_ALL_LABELS: case OP_BACK_LABEL:
      case OP_END_LABEL: {
        slot(SLOT_OTHER, 6);
        if (pc + 6 > b->end) break;
        bool valid;
        jump_target(b, pc, pc + 2, &valid);
        if (!valid) return fault_at(pc, op, FAULT_RANGE, 6, 6);
        break;
      }
      case OP_SWITCH: case OP_CASE_EQ: case OP_CASE_GT: case OP_CASE_LT: case OP_CASE_LE: case OP_CASE_GE: {
        // The stack is checked first, so these report a target outside the block when they run.
        slot(op == OP_SWITCH ? SLOT_SWITCH : SLOT_CASE, 6);
        if (pc + 6 > b->end) break;
        bool valid;
        uint8_t* target = jump_target(b, pc, pc + 2, &valid);
        if (valid) p.jump = target;
        break;
      }
      case OP_BUILTIN: case OP_BUILTIN_DROP: slot(SLOT_BUILTIN, 8); break;
      case OP_LINE:
        slot(SLOT_LINE, 4);
        if (pc + 4 <= b->end) p.op.a = code_i16(pc + 2);
        p.op.hash = readmark_byte_of(p.op.a);
        p.op.sub = readmark_bit_of(p.op.a);
        break;
      default:
        break;  // out of line: an undefined word is reported there and the next word runs
    }
  }
  // Operands beyond the guard: nothing can be read there.
  if (pc + p.length > b->end) return fault_at(pc, op, FAULT_RANGE, p.length);
  return p;
}

bool ends_run(uint16_t slot) { return slot == SLOT_RETURN || slot == SLOT_JUMP || slot == SLOT_FAULT; }

// A plain read of an int variable (no access mode, no unary operator).
bool plain_int_load(const decoded_op& r) {
  return (r.slot == SLOT_LOAD_LOCAL || r.slot == SLOT_LOAD_TABLE) && (r.word & 0x1F) == 0;
}
bool popped_int_set(const decoded_op& r) {
  return (r.slot == SLOT_SET_LOCAL || r.slot == SLOT_SET_TABLE) && r.op == OP_ASSIGN + OP_POPPED;
}

// When a compare-and-jump jumps: bit 0 for v < k, bit 1 for v == k, bit 2 for v > k.
uint8_t jump_mask(int row, bool on_true) {
  int holds = 0;
  switch (row) {
    case BIN_LE: holds = 3; break;
    case BIN_LT: holds = 1; break;
    case BIN_GE: holds = 6; break;
    case BIN_GT: holds = 4; break;
    case BIN_EQ: holds = 2; break;
    default: holds = 5; break;  // BIN_NE
  }
  return static_cast<uint8_t>(on_true ? holds : ~holds & 7);
}

// The superinstructions: the first record of a sequence takes the sequence's slot. A sequence
// lies within the run's own records: a link at its end carries the opcode it leads to, but a
// fused handler would step past it onto the run's end.
void superinstructions_mark(std::vector<pending>& run) {
  size_t n = !run.empty() && run.back().op.slot == SLOT_LINK ? run.size() - 1 : run.size();
  for (size_t k = 0; k + 1 < n; ++k) {
    decoded_op& first = run[k].op;
    const decoded_op& set = run[k + 1].op;
    if ((plain_int_load(first) || first.slot == SLOT_PUSH_INT) && set.slot == SLOT_ASSIGN_INT && set.popped) {
      first.slot = first.slot == SLOT_PUSH_INT ? SLOT_ASSIGN_K : SLOT_ASSIGN_V;
      first.sub = set.sub;
      if (k + 2 < n && run[k + 2].op.slot == SLOT_JUMP) first.sub |= SUB_JUMPS;
    } else if (first.slot == SLOT_PUSH_STRING && set.slot == SLOT_STRING_OP) {
      first.slot = SLOT_STRING_K;
      first.sub = set.sub;
    }
  }
  for (size_t k = 0; k + 2 < n; ++k) {
    decoded_op& first = run[k].op;
    const decoded_op& second = run[k + 1].op;
    const decoded_op& third = run[k + 2].op;
    if (!plain_int_load(first) || !is_int_operator(third.op)) continue;
    bool constant = second.slot == SLOT_PUSH_INT;
    if (!constant && !plain_int_load(second)) continue;
    int row = (third.op - OP_BINARY) / 8;
    const decoded_op* fourth = k + 3 < n ? &run[k + 3].op : nullptr;
    if (fourth && constant && is_int_comparison(third.op) &&
        (fourth->slot == SLOT_JUMP_TRUE || fourth->slot == SLOT_JUMP_FALSE) && run[k + 3].jump) {
      first.slot = first.scope == SCOPE_LOCAL ? SLOT_CMP_JUMP_L : SLOT_CMP_JUMP_T;
      first.sub = jump_mask(row, fourth->slot == SLOT_JUMP_TRUE);
    } else if (fourth && !is_int_comparison(third.op) && popped_int_set(*fourth)) {
      // Specialised when every variable is a local, or none is.
      int locals = (first.scope == SCOPE_LOCAL) + (fourth->scope == SCOPE_LOCAL) + (!constant && second.scope == SCOPE_LOCAL);
      int variables = constant ? 2 : 3;
      if (locals == variables)
        first.slot = constant ? SLOT_ARITH_VK_L : SLOT_ARITH_VV_L;
      else if (locals == 0)
        first.slot = constant ? SLOT_ARITH_VK_T : SLOT_ARITH_VV_T;
      else
        first.slot = constant ? SLOT_ARITH_VK : SLOT_ARITH_VV;
      first.sub = static_cast<uint8_t>(row);
      if (k + 4 < n && run[k + 4].op.slot == SLOT_JUMP) first.sub |= SUB_JUMPS;
    } else {
      first.slot = constant ? SLOT_PUSH_VK : SLOT_PUSH_VV;
      first.sub = static_cast<uint8_t>(row);
    }
  }
}

// A line mark before a superinstruction takes the fused slot.
void line_marks_fuse(std::vector<pending>& run) {
  constexpr uint16_t fusing[][2] = {
      {SLOT_CMP_JUMP_L, SLOT_LINE_CMP_JUMP_L}, {SLOT_ARITH_VV_L, SLOT_LINE_ARITH_VV_L},
      {SLOT_ARITH_VK_L, SLOT_LINE_ARITH_VK_L}, {SLOT_CMP_JUMP_T, SLOT_LINE_CMP_JUMP_T},
      {SLOT_ARITH_VV_T, SLOT_LINE_ARITH_VV_T}, {SLOT_ARITH_VK_T, SLOT_LINE_ARITH_VK_T},
      {SLOT_PUSH_VV, SLOT_LINE_PUSH_VV},       {SLOT_PUSH_VK, SLOT_LINE_PUSH_VK},
      {SLOT_ASSIGN_V, SLOT_LINE_ASSIGN_V},     {SLOT_ASSIGN_K, SLOT_LINE_ASSIGN_K},
  };
  for (size_t k = 0; k + 1 < run.size(); ++k) {
    if (run[k].op.slot != SLOT_LINE) continue;
    for (const auto& [next, fused] : fusing)
      if (run[k + 1].op.slot == next) run[k].op.slot = fused;
  }
}

// Decodes a run from pc; the whole block when pc is its start.
void run_decode(decoded_block* b, uint8_t* pc, const void* const* handlers, std::vector<jump_to>* jumps) {
  bool sweep = pc == b->lo;
  std::vector<pending> run;
  for (;;) {
    if (pc >= b->end) break;
    if (decoded_op* there = b->index[pc - b->lo]) {
      pending link{};
      link.op.at = pc, link.op.slot = SLOT_LINK, link.op.target = there, link.op.op = there->op;
      run.push_back(link);
      break;
    }
    pending p = decode_one(b, pc);
    run.push_back(p);
    pc += p.length;
    if (!sweep && ends_run(p.op.slot)) break;
  }
  superinstructions_mark(run);
  line_marks_fuse(run);
  auto* records = new decoded_op[run.size() + 1];
  for (size_t k = 0; k < run.size(); ++k) {
    records[k] = run[k].op;
    records[k].handler = handlers[records[k].slot];
    if (records[k].slot != SLOT_LINK) b->index[records[k].at - b->lo] = &records[k];
    if (run[k].jump) jumps->push_back({&records[k], &records[k].target, run[k].jump});
    if (records[k].slot == SLOT_JUMP_TABLE) {
      // Each entry that lies in the block is resolved; the others report when taken.
      int n = records[k].a;
      auto& table = b->tables.emplace_back(new decoded_op*[n > 0 ? n : 1]());
      records[k].table = table.get();
      for (int e = 0; e < n; ++e) {
        bool valid;
        uint8_t* target = jump_target(b, records[k].at, records[k].at + 4 + 4 * e, &valid);
        if (valid) jumps->push_back({&records[k], &table[e], target});
      }
    }
  }
  // Past the last record: never the continuation of anything (each run ends in a return, a
  // jump, a fault, a link or the guard's end).
  decoded_op& sentinel = records[run.size()];
  sentinel = decoded_op{};
  sentinel.slot = SLOT_FAULT, sentinel.fault = FAULT_RANGE;
  sentinel.handler = handlers[SLOT_FAULT];
  b->runs.emplace_back(records);
}

// The case chain at a switch's target (see case_chain), once every target is decoded. A chain
// that comes back on itself ends there.
case_chain* chain_make(decoded_block* b, decoded_op* start) {
  constexpr size_t MOST_CASES = 4096;
  auto chain = std::make_unique<case_chain>();
  chain->start = start;
  std::vector<case_entry>& entries = chain->entries;
  for (decoded_op* at = start; entries.size() < MOST_CASES;) {
    if (at[0].slot != SLOT_PUSH_INT || at[1].slot != SLOT_CASE || at[1].op != OP_CASE_EQ || !at[1].target) break;
    entries.push_back({at[0].a, &at[2]});
    chain->last_key = at[0].a;
    chain->otherwise = at[1].target;
    if (chain->otherwise->slot != SLOT_POP) break;
    at = chain->otherwise + 1;
  }
  // The first of equal keys is the one the chain would take.
  std::stable_sort(entries.begin(), entries.end(), [](const case_entry& x, const case_entry& y) { return x.key < y.key; });
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const case_entry& x, const case_entry& y) { return x.key == y.key; }),
                entries.end());
  b->chains.push_back(std::move(chain));
  return b->chains.back().get();
}

decoded_op* record_at(decoded_block* b, uint8_t* address, const void* const* handlers) {
  if (decoded_op* r = b->index[address - b->lo]) return r;
  std::vector<jump_to> jumps;
  if (b->runs.empty() && address != b->lo) run_decode(b, b->lo, handlers, &jumps);  // the sweep first
  if (!b->index[address - b->lo]) run_decode(b, address, handlers, &jumps);
  // Every jump's target, decoding a run where none starts yet (which may add jumps).
  for (size_t k = 0; k < jumps.size(); ++k) {
    uint8_t* target = jumps[k].target;
    if (!b->index[target - b->lo]) run_decode(b, target, handlers, &jumps);
    *jumps[k].where = b->index[target - b->lo];
  }
  for (const jump_to& j : jumps)
    if (j.record->slot == SLOT_SWITCH) j.record->cases = chain_make(b, j.record->target);
  return b->index[address - b->lo];
}

// The decoded block holding address (code or guard), made when first needed.
decoded_block* block_of(const uint8_t* address) {
  for (int k = 0; k < BLOCKS_REMEMBERED; ++k) {
    decoded_block* b = decoding.last[k];
    if (b && address >= b->lo && address < b->end) {
      for (; k > 0; --k) decoding.last[k] = decoding.last[k - 1];
      decoding.last[0] = b;
      return b;
    }
  }
  // The guard is not part of the block's range: look for the block just before the address.
  bool found = false;
  for (size_t back = 0; back <= CODE_GUARD_SIZE && !found; ++back) {
    if (reinterpret_cast<uintptr_t>(address) < back) break;
    found = code_block_lookup(address - back) &&
            reinterpret_cast<uintptr_t>(address) < code_block_last[0].hi + CODE_GUARD_SIZE;
  }
  if (!found) return nullptr;
  auto* lo = reinterpret_cast<uint8_t*>(code_block_last[0].lo);
  auto* hi = reinterpret_cast<uint8_t*>(code_block_last[0].hi);
  std::unique_ptr<decoded_block>& slot = decoding.blocks[lo];
  if (!slot || slot->hi != hi) {
    slot = std::make_unique<decoded_block>();
    slot->lo = lo, slot->hi = hi, slot->end = hi + CODE_GUARD_SIZE;
    slot->index.assign(static_cast<size_t>(slot->end - lo), nullptr);
    for (decoded_block*& last : decoding.last)
      if (last && last->lo == lo) last = nullptr;
  }
  for (int k = BLOCKS_REMEMBERED - 1; k > 0; --k) decoding.last[k] = decoding.last[k - 1];
  decoding.last[0] = slot.get();
  return slot.get();
}

}  // namespace

decoded_op* decode_at(uint8_t* address, const void* const* handlers) {
  decoded_block* b = address ? block_of(address) : nullptr;
  return b ? record_at(b, address, handlers) : nullptr;
}

const decoded_op* decode_find(const uint8_t* address) {
  for (auto& [lo, b] : decoding.blocks)
    if (address >= b->lo && address < b->end) return b->index[address - b->lo];
  return nullptr;
}

void decode_reset() {
  decoding.blocks.clear();
  for (decoded_block*& last : decoding.last) last = nullptr;
}

bool decode_is_instruction_start(const uint8_t* address) {
  decoded_block* b = address ? block_of(address) : nullptr;
  if (!b || address > b->hi) return false;
  if (b->starts.empty()) {
    b->starts.assign(static_cast<size_t>(b->hi - b->lo) + 1, false);
    // Each walk stops where an earlier one has been: from there on they agree.
    auto walk = [b](uint8_t* pc) {
      for (; pc <= b->hi && !b->starts[pc - b->lo]; pc += decode_one(b, pc).length) b->starts[pc - b->lo] = true;
    };
    walk(b->lo);
    script_object* o = object_find_by_address(b->lo);
    if (o && o->code == b->lo) {
      for (uint32_t k = 0; k < o->function_count; ++k)
        if (o->functions[k].offset <= o->code_size) walk(b->lo + o->functions[k].offset);
      if (o->entry_offset <= o->code_size) walk(b->lo + o->entry_offset);
    }
  }
  return b->starts[address - b->lo];
}
