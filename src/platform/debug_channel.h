// The channel between the engine and an external script debugger: frames that carry a window
// message (number, wparam, lparam) and, for data records, the record's bytes. Two carriers: a
// local stream socket (the program) and an in-memory pair (tests). The framing is in
// docs/debugger-protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The message number of a data record (the window system's WM_COPYDATA); wparam is its kind.
constexpr uint32_t DEBUG_FRAME_RECORD = 0x004A;
// The answer to a request: lparam is the result.
constexpr uint32_t DEBUG_FRAME_RESULT = 0;
constexpr size_t DEBUG_FRAME_HEADER = 24;
// Longer records are refused: no request needs more, and a hostile length must not allocate.
constexpr uint32_t DEBUG_FRAME_DATA_MAX = 1u << 24;

struct debug_frame {
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
  std::vector<uint8_t> data;
};

enum debug_decode_status { DEBUG_DECODE_FRAME, DEBUG_DECODE_MORE, DEBUG_DECODE_BAD };

// Encodes a frame (little endian header, then the data).
std::vector<uint8_t> debug_frame_encode(const debug_frame& frame);
// Decodes the first frame of bytes; on DEBUG_DECODE_FRAME, used says how many bytes it took.
debug_decode_status debug_frame_decode(const uint8_t* bytes, size_t size, debug_frame& frame, size_t& used);

class debug_channel {
 public:
  virtual ~debug_channel() = default;
  // False when the channel is closed.
  virtual bool send(const debug_frame& frame) = 0;
  // 1 a frame was taken; 0 none came within wait_ms; -1 the channel is closed (or broken framing
  // closed it).
  virtual int receive(debug_frame& frame, int wait_ms) = 0;
  virtual void close() = 0;
};

// Connects to the listening socket at a path; null when that fails.
std::unique_ptr<debug_channel> debug_channel_connect(const char* path);
// Listens at a path (the debugger's side), the socket private to the user: -1 when that fails,
// errno EEXIST for a file that is no socket and EADDRINUSE for a socket someone listens on (only a
// stale socket is replaced). accept waits up to wait_ms (negative: for ever).
int debug_socket_listen(const char* path);
std::unique_ptr<debug_channel> debug_socket_accept(int listener, int wait_ms);
// Two ends joined in memory; each end's sends are the other's receives.
struct debug_channel_pair {
  std::unique_ptr<debug_channel> a, b;
};
debug_channel_pair debug_channel_memory_pair();
