// STAND-IN: each code pops the values it would have used and does nothing else.
#include "text/msg_control.h"

#include "vm/variables.h"

void msg_control_opcode(const char* code, int length) {
  int cells = 0;
  switch (length > 0 ? code[0] : 0) {
    case 'c': case 'l': case 'o': cells = 2; break;
    case 'd': case 's': case 't': case 'x': cells = 1; break;
    case 'f': cells = 5; break;
    case 'g': cells = 6; break;
    default: break;
  }
  for (; cells > 0 && vm_frame->top > vm_frame->base; --cells) stack_pop();
}

int msg_control_exec(const char*, int) { return 0; }
