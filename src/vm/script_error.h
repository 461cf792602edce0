// Script errors and the VM clock.
//
// Every script-level error goes through script_error: the script position (object and line of
// the current frame and up to three calling frames) is put before the message, skipping stops,
// the text goes to the text log and into the Retry/Cancel error box. Retry returns to the caller,
// which goes on with a harmless value; Cancel ends the program. The report mode silences it all in
// packaged games.
//
// The VM clock is the engine's millisecond timer scaled by a speed factor and shifted by an
// offset. The interpreter reads it once per pass (vm_time_update); every wait of that pass sees
// the same time (vm_time_get).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The longest report text, position included (cut on a character boundary).
constexpr size_t SCRIPT_ERROR_TEXT_MAX = 2047;

// Reports a script error. The message is formatted printf-style from its own arguments (up to
// four); the position is prepended as text, so a "%" in an object name is shown as it is.
void script_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The position prefix of the current thread, e.g. "START.VKO(3).SUB.VKO(12) : "; empty when the
// current frame runs in no loaded object.
std::string script_error_position();

// Report mode: -1 at start; 1 silences script_error and the text log; other values show reports.
// Folds one start-up source result into the mode: -2 sets -2, 0 (a folder) sets 0, 2 (a V3
// archive) sets 1; other results leave it. The last folder or V3 archive mounted decides.
void error_report_mode_set(int result);
int error_report_mode_get();

// The timer counts from this value at the program's first reading, so that a VM time keeps clear
// of the wait sentinels 0 and -1 (and of the times just below a start) for 49 days of a run.
constexpr uint32_t VM_TIMER_ORIGIN = 1000000;

// The engine's millisecond timer: the platform clock, counted from VM_TIMER_ORIGIN.
uint32_t vm_timer_ms();
// The VM time read fresh: timer + offset at speed 1; else base + (timer - base) * speed + offset.
int32_t vm_time_now();
// The VM time cached for the current pass, and the pass's reading of it.
int32_t vm_time_get();
int32_t vm_time_update();
// Sets the speed factor. The VM time runs on from where it stands, whatever the old speed was.
void vm_speed_set(double speed);
double vm_speed_get();
// Speed 1.0, no base, no offset (the timing reset before a run).
void vm_clock_reset();

// Tests: report mode -1, and the timer counts from the origin again at its next reading.
void script_error_reset();
