// Event hooks: script functions registered as handlers of named events.
//
// STAND-IN: only the call that thread reset needs. The hooks module replaces this file.
#pragma once

#include <cstdint>

// Frees the hooks that the thread with this id registered, except persistent ones.
void hook_list_drop_thread(int32_t id);
