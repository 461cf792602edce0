// The interpreter pass's sleep.
//
// A pass that finds every thread waiting used to sleep 1 ms and look again. It sleeps instead in
// the platform's wait for events until the first thing that can change what the next pass does:
// the end of a thread's wait by the clock, a frame that has work (a timeline running, a dirty grid;
// every frame in full screen, where the frame follows the cursor for the menu bar), a window timer,
// the joystick's next poll, and the waits for input and frames (a frame waited for; input that
// this pass took, which a thread waiting for it sees in the next pass). Everything else that a
// pass reacts to (input, window and host events, messages that other threads post: the movie's
// pictures, a program's end) ends the wait when it comes. The wait ends at the clock's tick when its deadline falls (platform.h), so no
// wait ends later than the 1 ms pass would have ended it, and input is handled at once.
#pragma once

#include <cstdint>

// The longest sleep, a safety net for whatever the list above does not know of.
constexpr uint32_t PASS_SLEEP_MAX_MS = 1000;

// Milliseconds of the platform clock the pass may sleep now (0: run again at once). input_came:
// the pass handled window messages.
uint32_t pass_sleep_ms(bool input_came);
// Sleeps that long, or until an event comes.
void pass_sleep(bool input_came);
