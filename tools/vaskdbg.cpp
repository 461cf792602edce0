// vaskdbg: a command-line script debugger. It listens at a socket, waits for the engine started
// with "/DEBUG:<socket>", and runs commands from its standard input, one a line (USAGE below).
// Every answer is one line on standard output.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "base/hash.h"
#include "platform/debug_channel.h"
#include "vm/debugger.h"
#include "vm/script_object.h"

namespace {

const char USAGE[] =
    "usage: vaskdbg [--wait=SECONDS] SOCKET < COMMANDS\n"
    "Listens at the path SOCKET (a socket left there by a debugger that is gone is replaced, nothing\n"
    "else is) for the engine started with /DEBUG:SOCKET, then runs the commands, one a line:\n"
    "  break OBJECT LINE    a breakpoint (OBJECT as the script is named: start or start.vko)\n"
    "  unbreak OBJECT LINE\n"
    "  run                  ends the engine's connect wait (it then stops at its first line)\n"
    "  wait                 waits for the next stop and prints \"stopped OBJECT LINE\"\n"
    "  step | over | into | continue\n"
    "  print NAME           a variable by its full hashed name (@x@GLOBAL); strings print their text\n"
    "  local SLOT           a local of the stopped frame\n"
    "  finish               waits until the engine exits\n"
    "--wait=SECONDS  how long to wait for the engine to connect and for each answer (default 30;\n"
    "                0 waits for ever)\n";

std::unique_ptr<debug_channel> engine_link;
int wait_ms = 30000;

// The next frame, or false when the engine went away or was silent too long.
bool next_frame(debug_frame& f) { return engine_link->receive(f, wait_ms) == 1; }

// A whole word as a number within [low, high]; false (the word answered) otherwise.
bool number_of(const std::string& word, long long low, long long high, long long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || errno != 0 || out < low || out > high) {
    std::printf("bad number \"%s\"\n", word.c_str());
    return false;
  }
  return true;
}

void print_record(const debug_frame& f) {
  if (f.wparam == DBG_RECORD_STOP && f.data.size() == DBG_STOP_SIZE) {
    int32_t line;
    std::memcpy(&line, f.data.data() + 68, 4);
    std::printf("stopped %.63s %d\n", reinterpret_cast<const char*>(f.data.data()), line);
  } else if (f.wparam == DBG_RECORD_TEXT && !f.data.empty()) {
    std::printf("text \"%.*s\"\n", int(f.data.size() - 1), reinterpret_cast<const char*>(f.data.data()));
  } else if (f.wparam == DBG_RECORD_CELL && f.data.size() == DBG_CELL_SIZE) {
    int16_t type;
    int32_t payload;
    std::memcpy(&type, f.data.data() + 4, 2);
    std::memcpy(&payload, f.data.data() + 8, 4);
    if (type == TYPE_FLOAT) {
      float v;
      std::memcpy(&v, &payload, 4);
      std::printf("value %g\n", v);
    } else {
      std::printf("value type %d %d\n", type, payload);
    }
  } else if (f.wparam == DBG_RECORD_ERROR) {
    std::printf("error\n");
  }
}

// Sends a request and waits for its result, printing the records that came before it.
bool request(uint32_t message, uint64_t w, int64_t l, int64_t& result, debug_frame* cell = nullptr) {
  debug_frame f;
  f.message = message, f.wparam = w, f.lparam = l;
  if (!engine_link->send(f)) return false;
  for (;;) {
    if (!next_frame(f)) return false;
    if (f.message == DEBUG_FRAME_RESULT && f.wparam == message) {
      result = f.lparam;
      return true;
    }
    if (f.message == DEBUG_FRAME_RECORD) {
      if (cell && f.wparam == DBG_RECORD_CELL) *cell = f;
      print_record(f);
    }
  }
}

uint32_t object_hash(const std::string& name) {
  char object[OBJECT_NAME_SIZE];
  object_name_make(name.c_str(), object);
  return crc32_string(object);
}

// A string cell's payload is a handle: its text follows.
void print_text_of(const debug_frame& cell) {
  int16_t type;
  int32_t handle;
  std::memcpy(&type, cell.data.data() + 4, 2);
  std::memcpy(&handle, cell.data.data() + 8, 4);
  int64_t result;
  if (type == TYPE_STRING && handle) request(DBG_STRING_TEXT, uint32_t(handle), 0, result);
}

int run_commands() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command, name;
    words >> command;
    int64_t result = 0;
    bool ok = true;
    if (command == "break" || command == "unbreak") {
      std::string line_word;
      long long at;
      words >> name >> line_word;
      if (number_of(line_word, INT32_MIN, INT32_MAX, at)) {
        ok = request(command == "break" ? DBG_BREAK_ADD : DBG_BREAK_REMOVE, object_hash(name), at, result);
        std::printf("%s %s\n", command.c_str(), result == 0 ? "ok" : "refused");
      }
    } else if (command == "run") {
      ok = request(DBG_RESUME, 0, 0, result);
    } else if (command == "step" || command == "over" || command == "into" || command == "continue") {
      uint32_t m = command == "step" ? DBG_STEP : command == "over" ? DBG_STEP_OVER
                   : command == "into" ? DBG_STEP_INTO : DBG_CONTINUE;
      ok = request(m, 0, 0, result);
    } else if (command == "wait") {
      debug_frame f;
      for (;;) {
        if (!(ok = next_frame(f))) break;
        if (f.message == DEBUG_FRAME_RECORD && f.wparam == DBG_RECORD_STOP) {
          print_record(f);
          break;
        }
      }
    } else if (command == "print" || command == "local") {
      words >> name;
      debug_frame cell;
      long long slot;
      if (command == "print")
        ok = request(DBG_VAR_CELL, crc32_string(name.c_str()), 0, result, &cell);
      else if (number_of(name, 0, INT32_MAX, slot))
        ok = request(DBG_LOCAL_CELL, uint64_t(slot), 0, result, &cell);
      if (ok && result == -1 && command == "print") std::printf("unknown %s\n", name.c_str());
      if (ok && cell.data.size() == DBG_CELL_SIZE) print_text_of(cell);
    } else if (command == "finish") {
      debug_frame f;
      while (next_frame(f))
        if (f.message == DBG_EXIT) break;
      std::printf("finished\n");
    } else if (!command.empty()) {
      std::printf("unknown command %s\n", command.c_str());
    }
    std::fflush(stdout);
    if (!ok) {
      std::printf("engine gone\n");
      return 1;
    }
  }
  return 0;
}

}  // namespace

// Removes the socket at path only while it is still the one this run made.
void socket_remove(const char* path, const struct stat& made) {
  struct stat now;
  if (::lstat(path, &now) == 0 && S_ISSOCK(now.st_mode) && now.st_ino == made.st_ino && now.st_dev == made.st_dev)
    std::remove(path);
}

int main(int argc, char** argv) {
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    long long seconds;
    if (arg == "--help" || arg == "-h") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (arg.rfind("--wait=", 0) == 0) {
      if (!number_of(arg.substr(7), 0, INT_MAX / 1000, seconds)) return 2;
      wait_ms = seconds == 0 ? -1 : int(seconds * 1000);
    } else if (arg[0] == '-' || path) {
      std::fprintf(stderr, "vaskdbg: unexpected argument %s\n%s", argv[i], USAGE);
      return 2;
    } else {
      path = argv[i];
    }
  }
  if (!path) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  int listener = debug_socket_listen(path);
  if (listener < 0) {
    const char* why = errno == EEXIST       ? " (a file that is not a stale socket is there; it is left alone)"
                      : errno == EADDRINUSE ? " (another program listens there)"
                                            : "";
    std::fprintf(stderr, "vaskdbg: cannot listen at %s%s\n", path, why);
    return 1;
  }
  struct stat made {};
  ::lstat(path, &made);
  std::printf("listening\n");
  std::fflush(stdout);
  engine_link = debug_socket_accept(listener, wait_ms);
  if (!engine_link) {
    std::fprintf(stderr, "vaskdbg: no engine connected\n");
    socket_remove(path, made);
    return 1;
  }
  debug_frame f;
  // The handshake: the engine announces itself, then says it is ready for commands.
  while (next_frame(f) && f.message != DBG_READY) {
  }
  std::printf("connected\n");
  std::fflush(stdout);
  int status = run_commands();
  engine_link.reset();
  socket_remove(path, made);
  return status;
}
