// Intrusive doubly linked lists: records carry their own prev and next pointers and the module that
// owns the list keeps its head and tail. One place for the linking, so no list can be left half
// updated by a hand-written copy.
#pragma once

// Links x in before at; a null at appends x at the tail.
template <typename T>
void list_insert_before(T*& head, T*& tail, T* x, T* at) {
  x->next = at;
  x->prev = at ? at->prev : tail;
  (x->prev ? x->prev->next : head) = x;
  (at ? at->prev : tail) = x;
}

template <typename T>
void list_push_front(T*& head, T*& tail, T* x) {
  list_insert_before(head, tail, x, head);
}

template <typename T>
void list_push_back(T*& head, T*& tail, T* x) {
  list_insert_before(head, tail, x, static_cast<T*>(nullptr));
}

// Takes x out of the list; its own pointers are cleared.
template <typename T>
void list_unlink(T*& head, T*& tail, T* x) {
  (x->prev ? x->prev->next : head) = x->next;
  (x->next ? x->next->prev : tail) = x->prev;
  x->prev = x->next = nullptr;
}
