// STAND-IN: there is never a movie to close before the movie module exists.
#include "sound/movie.h"

void movie_close() {}
void movie_set_mode(int) {}
