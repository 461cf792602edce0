// STAND-IN: see eternal.h.
#include "save/eternal.h"

void system_file_load() {}
void system_file_save() {}
