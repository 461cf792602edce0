// Message control codes: the letters that steer the message window.
//
// STAND-IN: only the control-code instruction's entry. The message module replaces this file.
// Until then codes do nothing, but they still take their values off the stack.
#pragma once

// The control-code instruction: the code's template (length bytes, NUL counted) with its fields
// taken (and popped) from the value stack.
void msg_control_opcode(const char* code, int length);
// Executes one code (letter and fields as text); codes from scripts are ignored during a replay.
int msg_control_exec(const char* code, int from_script);
