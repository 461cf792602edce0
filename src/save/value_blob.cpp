#include "save/value_blob.h"

#include <cstdio>
#include <cstring>

#include "vm/variables.h"

// ---------------------------------------------------------------------------------------------
// Snapshot copies

void blob_marks_clear(std::span<const value_cell> cells) {
  for (const value_cell& c : cells)
    if (c.type >= TYPE_INT_ARRAY && c.type <= TYPE_STRING_ARRAY && c.a) c.a->mark = 0;
}

static array_block* array_copy(array_block* a) {
  array_block* copy = array_block_new(a->type, a->dims[0], a->dims[1], a->dims[2]);
  size_t n = array_count(a);
  if (a->type == TYPE_STRING_ARRAY) {
    for (size_t i = 0; i < n; ++i) {
      string_block* s = array_strings(a)[i];
      array_strings(copy)[i] = s ? string_block_new(s->text, static_cast<size_t>(s->length - 1)) : nullptr;
    }
  } else {
    memcpy(copy->data, a->data, n * sizeof(array_number));
  }
  return copy;
}

void snapshot_copy(var_table* target, const value_cell* source) {
  value_cell c = *source;
  if (c.type == TYPE_STRING) {
    if (c.s) c.s->refcount++;
  } else if (type_is_block(c.type) && c.a) {
    array_block* a = c.a;
    if (a->mark == 0) {
      c.a = array_copy(a);
      a->mark = reinterpret_cast<intptr_t>(c.a);
    } else {
      c.a = reinterpret_cast<array_block*>(a->mark);
      c.a->refcount++;
    }
  }
  *var_table_append(target) = c;
}

// ---------------------------------------------------------------------------------------------
// Writing

static void put_bytes(std::vector<uint8_t>* out, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + n);
}

// A block counts as written once its mark holds its offset; -1 is "not yet".
static void marks_unwrite(const value_cell& c) {
  if (c.type == TYPE_STRING) {
    if (c.s) c.s->mark = -1;
  } else if (type_is_block(c.type) && c.a) {
    c.a->mark = -1;
    if (c.a->type == TYPE_STRING_ARRAY)
      for (size_t i = 0, n = array_count(c.a); i < n; ++i)
        if (string_block* s = array_strings(c.a)[i]) s->mark = -1;
  }
}

// Opens a block's entry (refcount, own offset) at the blob's end; false when the block was
// written before. Either way *offset is where its entry lies.
template <typename Block>
static bool entry_open(Block* b, std::vector<uint8_t>* blob, uint32_t* offset) {
  if (b->mark != -1) return *offset = static_cast<uint32_t>(b->mark), false;
  *offset = static_cast<uint32_t>(blob->size());
  b->mark = *offset;
  put_le32(blob, static_cast<uint32_t>(b->refcount));
  put_le32(blob, *offset);
  return true;
}

static uint32_t string_write(string_block* s, std::vector<uint8_t>* blob) {
  uint32_t offset;
  if (!entry_open(s, blob, &offset)) return offset;
  put_le32(blob, static_cast<uint32_t>(s->length));
  put_bytes(blob, s->text, static_cast<size_t>(s->length));
  return offset;
}

static uint32_t array_write(array_block* a, std::vector<uint8_t>* blob) {
  uint32_t offset;
  if (!entry_open(a, blob, &offset)) return offset;
  for (int32_t d : a->dims) put_le32(blob, static_cast<uint32_t>(d));
  size_t n = array_count(a);
  if (a->type != TYPE_STRING_ARRAY) {
    for (size_t i = 0; i < n; ++i) put_le32(blob, static_cast<uint32_t>(array_numbers(a)[i].i));
    put_le32(blob, 0);  // the block's spare word: zeros, never what memory held
    return offset;
  }
  put_le32(blob, 0);
  size_t slots = blob->size();
  blob->resize(slots + 4 * n);
  for (size_t i = 0; i < n; ++i) {
    string_block* s = array_strings(a)[i];
    uint32_t at = s ? string_write(s, blob) : 0xFFFFFFFFu;
    set_le32(blob->data() + slots + 4 * i, at);
  }
  return offset;
}

size_t value_serialize(const value_cell* cell, std::vector<uint8_t>* blob, uint8_t out[SAVED_CELL_SIZE]) {
  size_t before = blob->size();
  set_le32(out, cell->hash);
  set_le32(out + 4, static_cast<uint32_t>(cell->type));
  if (cell->type == TYPE_STRING && cell->s) {
    set_le32(out + 8, string_write(cell->s, blob));
    set_le32(out + 12, 0);
  } else if (type_is_block(cell->type) && cell->a) {
    set_le32(out + 8, array_write(cell->a, blob));
    set_le32(out + 12, 0);
  } else if (type_is_block(cell->type)) {
    // A block cell without its block reads back as the type's default.
    set_le32(out + 4, 0);
    set_le32(out + 8, static_cast<uint32_t>(cell->scope));
    set_le32(out + 12, 0);
  } else {
    set_le32(out + 8, static_cast<uint32_t>(cell->scope));
    set_le32(out + 12, static_cast<uint32_t>(cell->i));
  }
  return blob->size() - before;
}

// The bytes a cell's entries add to the blob, each block counted once (its mark becomes -2).
static size_t entry_size(const value_cell& c) {
  auto once = [](intptr_t& mark) { return mark == -2 ? false : (mark = -2, true); };
  if (c.type == TYPE_STRING) return c.s && once(c.s->mark) ? 12 + size_t(c.s->length) : 0;
  if (!type_is_block(c.type) || !c.a || !once(c.a->mark)) return 0;
  size_t n = array_count(c.a), size = 24 + 4 * n;
  if (c.a->type == TYPE_STRING_ARRAY)
    for (size_t i = 0; i < n; ++i)
      if (string_block* e = array_strings(c.a)[i]; e && once(e->mark)) size += 12 + size_t(e->length);
  return size;
}

bool value_blob_write(std::span<const std::span<const value_cell>> tables, blob_output* out, size_t blob_max) {
  // Sized first, so that the blob is allocated once.
  size_t cells = 0, blob = 0;
  for (auto table : tables) {
    cells += table.size();
    for (const value_cell& c : table) blob += entry_size(c);
  }
  for (auto table : tables)
    for (const value_cell& c : table) marks_unwrite(c);
  if (blob > blob_max || out->blob.size() > blob_max - blob) return false;
  out->cells.reserve(out->cells.size() + SAVED_CELL_SIZE * cells);
  out->blob.reserve(out->blob.size() + blob);
  for (auto table : tables)
    for (const value_cell& c : table) {
      size_t at = out->cells.size();
      out->cells.resize(at + SAVED_CELL_SIZE);
      value_serialize(&c, &out->blob, out->cells.data() + at);
    }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool blob_reader::shared(uint32_t offset, int type, void** block) {
  auto it = entries_.find(offset);
  if (it == entries_.end()) return false;
  *block = nullptr;
  if (it->second.type != type) return true;  // one offset named as two kinds: damage
  *block = it->second.block;
  if (type == TYPE_STRING)
    static_cast<string_block*>(*block)->refcount++;
  else
    static_cast<array_block*>(*block)->refcount++;
  return true;
}

string_block* blob_reader::string_at(uint32_t offset) {
  if (void* known; shared(offset, TYPE_STRING, &known)) return static_cast<string_block*>(known);
  if (offset > size_ || size_ - offset < 12) return nullptr;
  const uint8_t* p = blob_ + offset;
  uint32_t length = le32(p + 8);
  if (length < 1 || length > size_ - offset - 12 || p[12 + length - 1] != 0) return nullptr;
  string_block* s = string_block_alloc(static_cast<int32_t>(length));
  memcpy(s->text, p + 12, length);
  entries_[offset] = {TYPE_STRING, s};
  return s;
}

array_block* blob_reader::array_at(uint32_t offset, int type) {
  if (void* known; shared(offset, type, &known)) return static_cast<array_block*>(known);
  if (offset > size_ || size_ - offset < 24) return nullptr;
  const uint8_t* p = blob_ + offset;
  int32_t dims[3];
  uint64_t n = 1;
  for (int k = 0; k < 3; ++k) {
    dims[k] = static_cast<int32_t>(le32(p + 8 + 4 * k));
    if (dims[k] < 0) return nullptr;
    n *= static_cast<uint64_t>(dims[k]);
    if (!array_count_allowed(type, n)) return nullptr;
  }
  // The whole entry lies in the blob before anything is allocated for it.
  if (n * 4 > size_ - offset - 24) return nullptr;
  array_block* a = array_block_new(type, dims[0], dims[1], dims[2]);
  if (!a) return nullptr;
  entries_[offset] = {type, a};
  if (type != TYPE_STRING_ARRAY) {
    for (uint64_t i = 0; i < n; ++i) array_numbers(a)[i].i = static_cast<int32_t>(le32(p + 20 + 4 * i));
    return a;
  }
  for (uint64_t i = 0; i < n; ++i) {
    uint32_t at = le32(p + 24 + 4 * i);
    string_block* s = at == 0xFFFFFFFFu ? string_block_empty() : string_at(at);
    if (!s) {
      entries_.erase(offset);
      array_release(a);
      return nullptr;
    }
    array_strings(a)[i] = s;
  }
  return a;
}

bool blob_reader::value_deserialize(value_cell* target, const uint8_t* saved, int16_t scope) {
  uint32_t type = le32(saved + 4);
  if (type > TYPE_STRING_ARRAY) return false;
  *target = int_cell(0, le32(saved));
  target->type = static_cast<int16_t>(type);
  target->scope = scope;
  if (type == TYPE_STRING) {
    target->s = string_at(le32(saved + 8));
    return target->s != nullptr;
  }
  if (type_is_block(static_cast<int>(type))) {
    target->a = array_at(le32(saved + 8), static_cast<int>(type));
    return target->a != nullptr;
  }
  target->i = static_cast<int32_t>(le32(saved + 12));
  return true;
}

bool blob_reader::read_cells(const uint8_t* saved, size_t count, int16_t scope, std::vector<value_cell>* out) {
  for (size_t i = 0; i < count; ++i) {
    value_cell c;
    if (!value_deserialize(&c, saved + SAVED_CELL_SIZE * i, scope)) return false;
    out->push_back(c);
  }
  return true;
}

void cells_release(std::vector<value_cell>* cells) {
  for (value_cell& c : *cells) value_release(&c);
  cells->clear();
}
