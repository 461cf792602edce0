#include "builtin_reference.h"

#include <cstdio>
#include <map>
#include <set>
#include <string_view>

#include "base/cp932.h"
#include "vko_syntax.h"
#include "vm/builtin_table.h"

namespace {

const std::map<std::string_view, const builtin_note*>& notes_by_name() {
  static const auto notes = [] {
    std::map<std::string_view, const builtin_note*> m;
    for (const builtin_note& n : builtin_notes()) m.emplace(n.name, &n);
    return m;
  }();
  return notes;
}

// Table cells: engine text (the literals are CP932) in UTF-8, with "|" kept out of the table's way.
std::string cell(const char* text) {
  std::string out;
  for (char c : cp932_to_utf8_lenient(text && *text ? text : "-")) out += c == '|' ? std::string("\\|") : std::string(1, c);
  return out;
}

const char* const SUBSYSTEMS[] = {"",         "",       "The script machine", "The shell",   "Graphics",
                                  "Text and messages", "Sound and movies", "Save data", "Mahjong"};

}  // namespace

std::vector<std::string> builtin_notes_unmatched() {
  std::vector<std::string> out;
  std::set<std::string_view> names;
  for (const builtin_entry& e : builtin_entries()) {
    names.insert(e.name);
    if (!notes_by_name().count(e.name)) out.push_back(std::string("no note: ") + e.name);
  }
  for (const builtin_note& n : builtin_notes())
    if (!names.count(n.name)) out.push_back(std::string("no built-in: ") + n.name);
  return out;
}

std::string builtin_reference() {
  std::string out = R"(# Built-ins

Every built-in the engine offers a script, by subsystem. This page is made from the engine's own
table of built-ins (`vaskasm -r` prints it; a test fails when it differs from the table), so it
names exactly what the engine has.

A script calls a built-in with `builtin NAME ARGC` (the result stays on the stack) or
`builtin.drop NAME ARGC` (it is dropped); ARGC counts the arguments pushed before it. The **first
argument is pushed last**, so that it lies on top: `sprite_move`(sprite, x, y) is

    push.i 120          ; y
    push.i 40           ; x
    load.i @ball        ; sprite
    builtin.drop sprite_move 3

Arguments in brackets are optional; their defaults follow "=". Every built-in leaves exactly one
result: "0" where nothing else is said. Texts are CP932 strings; pages, sprites, threads and text
files are the integer handles the built-ins that make them return; colours are 0x00BBGGRR; levels
run 0..1000; times are milliseconds of the script clock.

A built-in that waits (a **W** in the table) keeps the script's thread at the call until what it
waits for has come; the other threads, the screen and the window go on meanwhile. Boxes and
dialogs hold the whole game until the player closes them. A built-in marked **S** calls into the
scripts itself (it enters a function, fires an event or starts a thread) and finishes when that
code returns. While the player skips (F7, F8), the time waits of the main thread end at once.

The hash is the number the compiled code carries; `vaskasm -d` lists a call by its name.

)";
  for (int subsystem = 2; subsystem <= 8; ++subsystem) {
    out += std::string("## ") + SUBSYSTEMS[subsystem] + "\n\n";
    out += "| built-in | hash | arguments | result | what it does | waits for |\n";
    out += "|---|---|---|---|---|---|\n";
    for (const builtin_entry& e : builtin_entries()) {
      if (e.subsystem != subsystem) continue;
      auto it = notes_by_name().find(e.name);
      const builtin_note* n = it == notes_by_name().end() ? nullptr : it->second;
      char hash[16];
      snprintf(hash, sizeof hash, "%08X", e.hash);
      const char* mark = e.kind == BUILTIN_WAITING ? " **W**" : e.kind == BUILTIN_SELF_CLEANING ? " **S**" : "";
      out += std::string("| `") + e.name + "`" + mark + " | " + hash + " | " + cell(n ? n->arguments : "") + " | " +
             cell(n ? n->result : "") + " | " + cell(n ? n->does : "") + " | " + cell(n ? n->waits : "") + " |\n";
    }
    out += "\n";
  }
  out += R"(## Events

The engine fires these events at the scripts. A script handles one with `event_hook_add`(event name,
function hash); in vaskasm, `push.event NAME` pushes the event's name as the engine knows it (a
text whose CRC-32 is the event's key), and `name_hash` gives a function's hash:

    push.s "on_page"        ; the handler, by its name in lower case
    builtin name_hash 1
    push.event message_page
    builtin.drop event_hook_add 2

Hooks added while the start object's `$init@GLOBAL` runs last for the whole run; others end with
their thread or at the next new game or load. A handler receives the arguments below as its
parameters (`_p1` is the first).

| event | key | the handler receives | fired when |
|---|---|---|---|
)";
  for (const vko_event& e : vko_events()) {
    char key[16];
    snprintf(key, sizeof key, "%08X", e.key);
    out += std::string("| `") + e.name + "` | " + key + " | " + cell(e.arguments) + " | " + cell(e.fired) + " |\n";
  }
  return out;
}
