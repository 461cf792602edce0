// The message log: its bytes, the walks both ways, page counts, trim, and an untrusted saved log.
#include <random>
#include <string>
#include <vector>

#include "text/message_log.h"
#include "text_fixture.h"

namespace {

class message_log_test : public text_test {
 protected:
  void SetUp() override { text_test::SetUp(), message_log_reset(); }
  void TearDown() override { message_log_reset(), text_test::TearDown(); }
  // Appends the entries and returns where each one starts.
  static std::vector<int> log(std::vector<std::string> entries) {
    std::vector<int> at(entries.size());
    int p = MESSAGE_LOG_SIZE;
    for (size_t i = entries.size(); i-- > 0;) at[i] = p -= static_cast<int>(entries[i].size()) + 3;
    for (const std::string& e : entries) message_log_append(e.data(), static_cast<int>(e.size()));
    return at;
  }
  static std::string bytes(int n = MESSAGE_LOG_SIZE) {
    return std::string(reinterpret_cast<const char*>(message_log_bytes()) + MESSAGE_LOG_SIZE - n, n);
  }
};

TEST_F(message_log_test, EntriesEndTheLogWithTheirLengthAndPushOutTheOldest) {
  log({"abc", "\\w"});
  EXPECT_EQ(bytes(12), std::string("\0abc\0\6\0\\w\0\5\0", 12));
  backlog_suppress_push();
  log({"hidden"});
  backlog_suppress_pop();
  std::string big(MESSAGE_LOG_SIZE - 3, 'x');  // exactly fills the log: the older entries fall off
  log({"too long" + big, big});
  EXPECT_EQ(bytes(), big + std::string("\0\x40\x9c", 3));
}

TEST_F(message_log_test, WalksFindPageStartsByMode) {
  std::vector<int> at = log({"\\w", "one", "\\p", "\\n", "two"});
  int w = at[0], n = at[3], end = MESSAGE_LOG_SIZE;
  EXPECT_EQ(backlog_count(true), 2);
  EXPECT_EQ(backlog_count(false), 1);
  struct { int position; bool page; int prev, next; } rows[] = {
      {-1, true, n, -1}, {end, true, n, end}, {n, true, w, n},  {w, true, w, n},
      {-1, false, w, -1}, {n, false, w, n},   {at[4], true, w, at[4]},
  };
  for (auto r : rows) {
    EXPECT_EQ(backlog_prev_start(r.position, r.page), r.prev) << r.position << r.page;
    EXPECT_EQ(backlog_next_start(r.position, r.page), r.next) << r.position << r.page;
  }
  EXPECT_EQ((std::vector<int>{backlog_page_back(0), backlog_page_back(2), backlog_page_back(INT32_MAX)}),
            (std::vector<int>{n, w, w}));  // the last: at once, not after INT32_MAX steps
  EXPECT_EQ(call("backlog_count_pages", {}), 2);
  EXPECT_EQ(call("backlog_prev_window", {-1}), w);

  message_log_reset();
  at = log({"\\w", "a", "\\p", "\\n", "\\n", "\\f", "b"});
  EXPECT_EQ(backlog_next_start(at[0], true), at[4]);  // over the codes that follow, up to the text
  message_log_reset();
  EXPECT_EQ(backlog_count(true), 1);  // the empty log
}

TEST_F(message_log_test, TrimKeepsWhatPrecedesTheNextToLastWindowPageAndItsClear) {
  log({"\\w", "A", "\\w", "B", "\\w", "C"});
  backlog_trim();
  std::string trimmed = bytes();
  message_log_reset();
  log({"\\w", "A", "\\w"});
  EXPECT_EQ(trimmed, bytes());
  message_log_reset();
  log({"no clear"});
  backlog_trim();  // no window page: the log stays
  EXPECT_EQ(bytes(11), std::string("no clear\0\x0b\0", 11));
}

TEST_F(message_log_test, ALoadedLogWithBadLengthsStopsTheWalk) {
  for (std::string bad : {std::string("\\w\0\5\0\0\2\0", 8), std::string("\\w\0\5\0x\0\xff\xff", 9)}) {
    message_log_restore(bad.data(), bad.size());
    EXPECT_EQ(backlog_prev_start(-1, true), -1);
  }
  std::mt19937 random(17);
  std::string noise(MESSAGE_LOG_SIZE, 0);
  for (int round = 0; round < 20; ++round) {  // odd rounds: a real log with some bytes changed
    for (char& b : noise) b = static_cast<char>(random());
    if (round % 2) {
      for (int i = 0; i < 1200; ++i) log({"\\w", "\\p", "\\n", std::string(random() % 40, 'a')});
      std::string real = bytes();
      for (int i = 0; i < 200; ++i) real[random() % real.size()] = noise[i];
      noise = real;
    }
    message_log_restore(noise.data(), noise.size());
    backlog_count(round % 2);
    backlog_page_back(50);
    for (int p = -1; p < MESSAGE_LOG_SIZE; p += 97) backlog_next_start(p, backlog_prev_start(p, true) % 2);
    backlog_trim();
  }
}

}  // namespace
