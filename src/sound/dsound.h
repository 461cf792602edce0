// The sound device and its buffers.
//
// STAND-IN: only the opening that start-up asks for. The sound-device module replaces this file.
#pragma once

// Opens the device when it is not open yet: 0 usable, nonzero unusable.
int dsound_ensure_init();
