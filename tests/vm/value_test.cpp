// Cells, blocks and reference counts; variable tables, slot hints and growth; the value stack.
#include <cstring>

#include "vm_fixture.h"

namespace {

using values = vm_test;

value_cell named(uint32_t hash, int type, int scope) {
  value_cell c = int_cell(0, hash);
  c.type = static_cast<int16_t>(type);
  c.scope = static_cast<int16_t>(scope);
  return c;
}

uint8_t* hint_bytes(uint16_t value, uint8_t* storage) {
  memcpy(storage, &value, 2);
  return storage;
}
uint16_t hint_value(const uint8_t* storage) {
  uint16_t v;
  memcpy(&v, storage, 2);
  return v;
}

TEST_F(values, SharedStringLivesUntilItsLastReference) {
  value_cell a = string_cell(string_block_new("abc"), 1);
  value_cell b;
  value_copy(&b, &a);
  EXPECT_EQ(a.s, b.s);
  EXPECT_EQ(a.s->refcount, 2);
  EXPECT_EQ(a.s->length, 4);
  value_release(&a);
  EXPECT_EQ(b.s->refcount, 1);
  EXPECT_STREQ(b.s->text, "abc");
  value_release(&b);  // frees: the ASan build reports a leak or a double free otherwise
}

TEST_F(values, StringArrayReleaseDropsOneReferencePerElement) {
  value_cell arr;
  arr.hash = 2, arr.type = TYPE_STRING_ARRAY, arr.scope = SCOPE_GLOBAL;
  var_init_storage(&arr);
  string_block* element = array_strings(arr.a)[0];
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->length, 1);
  value_cell keep = string_cell(element);
  element->refcount++;  // another cell refers to the element
  value_release(&arr);
  EXPECT_EQ(keep.s->refcount, 1);
  value_release(&keep);

  // Null elements (never filled) are passed over.
  value_cell sparse = array_cell(array_block_new(TYPE_STRING_ARRAY, 1, 2, 3));
  array_strings(sparse.a)[4] = string_block_new("x");
  value_release(&sparse);
}

TEST_F(values, DefaultsOfEveryType) {
  for (int type = TYPE_INT; type <= TYPE_STRING_ARRAY; ++type) {
    value_cell c = named(3, type, SCOPE_LOCAL);
    c.i = 99;
    var_init_storage(&c);
    if (type <= TYPE_FLOAT) {
      EXPECT_EQ(c.bits, 0u);
    } else if (type == TYPE_STRING) {
      EXPECT_EQ(c.s->refcount, 1);
      EXPECT_EQ(c.s->length, 1);
      EXPECT_STREQ(c.s->text, "");
    } else {
      EXPECT_EQ(c.a->dims[0], 1);  // counts as sized
      EXPECT_EQ(array_count(c.a), 1u);
      if (type == TYPE_STRING_ARRAY)
        EXPECT_STREQ(array_strings(c.a)[0]->text, "");
      else
        EXPECT_EQ(array_numbers(c.a)[0].i, 0);
    }
    value_release(&c);
  }
}

TEST_F(values, ArraySizesAreChecked) {
  EXPECT_EQ(array_block_new(TYPE_INT_ARRAY, -1, 1, 1), nullptr);
  EXPECT_EQ(array_block_new(TYPE_INT_ARRAY, 65536, 65536, 65536), nullptr);
  EXPECT_EQ(array_block_new(TYPE_INT_ARRAY, 1 << 30, 1 << 30, 16), nullptr);  // 2^64 elements: 0 when wrapped
  array_block* never_sized = array_block_new(TYPE_INT_ARRAY, 0, 1, 1);
  ASSERT_NE(never_sized, nullptr);
  EXPECT_EQ(array_count(never_sized), 0u);
  array_release(never_sized);
}

TEST_F(values, AppendedGlobalRewritesTheHintAndHitsNextTime) {
  var_table_init(&var_global, 1024);
  for (uint32_t h = 100; h < 105; ++h) {
    value_cell c = named(h, TYPE_INT, SCOPE_GLOBAL);
    var_assign(&c, nullptr);
  }
  uint8_t hint[2];
  value_cell c = named(777, TYPE_INT, SCOPE_GLOBAL);
  c.i = 42;
  value_cell* v = var_assign(&c, hint_bytes(0, hint));
  EXPECT_EQ(hint_value(hint), 5);
  EXPECT_EQ(v, &var_global.cells[5]);
  value_cell key = named(777, TYPE_INT, SCOPE_GLOBAL);
  EXPECT_EQ(var_find(&key, hint)->i, 42);

  // A hint past the count or at another variable falls back to the search and is corrected.
  for (uint16_t wrong : {uint16_t(900), uint16_t(2)}) {
    hint_bytes(wrong, hint);
    EXPECT_EQ(var_find(&key, hint), &var_global.cells[5]);
    EXPECT_EQ(hint_value(hint), 5);
  }
  // A miss leaves the hint alone.
  value_cell absent = named(31337, TYPE_INT, SCOPE_GLOBAL);
  hint_bytes(3, hint);
  EXPECT_EQ(var_find(&absent, hint), nullptr);
  EXPECT_EQ(hint_value(hint), 3);
}

TEST_F(values, HintsReachPast32767Variables) {
  var_table_init(&var_global, 1024);
  for (uint32_t h = 1; h <= 40000; ++h) {
    value_cell* c = var_table_append(&var_global);
    *c = named(h, TYPE_INT, SCOPE_GLOBAL);
    c->i = static_cast<int32_t>(h);
  }
  uint8_t hint[2];
  value_cell key = named(39000, TYPE_INT, SCOPE_GLOBAL);
  EXPECT_EQ(var_find(&key, hint_bytes(0, hint))->i, 39000);
  EXPECT_EQ(hint_value(hint), 38999);  // read back unsigned: the hit needs no search
  EXPECT_EQ(var_find(&key, hint), &var_global.cells[38999]);
}

TEST_F(values, TablesGrowBy256WhenEightCellsRemain) {
  var_table t{};
  var_table_init(&t, 1024);
  for (int i = 0; i < 1015; ++i) var_table_append(&t);
  EXPECT_EQ(t.capacity, 1024);
  var_table_append(&t);  // the count reaches capacity - 8
  EXPECT_EQ(t.count, 1016);
  EXPECT_EQ(t.capacity, 1280);
  var_table_free(&t);

  // The stack: top reaching 1016 of 1024 grows it to 1280.
  while (vm_frame->top < 1015) push_int(1);
  EXPECT_EQ(vm_thread->stack_capacity, 1024);
  push_int(1);
  EXPECT_EQ(vm_frame->top, 1016);
  EXPECT_EQ(vm_thread->stack_capacity, 1280);
}

TEST_F(values, AssignCopiesItsSourceBeforeTheTableMoves) {
  // The source lies in the table's spare room, exactly where the append puts the new entry, and
  // the append moves the table.
  var_table_init(&var_global, 16);
  for (uint32_t h = 1; h <= 7; ++h) {
    value_cell c = named(h, TYPE_INT, SCOPE_GLOBAL);
    var_assign(&c, nullptr);
  }
  value_cell* src = &var_global.cells[var_global.count];
  *src = named(99, TYPE_STRING, SCOPE_GLOBAL);
  src->s = string_block_new("kept");
  value_cell* v = var_assign(src, nullptr);
  EXPECT_EQ(var_global.capacity, 16 + 256);
  ASSERT_EQ(v->type, TYPE_STRING);
  EXPECT_STREQ(v->s->text, "kept");
  EXPECT_EQ(v->s->refcount, 1);
}

TEST_F(values, LocalsAreStackCellsWithinTheFrame) {
  push_int(10);  // parameter 1 at base - 2
  push_int(1);   // argument count at base - 1
  frame_push(vm_thread)->base = vm_frame->top;
  push_int(20);  // local slot 0
  uint8_t hint[2];
  value_cell key = named(0, TYPE_INT, SCOPE_LOCAL);
  EXPECT_EQ(var_find(&key, hint_bytes(0, hint))->i, 20);
  EXPECT_EQ(var_find(&key, hint_bytes(static_cast<uint16_t>(-2), hint))->i, 10);
  // Above the top, or below the stack's first cell: nothing, and an assignment stores nothing.
  EXPECT_EQ(var_find(&key, hint_bytes(1, hint)), nullptr);
  EXPECT_EQ(var_find(&key, hint_bytes(static_cast<uint16_t>(-100), hint)), nullptr);
  value_cell text = named(0, TYPE_STRING, SCOPE_LOCAL);
  text.s = string_block_new("dropped");  // released, not leaked
  EXPECT_EQ(var_assign(&text, hint_bytes(5, hint)), nullptr);
  value_cell v = int_cell(33);
  EXPECT_EQ(var_assign(&v, hint_bytes(0, hint))->i, 33);
}

TEST_F(values, ScopesAndTheirSearchOrder) {
  value_cell e = named(5, TYPE_INT, SCOPE_ETERNAL), g = named(5, TYPE_INT, SCOPE_GLOBAL),
             t = named(5, TYPE_INT, SCOPE_THREAD), only_thread = named(6, TYPE_INT, SCOPE_THREAD);
  e.i = 1, g.i = 2, t.i = 3, only_thread.i = 4;
  var_assign(&g, nullptr);
  var_assign(&t, nullptr);
  var_assign(&only_thread, nullptr);
  EXPECT_EQ(var_find_any(5)->i, 2);
  var_assign(&e, nullptr);
  EXPECT_EQ(var_find_any(5)->i, 1);
  EXPECT_EQ(var_find_global(5)->i, 1);
  EXPECT_EQ(var_find_any(6)->i, 4);
  EXPECT_EQ(var_find_global(6), nullptr);
  value_cell bad = named(5, TYPE_INT, 7);
  EXPECT_EQ(var_find(&bad, nullptr), nullptr);
  EXPECT_EQ(var_assign(&bad, nullptr), nullptr);
}

TEST_F(values, StackPushPopAndTop) {
  push_string("top");
  push_float(2.5f);
  push_int(-3);
  EXPECT_EQ(stack_top()->i, -3);
  stack_pop();
  EXPECT_EQ(stack_top()->f, 2.5f);
  stack_pop();
  EXPECT_EQ(stack_top()->type, TYPE_STRING);
  EXPECT_EQ(stack_top()->scope, SCOPE_LOCAL);
  EXPECT_STREQ(stack_top()->s->text, "top");
  stack_pop();
  stack_pop();  // the dummy cell stays
  EXPECT_EQ(vm_frame->top, 1);
}

}  // namespace
