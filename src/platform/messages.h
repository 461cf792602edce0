// Window messages and their numbers. The engine's window side is written as a window procedure over
// messages {code, wparam, lparam}; the numbers are the ones the engine always used, because scripts,
// stored settings and the debugger link carry them.
#pragma once

#include <cstdint>

enum : uint32_t {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  // The session ends (wparam 1): the window ends the program in order, asking nothing. Posted for
  // the signals that end a session and for a window that another program destroyed.
  WM_ENDSESSION = 0x0016,
  WM_ERASEBKGND = 0x0014,
  WM_ACTIVATEAPP = 0x001C,
  WM_WINDOWPOSCHANGING = 0x0046,
  WM_WINDOWPOSCHANGED = 0x0047,
  WM_COPYDATA = 0x004A,
  WM_DISPLAYCHANGE = 0x007E,
  WM_NCPAINT = 0x0085,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_IME_NOTIFY = 0x0282,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_TIMER = 0x0113,
  WM_INITMENU = 0x0116,
  WM_MENUSELECT = 0x011F,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_PARENTNOTIFY = 0x0210,
  WM_ENTERMENULOOP = 0x0211,
  WM_EXITMENULOOP = 0x0212,
  WM_POWERBROADCAST = 0x0218,
  WM_DROPFILES = 0x0233,
  WM_MOUSELEAVE = 0x02A3,
  WM_USER = 0x0400,
  WM_APP = 0x8000,
  // Messages from here up are registered by name at run time; the drain never dispatches them.
  WM_REGISTERED_FIRST = 0xC000,
};

// WM_SYSCOMMAND commands (the low four bits are the system's own and are masked off).
enum : uint32_t {
  SC_SIZE = 0xF000,
  SC_MINIMIZE = 0xF020,
  SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060,
  SC_KEYMENU = 0xF100,  // lparam: the access-key character, 0 for the menu bar itself
  SC_RESTORE = 0xF120,
  SC_SCREENSAVE = 0xF140,
  SC_MONITORPOWER = 0xF170,
  SC_MASK = 0xFFF0,
};

// WM_SIZE kinds (wparam); lparam holds the client width (low word) and height (high word).
enum : uintptr_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Mouse messages: wparam carries the buttons and modifiers held; lparam the client position, x in
// the low and y in the high word, each a signed 16-bit value. WM_MOUSEWHEEL puts the wheel delta
// (a multiple of WHEEL_DELTA per notch, positive away from the user) in the high word of wparam
// and the screen position in lparam.
enum : uintptr_t {
  MK_LBUTTON = 0x0001,
  MK_RBUTTON = 0x0002,
  MK_SHIFT = 0x0004,
  MK_CONTROL = 0x0008,
  MK_MBUTTON = 0x0010,
};
constexpr int WHEEL_DELTA = 120;

// WM_WINDOWPOSCHANGING: lparam points to the window's coming place (the client area's top-left
// corner on the screen and its size), which a handler may change; the flags say what stays.
struct window_pos {
  int x, y, width, height;
  uint32_t flags;
};
enum : uint32_t { SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002 };

// WM_MENUSELECT: wparam's high word 0xFFFF with lparam 0 means the menu closed.
constexpr uintptr_t MENUSELECT_CLOSED = 0xFFFF0000u;
constexpr uintptr_t MF_POPUP = 0x0010;

inline intptr_t make_lparam(int low, int high) {
  return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
inline int lparam_x(intptr_t lparam) { return static_cast<int16_t>(lparam & 0xFFFF); }
inline int lparam_y(intptr_t lparam) { return static_cast<int16_t>((lparam >> 16) & 0xFFFF); }

// Key messages: wparam is the virtual-key code; lparam holds the repeat count (bits 0-15), the
// scan code (16-23), the extended-key flag (24), the Alt flag (29), the previous key state (30: the
// key was already down, an auto-repeat) and the transition state (31: set for key up).
constexpr intptr_t KEY_EXTENDED = intptr_t{1} << 24;
constexpr intptr_t KEY_ALT_DOWN = intptr_t{1} << 29;
constexpr intptr_t KEY_WAS_DOWN = intptr_t{1} << 30;
constexpr intptr_t KEY_RELEASED = intptr_t{1} << 31;

// Virtual-key codes: the engine's key numbers, which scripts and the key map use.
enum : int {
  VK_LBUTTON = 0x01,
  VK_RBUTTON = 0x02,
  VK_CANCEL = 0x03,
  VK_MBUTTON = 0x04,
  VK_XBUTTON1 = 0x05,
  VK_XBUTTON2 = 0x06,
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_CLEAR = 0x0C,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,  // Alt
  VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14,
  VK_KANA = 0x15,
  VK_JUNJA = 0x17,
  VK_KANJI = 0x19,
  VK_ESCAPE = 0x1B,
  VK_CONVERT = 0x1C,
  VK_NONCONVERT = 0x1D,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,  // Page Up
  VK_NEXT = 0x22,   // Page Down
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_SELECT = 0x29,
  VK_PRINT = 0x2A,
  VK_EXECUTE = 0x2B,
  VK_SNAPSHOT = 0x2C,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_HELP = 0x2F,
  VK_0 = 0x30,  // to VK_9 = 0x39
  VK_A = 0x41,  // to VK_Z = 0x5A
  VK_LWIN = 0x5B,
  VK_RWIN = 0x5C,
  VK_APPS = 0x5D,
  VK_NUMPAD0 = 0x60,  // to VK_NUMPAD9 = 0x69
  VK_MULTIPLY = 0x6A,
  VK_ADD = 0x6B,
  VK_SEPARATOR = 0x6C,
  VK_SUBTRACT = 0x6D,
  VK_DECIMAL = 0x6E,
  VK_DIVIDE = 0x6F,
  VK_F1 = 0x70,  // to VK_F24 = 0x87
  VK_F2 = 0x71,
  VK_F3 = 0x72,
  VK_F4 = 0x73,
  VK_F5 = 0x74,
  VK_F6 = 0x75,
  VK_F7 = 0x76,
  VK_F8 = 0x77,
  VK_F9 = 0x78,
  VK_F10 = 0x79,
  VK_F11 = 0x7A,
  VK_F12 = 0x7B,
  VK_F24 = 0x87,
  VK_NUMLOCK = 0x90,
  VK_SCROLL = 0x91,
  VK_OEM_1 = 0xBA,       // ";:" (JIS ":*")
  VK_OEM_PLUS = 0xBB,    // "=+" (JIS ";+")
  VK_OEM_COMMA = 0xBC,
  VK_OEM_MINUS = 0xBD,
  VK_OEM_PERIOD = 0xBE,
  VK_OEM_2 = 0xBF,       // "/?"
  VK_OEM_3 = 0xC0,       // "`~" (JIS "@`")
  VK_OEM_4 = 0xDB,       // "[{"
  VK_OEM_5 = 0xDC,       // "\|" (JIS yen)
  VK_OEM_6 = 0xDD,       // "]}"
  VK_OEM_7 = 0xDE,       // "'"" (JIS "^~")
  VK_OEM_102 = 0xE2,     // the JIS "\_" key
  VK_OEM_ATTN = 0xF0,    // JIS Eisu (CapsLock)
  VK_OEM_COPY = 0xF2,    // JIS Hiragana/Katakana
  VK_OEM_AUTO = 0xF3,    // JIS Hankaku/Zenkaku
};

// The async key state bit for a key that is down.
constexpr int KEY_STATE_DOWN = 0x8000;
