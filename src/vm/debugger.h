// The link to an external script debugger.
//
// The debugger starts the engine with "/DEBUG:" and the address of its listening socket. The
// engine announces itself, takes breakpoints (object name hash and line), stops at them and at
// step targets inside the line mark, reports where it stopped, answers variable queries and waits
// for commands. Requests are window messages that reach the main window's handler table through
// the debug channel; docs/debugger-protocol.md gives the framing and every record.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/debug_channel.h"
#include "platform/window.h"

constexpr int DEBUGGER_BREAKPOINT_MAX = 64;

// Messages to the debugger.
constexpr uint32_t DBG_HELLO = 0xA000, DBG_EXIT = 0xA001, DBG_READY = 0xA002;
// Requests from the debugger.
constexpr uint32_t DBG_RESUME = 0xA003, DBG_BREAK_ADD = 0xA004, DBG_BREAK_CLEAR = 0xA005,
                   DBG_STEP_OVER = 0xA007, DBG_STEP = 0xA008, DBG_STEP_INTO = 0xA009, DBG_CONTINUE = 0xA00A,
                   DBG_BREAK_REMOVE = 0xA00C, DBG_STOP_NEXT = 0xA00D, DBG_VAR_CELL = 0xA00E,
                   DBG_STRING_TEXT = 0xA00F, DBG_LOCAL_CELL = 0xA011, DBG_LOCAL_VALUE = 0xA012,
                   DBG_VAR_VALUE = 0xA013;
// The debugger's message range: only these reach the main window from the link.
constexpr uint32_t DBG_FIRST = 0xA000, DBG_LAST = 0xA013;
// Record kinds (the record frame's wparam).
constexpr uint64_t DBG_RECORD_STOP = 0, DBG_RECORD_CELL = 1, DBG_RECORD_TEXT = 2, DBG_RECORD_ERROR = 3;
constexpr size_t DBG_STOP_SIZE = 72, DBG_CELL_SIZE = 16, DBG_ERROR_SIZE = 8;

// A stand-in record for the debugger's side, alive while a debugger is connected; null otherwise.
window_handle debugger_window();
// Stops at breakpoints and step targets; called by every line mark while a debugger is connected.
void debugger_line_hook(int line);
// Connects to the debugger that the command line names and waits until it lets the engine go.
void debugger_connect(const char* command_line);
// The debugger's share of the main window's messages.
intptr_t debugger_message_hook(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Tells the debugger that the process ends (an exit handler).
void debugger_notify_exit();

// Connects over a given channel, as debugger_connect does after opening the socket (tests).
void debugger_attach(std::unique_ptr<debug_channel> channel);
// Handles every request that has arrived; false once the channel is closed.
bool debugger_poll(int wait_ms);
// Forgets the connection, breakpoints, step state and handles (tests).
void debugger_reset();
