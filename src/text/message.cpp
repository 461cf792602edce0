// STAND-IN: no message window before the message module exists; text is dropped.
#include "text/message.h"

void msg_text_append(const char*, int) {}
int message(int) { return 0; }
void console_state_reset() {}
int console_is_enabled() { return 0; }
int text_speed_get() { return -1; }
