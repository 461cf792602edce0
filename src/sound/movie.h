// Movies.
//
// STAND-IN: only the close that the return to the title and the run loop need, and the back end
// that start-up chooses. The movie module replaces this file. Until then no movie ever plays.
#pragma once

// Closes a playing movie and its window.
void movie_close();
// Selects the back end: 1 and 2 play, other values make every start play nothing.
void movie_set_mode(int mode);
