// The reference of every built-in for game makers (docs/builtins.md), made from the engine's table
// of built-ins (names, hashes, whether a built-in waits) and a note per built-in (its arguments,
// result, what it does and what it waits for), with the events scripts can hook. A test fails when
// the table gains a built-in without a note, or when docs/builtins.md differs from this text.
#pragma once

#include <span>
#include <string>
#include <vector>

struct builtin_note {
  const char* name;
  const char* arguments;  // first argument first; [x = d] is optional with its default
  const char* result;
  const char* does;
  const char* waits;  // what a waiting built-in waits for; "" for the others
};

std::span<const builtin_note> builtin_notes();

// Built-ins of the table without a note, and notes that name no built-in of the table.
std::vector<std::string> builtin_notes_unmatched();

// The whole reference, Markdown in UTF-8.
std::string builtin_reference();
