// The input method, desktop wallpaper and window centring.
//
// STAND-IN: only the switch that start-up calls. The module replaces this file. The game area
// never has an input-method context on this host, so switching it off changes nothing yet.
#pragma once

void ime_disable();
