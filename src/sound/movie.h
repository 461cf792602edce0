// Movies.
//
// STAND-IN: only the close that the return to the title needs. The movie module replaces this
// file. Until then no movie ever plays.
#pragma once

// Closes a playing movie and its window.
void movie_close();
