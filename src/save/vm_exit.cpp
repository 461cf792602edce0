// STAND-IN: nothing is saved or freed before the VM-exit module exists.
#include "save/vm_exit.h"

void ExecOut() {}
