// The built-in dispatcher: the call instructions 0x834 (keep the result) and 0x835 (drop it) name
// a built-in by its 32-bit hash and give the argument count; the dispatcher runs the built-in and
// tidies the value stack so that the arguments are replaced by exactly one result (or none).
#pragma once

// Runs the built-in whose hash and argument count follow the current frame's code pointer (which
// stands just past the opcode); drop is 1 for 0x835.
void builtin_dispatch(int drop);
