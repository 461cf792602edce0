// Game pads through SDL2's joystick subsystem alone: no SDL window, no SDL video.
#include <SDL.h>

#include <cstdlib>

#include "platform/gtk/gtk_backend.h"

// Module state: whether SDL's joystick subsystem is up (tried once), and the open pads.
static int sdl_state = 0;  // 0 not tried, 1 up, -1 unavailable
static SDL_Joystick* pads[2] = {nullptr, nullptr};

static void joystick_shutdown() {
  for (SDL_Joystick*& pad : pads) {
    if (pad) SDL_JoystickClose(pad);
    pad = nullptr;
  }
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  SDL_Quit();
}

static bool joystick_start() {
  if (sdl_state == 0) {
    // The window is GTK's: pad events must come whether or not SDL thinks it has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SIGINT and SIGTERM are the window system's (session_end_signals_catch), not SDL's.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl_state = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0 ? 1 : -1;
    if (sdl_state == 1) atexit(joystick_shutdown);
  }
  return sdl_state == 1;
}

// SDL's axes run -32768..32767; the engine's 0..65535.
static uint32_t axis_value(SDL_Joystick* pad, int axis) {
  return SDL_JoystickNumAxes(pad) > axis ? static_cast<uint32_t>(SDL_JoystickGetAxis(pad, axis) + 32768) : 32767u;
}

bool gtk_platform::joystick_read(int index, joystick_reading& reading) {
  if (index < 0 || index > 1 || !joystick_start()) return false;
  SDL_JoystickUpdate();
  SDL_Joystick*& pad = pads[index];
  if (pad && !SDL_JoystickGetAttached(pad)) {  // unplugged: it may come back as a new device
    SDL_JoystickClose(pad);
    pad = nullptr;
  }
  if (!pad) {
    if (index >= SDL_NumJoysticks()) return false;
    pad = SDL_JoystickOpen(index);
    if (!pad) return false;
  }
  reading.x = axis_value(pad, 0);
  reading.y = axis_value(pad, 1);
  reading.buttons = 0;
  int count = std::min(SDL_JoystickNumButtons(pad), 32);
  for (int b = 0; b < count; ++b)
    if (SDL_JoystickGetButton(pad, b)) reading.buttons |= 1u << b;
  return true;
}
