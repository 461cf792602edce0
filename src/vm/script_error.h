// Script errors and the VM clock.
//
// STAND-IN: only the report mode exists yet, which the settings read. The script-error module
// replaces this file with the reporter, the text log and the clock.
#pragma once

// The report mode: -1 at program start; 1 silences the reporter (a packaged game, "player mode");
// every other value shows reports (development mode).
int error_report_mode_get();
// Folds one start-up data-source result into the mode: -2 sets -2, 0 (a loose folder) sets 0,
// 2 (a V3 archive) sets 1; other values leave it as it is.
void error_report_mode_set(int result);
