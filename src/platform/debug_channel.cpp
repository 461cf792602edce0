#include "platform/debug_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void put(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(uint8_t(v >> (8 * i)));
}
uint64_t get(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; i++) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

// A byte stream carrier: frames are cut out of what has arrived.
class stream_channel : public debug_channel {
 public:
  explicit stream_channel(int fd) : fd_(fd) {}
  ~stream_channel() override { close(); }

  bool send(const debug_frame& frame) override {
    if (fd_ < 0) return false;
    std::vector<uint8_t> bytes = debug_frame_encode(frame);
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      if (n <= 0) {
        close();
        return false;
      }
      done += size_t(n);
    }
    return true;
  }

  int receive(debug_frame& frame, int wait_ms) override {
    for (;;) {
      if (fd_ < 0 && buffer_.empty()) return -1;
      size_t used = 0;
      switch (debug_frame_decode(buffer_.data(), buffer_.size(), frame, used)) {
        case DEBUG_DECODE_FRAME:
          buffer_.erase(buffer_.begin(), buffer_.begin() + long(used));
          return 1;
        case DEBUG_DECODE_BAD:
          buffer_.clear();
          close();
          return -1;
        case DEBUG_DECODE_MORE:
          break;
      }
      if (fd_ < 0) {
        buffer_.clear();
        return -1;
      }
      pollfd p{fd_, POLLIN, 0};
      int r = ::poll(&p, 1, wait_ms);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return 0;
      uint8_t chunk[4096];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        close();
        buffer_.clear();
        return -1;
      }
      buffer_.insert(buffer_.end(), chunk, chunk + n);
      wait_ms = 0;
    }
  }

  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::vector<uint8_t> buffer_;
};

// One direction of an in-memory pair.
struct memory_pipe {
  std::mutex lock;
  std::deque<debug_frame> frames;
  bool closed = false;
};

class memory_channel : public debug_channel {
 public:
  memory_channel(std::shared_ptr<memory_pipe> in, std::shared_ptr<memory_pipe> out) : in_(in), out_(out) {}
  ~memory_channel() override { close(); }
  bool send(const debug_frame& frame) override {
    std::lock_guard<std::mutex> g(out_->lock);
    if (out_->closed) return false;
    out_->frames.push_back(frame);
    return true;
  }
  int receive(debug_frame& frame, int) override {
    std::lock_guard<std::mutex> g(in_->lock);
    if (!in_->frames.empty()) {
      frame = std::move(in_->frames.front());
      in_->frames.pop_front();
      return 1;
    }
    return in_->closed ? -1 : 0;
  }
  void close() override {
    for (auto* p : {in_.get(), out_.get()}) {
      std::lock_guard<std::mutex> g(p->lock);
      p->closed = true;
    }
  }

 private:
  std::shared_ptr<memory_pipe> in_, out_;
};

bool socket_address(const char* path, sockaddr_un& a) {
  std::memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  if (!path || !*path || std::strlen(path) >= sizeof a.sun_path) return false;
  std::strcpy(a.sun_path, path);
  return true;
}

}  // namespace

std::vector<uint8_t> debug_frame_encode(const debug_frame& frame) {
  std::vector<uint8_t> out;
  out.reserve(DEBUG_FRAME_HEADER + frame.data.size());
  put(out, frame.message, 4);
  put(out, frame.data.size(), 4);
  put(out, frame.wparam, 8);
  put(out, uint64_t(frame.lparam), 8);
  out.insert(out.end(), frame.data.begin(), frame.data.end());
  return out;
}

debug_decode_status debug_frame_decode(const uint8_t* bytes, size_t size, debug_frame& frame, size_t& used) {
  if (size < DEBUG_FRAME_HEADER) return DEBUG_DECODE_MORE;
  uint32_t length = uint32_t(get(bytes + 4, 4));
  if (length > DEBUG_FRAME_DATA_MAX) return DEBUG_DECODE_BAD;
  if (size - DEBUG_FRAME_HEADER < length) return DEBUG_DECODE_MORE;
  frame.message = uint32_t(get(bytes, 4));
  frame.wparam = get(bytes + 8, 8);
  frame.lparam = int64_t(get(bytes + 16, 8));
  frame.data.assign(bytes + DEBUG_FRAME_HEADER, bytes + DEBUG_FRAME_HEADER + length);
  used = DEBUG_FRAME_HEADER + length;
  return DEBUG_DECODE_FRAME;
}

std::unique_ptr<debug_channel> debug_channel_connect(const char* path) {
  sockaddr_un a;
  if (!socket_address(path, a)) return nullptr;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<stream_channel>(fd);
}

// A socket that nobody listens on is what an earlier debugger left behind: it alone is replaced.
// The new socket is the user's own (0600) before anyone can connect to it.
int debug_socket_listen(const char* path) {
  sockaddr_un a;
  if (!socket_address(path, a)) return -1;
  struct stat st;
  if (::lstat(path, &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      errno = EEXIST;
      return -1;
    }
    int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return -1;
    bool refused = ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == ECONNREFUSED;
    ::close(probe);
    if (!refused) {
      errno = EADDRINUSE;
      return -1;
    }
    ::unlink(path);
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  if (::chmod(path, 0600) != 0 || ::listen(fd, 1) != 0) {
    int error = errno;
    ::close(fd);
    ::unlink(path);
    errno = error;
    return -1;
  }
  return fd;
}

std::unique_ptr<debug_channel> debug_socket_accept(int listener, int wait_ms) {
  pollfd p{listener, POLLIN, 0};
  if (::poll(&p, 1, wait_ms) <= 0) return nullptr;
  int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<stream_channel>(fd);
}

debug_channel_pair debug_channel_memory_pair() {
  auto ab = std::make_shared<memory_pipe>(), ba = std::make_shared<memory_pipe>();
  return {std::make_unique<memory_channel>(ba, ab), std::make_unique<memory_channel>(ab, ba)};
}
