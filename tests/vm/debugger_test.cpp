// The debugger link through the in-memory channel: the handshake, breakpoints, steps by depth and
// thread, the record layouts, and hostile requests. The debugger's side answers from the platform's
// pump, which the engine's nested loops turn.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "interpreter_fixture.h"
#include "vm/debugger.h"

namespace {

struct stop_at {
  std::string object;
  int32_t line;
};

class debugger_link : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    relink();
  }
  // A fresh debugger and channel, nothing seen yet.
  void relink() {
    debugger_reset();
    stops.clear();
    records.clear();
    auto pair = debug_channel_memory_pair();
    engine = std::move(pair.a);
    peer = std::move(pair.b);
  }
  void TearDown() override {
    debugger_reset();
    program_test::TearDown();
  }
  // Attaches with the engine's end; the debugger resumes at its first pump.
  void attach() {
    platform.on_pump = [this] { send(DBG_RESUME); };
    debugger_attach(std::move(engine));
    platform.on_pump = nullptr;
  }
  void send(uint32_t message, uint64_t w = 0, int64_t l = 0, std::vector<uint8_t> data = {}) {
    debug_frame f;
    f.message = message, f.wparam = w, f.lparam = l, f.data = std::move(data);
    peer->send(f);
  }
  // Sends a request, lets the engine answer, and gives the result; records go to `records`.
  int64_t request(uint32_t message, uint64_t w = 0, int64_t l = 0, std::vector<uint8_t> data = {}) {
    send(message, w, l, std::move(data));
    debugger_poll(0);
    return collect();
  }
  int64_t collect() {
    debug_frame f;
    int64_t result = INT64_MIN;
    while (peer->receive(f, 0) == 1) {
      if (f.message == DEBUG_FRAME_RESULT) result = f.lparam;
      else records.push_back(f);
    }
    return result;
  }
  // Runs the main thread; at every stop the next action answers (no action left: continue).
  void run(std::vector<uint32_t> actions, const std::function<void()>& body = {}) {
    size_t next = 0;
    platform.on_pump = [this, actions, next]() mutable {
      collect();
      if (records.empty() || records.back().message != DEBUG_FRAME_RECORD || records.back().wparam != DBG_RECORD_STOP)
        return;
      const auto& d = records.back().data;
      int32_t line;
      std::memcpy(&line, d.data() + 68, 4);
      stops.push_back({reinterpret_cast<const char*>(d.data()), line});
      records.back().wparam = 99;  // seen
      send(next < actions.size() ? actions[next++] : DBG_CONTINUE);
    };
    if (body) body();
    else turn();
    platform.on_pump = nullptr;
  }
  std::vector<int32_t> stop_lines() const {
    std::vector<int32_t> lines;
    for (const auto& s : stops) lines.push_back(s.line);
    return lines;
  }

  std::unique_ptr<debug_channel> engine, peer;
  std::vector<debug_frame> records;
  std::vector<stop_at> stops;
};

// main: 1, call f at 2, 6; f: 3, call g at 4, 5; g: 7.
const char* nested = R"(
.entry
    line 1
    line 2
    call.drop f 0
    line 6
    ret
.func f
    line 3
    line 4
    call.drop g 0
    line 5
    ret
.func g
    line 7
    ret
)";

TEST_F(debugger_link, HandshakeAnnouncesClearsAndStopsAtTheFirstLine) {
  attach();
  collect();
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].message, DBG_HELLO);
  EXPECT_EQ(records[1].message, DBG_READY);
  EXPECT_NE(debugger_window(), nullptr);
  enter(nested, 8);
  run({});
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].line, 1);
  EXPECT_EQ(stops[0].object, object_current() ? std::string(object_current()->name) : stops[0].object);
}

TEST_F(debugger_link, StopNoticeAndCellRecordsKeepTheirLayout) {
  attach();
  script_object* o = load(".entry\n    line 3\n    ret\n", 4);
  object_entry_set(o->name);
  value_cell* v = var_table_append(&var_global);
  v->hash = 0x11223344, v->type = TYPE_INT, v->scope = 2, v->i = -5;
  run({});
  // The stop notice: 72 bytes, the name NUL-terminated in the first 64, the line at 68.
  ASSERT_EQ(records.size(), 3u);
  std::vector<uint8_t> notice(72, 0);
  std::memcpy(notice.data(), o->name, strlen(o->name));
  notice[68] = 3;
  EXPECT_EQ(records[2].data, notice);
  records.clear();
  EXPECT_EQ(request(DBG_VAR_CELL, 0x11223344), 0);
  ASSERT_EQ(records.size(), 1u);
  const uint8_t cell[16] = {0x44, 0x33, 0x22, 0x11, 0, 0, 2, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_EQ(records[0].wparam, DBG_RECORD_CELL);
  EXPECT_EQ(records[0].data, std::vector<uint8_t>(cell, cell + 16));
  EXPECT_EQ(request(DBG_VAR_CELL, 0x55), -1);
  EXPECT_EQ(request(DBG_VAR_VALUE, 0x11223344), -5);
  EXPECT_EQ(request(DBG_VAR_VALUE, 0x55), 0);
}

TEST_F(debugger_link, SixtyFourBreakpointsFitAndTheNextIsRefusedWithABox) {
  attach();
  for (int i = 0; i < DEBUGGER_BREAKPOINT_MAX; i++) ASSERT_EQ(request(DBG_BREAK_ADD, 7, i), 0) << i;
  EXPECT_EQ(request(DBG_BREAK_ADD, 7, 0), 1);  // present: no box
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(request(DBG_BREAK_ADD, 7, 64), 1);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "BreakPointが多すぎます。");
  EXPECT_EQ(request(DBG_BREAK_REMOVE, 7, 10), 0);
  EXPECT_EQ(request(DBG_BREAK_REMOVE, 7, 10), 1);
  EXPECT_EQ(request(DBG_BREAK_ADD, 7, 64), 0);  // the freed place takes it
}

TEST_F(debugger_link, StepsFollowTheDepthOfTheStoppedFrame) {
  struct row {
    const char* name;
    std::vector<uint32_t> actions;
    std::vector<int32_t> lines;
  };
  const row rows[] = {
      {"step", {DBG_STEP, DBG_STEP, DBG_STEP}, {1, 2, 3, 4}},
      {"over from depth 0", {DBG_STEP_OVER, DBG_STEP_OVER, DBG_STEP_OVER}, {1, 2, 6}},
      {"into from depth 0", {DBG_STEP, DBG_STEP_INTO, DBG_STEP_INTO}, {1, 2, 3, 7}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    attach();
    enter(nested, 8);
    run(r.actions);
    EXPECT_EQ(stop_lines(), r.lines);
    relink();
    thread_reset(vm_thread);
  }
}

TEST_F(debugger_link, StepOverInsideACallStopsAtItsOwnDepthOrShallower) {
  attach();
  script_object* o = load(nested, 8);
  object_entry_set(o->name);
  request(DBG_BREAK_ADD, o->name_hash, 4);
  run({DBG_CONTINUE, DBG_STEP_OVER, DBG_STEP_OVER});  // first line, then 4 at depth 1
  EXPECT_EQ(stop_lines(), (std::vector<int32_t>{1, 4, 5, 6}));
}

TEST_F(debugger_link, ABreakpointInAnotherThreadStopsWhileStepsWaitForTheirOwn) {
  attach();
  script_object* o = load(nested, 8);
  vm_frame->code = object_function(o, crc32_string("f"));
  request(DBG_BREAK_ADD, o->name_hash, 7);
  script_thread* main = vm_thread;
  script_thread* other = thread_create(5);
  other->frames[0].code = object_function(o, crc32_string("g"));
  run({DBG_STEP_OVER, DBG_CONTINUE}, [&] {
    debugger_line_hook(1);  // the first line stops; the step over now belongs to thread 0
    thread_switch(other);
    debugger_line_hook(9);  // another thread's line: only breakpoints stop here
    debugger_line_hook(7);
    thread_switch(main);
  });
  EXPECT_EQ(stop_lines(), (std::vector<int32_t>{1, 7}));
}

TEST_F(debugger_link, HostileRequestsAnswerErrorsAndNeverTouchMemory) {
  attach();
  enter(".entry\n    push.i 4\n    push.s \"ab\"\n    line 1\n    ret\n", 2);
  std::vector<int64_t> results;
  platform.on_pump = [&, asked = false]() mutable {
    if (asked) return send(DBG_CONTINUE);
    asked = true;
    collect();
    records.clear();
    struct {
      uint32_t message;
      uint64_t arg;
    } const hostile[] = {{DBG_STRING_TEXT, 0}, {DBG_STRING_TEXT, 999}, {DBG_STRING_TEXT, 0x7fff0000},
                         {DBG_LOCAL_CELL, uint64_t(-1)}, {DBG_LOCAL_CELL, 2}, {DBG_LOCAL_CELL, 1u << 31}};
    for (const auto& h : hostile) results.push_back(request(h.message, h.arg));
    results.push_back(request(DBG_STOP_NEXT, 0, 0, {1, 2, 3}));  // a request with data
    results.push_back(request(DEBUG_FRAME_RECORD, 0, 0, std::vector<uint8_t>(100)));
    // The window's own messages and numbers beside the range: their lparam is no pointer of ours.
    for (uint32_t m : {uint32_t(WM_WINDOWPOSCHANGING), uint32_t(WM_CLOSE), DBG_FIRST - 1, DBG_LAST + 1})
      results.push_back(request(m, 0, 0x10));
    EXPECT_EQ(records.size(), 12u);
    for (const auto& r : records) {
      EXPECT_EQ(r.wparam, DBG_RECORD_ERROR);
      EXPECT_EQ(r.data.size(), DBG_ERROR_SIZE);
    }
    records.clear();
    // The locals in range: slot 1 is the string; its handle reads the text back.
    EXPECT_EQ(request(DBG_LOCAL_VALUE, 0), 4);
    EXPECT_EQ(request(DBG_LOCAL_VALUE, 9), 0);
    int64_t handle = request(DBG_LOCAL_VALUE, 1);
    request(DBG_STRING_TEXT, uint64_t(handle));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].data, (std::vector<uint8_t>{'a', 'b', 0}));
  };
  request(DBG_STOP_NEXT);
  turn();
  platform.on_pump = nullptr;
  for (int64_t r : results) EXPECT_EQ(r, -1);
}

TEST_F(debugger_link, AClosedChannelLetsTheStoppedEngineRunOn) {
  attach();
  enter(".entry\n    line 1\n    push.i 3\n    set.i.pop @after\n    line 2\n    ret\n", 3);
  platform.on_pump = [this] { peer->close(); };
  turn();
  EXPECT_EQ(debugger_window(), nullptr);
  EXPECT_EQ(int_of("@after"), 3);
}

TEST(debug_frames, DecodeTakesWholeFramesAndRefusesOversizedOnes) {
  debug_frame f;
  f.message = 0xA00E, f.wparam = 0x1122334455667788u, f.lparam = -2, f.data = {9, 8};
  std::vector<uint8_t> bytes = debug_frame_encode(f);
  ASSERT_EQ(bytes.size(), DEBUG_FRAME_HEADER + 2);
  const uint8_t head[8] = {0x0E, 0xA0, 0, 0, 2, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes.data(), head, 8), 0);
  debug_frame out;
  size_t used = 0;
  for (size_t cut = 0; cut < bytes.size(); cut++)
    EXPECT_EQ(debug_frame_decode(bytes.data(), cut, out, used), DEBUG_DECODE_MORE) << cut;
  ASSERT_EQ(debug_frame_decode(bytes.data(), bytes.size(), out, used), DEBUG_DECODE_FRAME);
  EXPECT_EQ(used, bytes.size());
  EXPECT_EQ(out.wparam, f.wparam);
  EXPECT_EQ(out.lparam, -2);
  EXPECT_EQ(out.data, f.data);
  bytes[7] = 0x10;  // a length past the limit: refused before anything arrives
  EXPECT_EQ(debug_frame_decode(bytes.data(), DEBUG_FRAME_HEADER, out, used), DEBUG_DECODE_BAD);
}

// A debugger that went away leaves its socket: only that is taken over; a plain file or a socket
// someone listens on stays, and the new socket is the user's alone.
TEST(debug_socket, ListeningReplacesOnlyAStaleSocketAndKeepsTheNewOnePrivate) {
  temp_dir dir;
  std::string stale = dir.at("stale.sock"), live = dir.at("live.sock");
  dir.write("plain", "kept");
  close(debug_socket_listen(stale.c_str()));  // left behind
  int listening = debug_socket_listen(live.c_str());
  for (const auto& [path, error] : {std::pair{dir.at("plain"), EEXIST}, {live, EADDRINUSE}}) {
    EXPECT_EQ(debug_socket_listen(path.c_str()), -1) << path;
    EXPECT_EQ(errno, error) << path;
  }
  int taken = debug_socket_listen(stale.c_str());
  struct stat st {};
  EXPECT_TRUE(taken >= 0 && lstat(stale.c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  close(taken), close(listening);
}

}  // namespace
