#include "platform/window.h"

#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <deque>
#include <memory>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/platform.h"

// Module state: every window made (records stay until windows_reset, so a stale handle is never a
// dangling pointer), and the one message queue, which other threads may post to. The records
// outlive static destruction: exit handlers may still reach a window, and its host side stays
// reachable to the end.
static std::vector<std::unique_ptr<plat_window>>& windows = *new std::vector<std::unique_ptr<plat_window>>;
static std::mutex queue_lock;
static std::deque<window_message> queue;
struct window_timer {
  window_handle window;
  uintptr_t id;
  uint32_t interval;
  uint32_t last;  // platform clock when it last fired (or was set)
};
static std::vector<window_timer> timers;  // window thread only

window_handle window_create(const window_spec& spec) {
  windows.push_back(std::make_unique<plat_window>());
  plat_window* w = windows.back().get();
  w->spec = spec;
  w->title = spec.title;
  plat().window_host_create(w);
  message_send(w, WM_CREATE, 0, 0);
  return w;
}

void window_destroy(window_handle window) {
  if (!window_is_alive(window)) return;
  message_send(window, WM_DESTROY, 0, 0);
  window->alive = false;
  plat().window_host_destroy(window);
}

bool window_is_alive(window_handle window) { return window && window->alive; }

std::string window_title_get(window_handle window) { return window ? window->title : std::string(); }

void window_title_set(window_handle window, const std::string& title) {
  if (!window_is_alive(window)) return;
  window->title = title;
  plat().window_host_title(window);
}

intptr_t message_send(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (!window_is_alive(window) || !window->spec.procedure) return 0;
  return window->spec.procedure(window, message, wparam, lparam);
}

// The post signal's eventfd, made on first use. A forked child gets one of its own: sharing the
// parent's, either could clear the other's signal.
static int post_signal = -1;
static std::once_flag post_signal_once;
static void post_signal_make() { post_signal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

int message_post_signal() {
  std::call_once(post_signal_once, [] {
    post_signal_make();
    pthread_atfork(nullptr, nullptr, [] {
      close(post_signal);
      post_signal_make();
    });
  });
  return post_signal;
}

void message_post_signal_clear() {
  uint64_t count;
  while (read(message_post_signal(), &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void message_post(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  {
    std::lock_guard<std::mutex> guard(queue_lock);
    queue.push_back({window, message, wparam, lparam});
  }
  uint64_t one = 1;
  while (write(message_post_signal(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void message_post_quit(int exit_code) { message_post(nullptr, WM_QUIT, static_cast<uintptr_t>(exit_code), 0); }

void timer_set(window_handle window, uintptr_t id, uint32_t interval_ms) {
  if (!window_is_alive(window)) return;
  uint32_t now = plat().clock_ms();
  for (window_timer& t : timers) {
    if (t.window == window && t.id == id) {
      t.interval = interval_ms;
      t.last = now;
      return;
    }
  }
  timers.push_back({window, id, interval_ms, now});
}

bool timer_kill(window_handle window, uintptr_t id) {
  for (size_t i = 0; i < timers.size(); ++i) {
    if (timers[i].window == window && timers[i].id == id) {
      timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

uint32_t timers_due_in() {
  uint32_t now = plat().clock_ms(), soonest = WAIT_NO_LIMIT;
  for (const window_timer& t : timers) {
    if (!window_is_alive(t.window)) continue;
    uint32_t since = now - t.last;
    soonest = std::min(soonest, since >= t.interval ? 0 : t.interval - since);
  }
  return soonest;
}

// The first due timer of a live window, restarted; timers of dead windows are dropped.
static bool timer_due(window_message& message) {
  uint32_t now = plat().clock_ms();
  for (size_t i = 0; i < timers.size();) {
    window_timer& t = timers[i];
    if (!window_is_alive(t.window)) {
      timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (now - t.last >= t.interval) {  // wrap-safe: the clock wraps at 2^32
      t.last = now;
      message = {t.window, WM_TIMER, t.id, 0};
      return true;
    }
    ++i;
  }
  return false;
}

// Set by the handler on any thread.
std::atomic<int> session_end_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores into it");

// Async-signal-safe: a store and a write to the post signal, which wakes the window thread's wait.
static void on_ending_signal(int number) {
  int saved_errno = errno;
  session_end_signal.store(number);
  uint64_t one = 1;
  if (write(post_signal, &one, sizeof one) < 0) {
  }
  errno = saved_errno;
}

void session_end_signals_catch() {
  message_post_signal();  // the descriptor exists before a signal can come
  struct sigaction action = {};
  action.sa_handler = on_ending_signal;
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction inherited;
    if (sigaction(number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
}

static void session_end_deliver() {
  if (!session_end_pending()) return;  // every peek: a plain load
  int number = session_end_signal.exchange(0);
  if (!number) return;
  bool told = false;
  for (auto& w : windows) {
    if (!w->alive || !w->spec.procedure) continue;
    message_post(w.get(), WM_ENDSESSION, 1, 0);
    told = true;
  }
  // Before the game has a window nothing of the run can be kept.
  if (!told) exit(128 + number);
}

void session_end_display_lost() {
  for (auto& w : windows)
    if (w->alive && w->spec.procedure) message_send(w.get(), WM_ENDSESSION, 1, 0);
  exit(1);  // no window took it, or its handler came back
}

bool message_peek(window_message& message) {
  session_end_deliver();
  plat().pump_host_events();
  {
    std::lock_guard<std::mutex> guard(queue_lock);
    if (!queue.empty()) {
      message = queue.front();
      queue.pop_front();
      return true;
    }
  }
  return timer_due(message);
}

intptr_t message_dispatch(const window_message& message) {
  return message_send(message.window, message.message, message.wparam, message.lparam);
}

intptr_t default_window_procedure(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == WM_CLOSE) {
    window_destroy(window);
    return 0;
  }
  return plat().host_default_procedure(window, message, wparam, lparam);
}

void windows_reset() {
  for (auto& w : windows)
    if (w->alive) plat().window_host_destroy(w.get());
  windows.clear();
  timers.clear();
  std::lock_guard<std::mutex> guard(queue_lock);
  queue.clear();
}
