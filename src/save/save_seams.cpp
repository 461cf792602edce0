// STAND-IN: see save_seams.h.
#include "save/save_seams.h"

void save_seam_request_lock(int) {}
void save_seam_request_pending_clear() {}
void save_seam_movie_hide() {}
void save_seam_movie_show() {}
int save_seam_console_enabled() { return 0; }
