// The engine's side of the debugger link on any frames the debugger may send: each gets exactly one
// result, and a frame outside the debugger's plain requests is answered -1 with an error record.
// Globals of each kind give the cell, value and text requests something to hand out.
#include <cstdint>
#include <cstdlib>

#include "quiet_platform.h"
#include "shell/main_window.h"
#include "vm/debugger.h"
#include "vm/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static headless_platform* platform = [] {
    headless_platform* p = fuzz_quiet_platform();
    for (uint32_t hash : {1u, 2u, 3u}) {
      value_cell* v = var_table_append(&var_global);
      v->hash = hash, v->scope = 2;
      v->type = hash == 1 ? TYPE_INT : hash == 2 ? TYPE_FLOAT : TYPE_STRING;
      v->i = hash == 3 ? 0 : -5;
      if (hash == 3) v->s = string_block_new("text");
    }
    return p;
  }();
  platform->boxes.clear();
  auto pair = debug_channel_memory_pair();
  std::unique_ptr<debug_channel> peer = std::move(pair.b);
  debug_frame resume;
  resume.message = DBG_RESUME;
  peer->send(resume);
  debugger_attach(std::move(pair.a));
  while (peer->receive(resume, 0) == 1) {
  }
  size_t pos = 0;
  for (;;) {
    debug_frame f;
    size_t used = 0;
    if (debug_frame_decode(data + pos, size - pos, f, used) != DEBUG_DECODE_FRAME) break;
    pos += used;
    if (f.message == WM_DEBUGGER_QUIT) continue;  // ends the process, as it should
    bool refused = f.message < DBG_FIRST || f.message > DBG_LAST || !f.data.empty();
    peer->send(f);
    try {
      debugger_poll(0);
    } catch (const fuzz_fatal&) {
      while (peer->receive(f, 0) == 1) {
      }
      continue;
    }
    size_t results = 0, errors = 0;
    debug_frame back;
    while (peer->receive(back, 0) == 1) {
      if (back.message == DEBUG_FRAME_RESULT) {
        results++;
        if (refused && back.lparam != -1) abort();
      }
      if (back.message == DEBUG_FRAME_RECORD && back.wparam == DBG_RECORD_ERROR) errors++;
    }
    if (results != 1 || (refused && errors != 1)) abort();
  }
  debugger_reset();
  return 0;
}
