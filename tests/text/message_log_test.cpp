// The message log: its bytes, the walks both ways, page counts, trim, and a log from a save file
// that cannot be trusted.
#include <random>
#include <string>
#include <vector>

#include "text/message_log.h"
#include "text_fixture.h"

namespace {

class message_log_test : public text_test {
 protected:
  void SetUp() override {
    text_test::SetUp();
    message_log_reset();
  }
  void TearDown() override {
    message_log_reset();
    text_test::TearDown();
  }
  // Appends the entries and returns where each one starts.
  static std::vector<int> log(std::initializer_list<std::string> entries) {
    for (const std::string& e : entries) message_log_append(e.data(), static_cast<int>(e.size()));
    std::vector<int> at;
    int p = MESSAGE_LOG_SIZE;
    for (auto it = std::rbegin(entries); it != std::rend(entries); ++it) at.insert(at.begin(), p -= it->size() + 3);
    return at;
  }
  static std::string tail(int n) {
    return std::string(reinterpret_cast<const char*>(message_log_bytes()) + MESSAGE_LOG_SIZE - n, n);
  }
};

TEST_F(message_log_test, EntriesEndTheLogWithTheirLengthAndPushOutTheOldest) {
  log({"abc", "\\w"});
  EXPECT_EQ(tail(11), std::string("abc\0\6\0\\w\0\5\0", 11));
  EXPECT_EQ(message_log_bytes()[MESSAGE_LOG_SIZE - 12], 0);

  backlog_suppress_push();
  log({"hidden"});
  backlog_suppress_pop();
  std::string big(MESSAGE_LOG_SIZE - 3, 'x');  // exactly fills the log: "abc" and "\w" fall off
  log({"too long" + big, big});
  EXPECT_EQ(tail(MESSAGE_LOG_SIZE), big + std::string("\0\x40\x9c", 3));
}

TEST_F(message_log_test, WalksFindPageStartsByMode) {
  std::vector<int> at = log({"\\w", "one", "\\p", "\\n", "two"});
  int w = at[0], n = at[3], end = MESSAGE_LOG_SIZE;
  EXPECT_EQ(backlog_count(true), 2);
  EXPECT_EQ(backlog_count(false), 1);
  struct { int position; bool page; int prev, next; } rows[] = {
      {-1, true, n, -1},  {end, true, n, end},  {n, true, w, n},  {w, true, w, n},
      {-1, false, w, -1}, {n, false, w, n},     {at[4], true, w, at[4]},
  };
  for (auto r : rows) {
    EXPECT_EQ(backlog_prev_start(r.position, r.page), r.prev) << r.position << r.page;
    EXPECT_EQ(backlog_next_start(r.position, r.page), r.next) << r.position << r.page;
  }
  EXPECT_EQ(backlog_page_back(0), n);
  EXPECT_EQ(backlog_page_back(2), w);
  EXPECT_EQ(backlog_page_start_at(end, true), -1);
  EXPECT_EQ(call("backlog_count_pages", {}), 2);
  EXPECT_EQ(call("backlog_prev_window", {-1}), w);

  message_log_reset();
  EXPECT_EQ(backlog_count(true), 1);  // the empty log
  EXPECT_EQ(backlog_prev_start(-1, true), -1);
}

TEST_F(message_log_test, NextSkipsCodesAfterAPageStartUpToTheText) {
  std::vector<int> at = log({"\\w", "a", "\\p", "\\n", "\\n", "\\f", "b"});
  EXPECT_EQ(backlog_next_start(at[0], true), at[4]);
  EXPECT_EQ(backlog_next_start(at[0], false), at[0]);  // no later window clear
}

TEST_F(message_log_test, TrimKeepsWhatPrecedesTheNextToLastWindowPageAndItsClear) {
  log({"\\w", "A", "\\w", "B", "\\w", "C"});
  backlog_trim();
  std::vector<unsigned char> trimmed(message_log_bytes(), message_log_bytes() + MESSAGE_LOG_SIZE);
  message_log_reset();
  log({"\\w", "A", "\\w"});
  EXPECT_EQ(trimmed, std::vector<unsigned char>(message_log_bytes(), message_log_bytes() + MESSAGE_LOG_SIZE));

  message_log_reset();
  log({"no window clear"});
  backlog_trim();  // no page to keep: the log stays
  EXPECT_EQ(tail(18), std::string("no window clear\0\x12\0", 18));
}

TEST_F(message_log_test, ALoadedLogWithBadLengthsStopsTheWalk) {
  // Lengths that are too small or reach past the front end the walk where they stand.
  for (std::string bad : {std::string("\\w\0\5\0" "\0\2\0", 8), std::string("\\w\0\5\0" "x\0\xff\xff", 9)}) {
    message_log_restore(bad.data(), bad.size());
    EXPECT_EQ(backlog_prev_start(-1, true), -1);
    EXPECT_EQ(backlog_count(false), 1);
  }
  std::mt19937 random(17);
  std::vector<unsigned char> noise(MESSAGE_LOG_SIZE);
  for (int round = 0; round < 20; ++round) {
    for (auto& b : noise) b = static_cast<unsigned char>(round % 2 ? random() % 8 + '\\' - 4 : random());
    message_log_restore(noise.data(), noise.size());
    backlog_count(true);
    backlog_count(false);
    backlog_page_back(50);
    for (int p = -1; p < MESSAGE_LOG_SIZE; p += 97) {
      backlog_prev_start(p, round % 2);
      backlog_next_start(p, round % 2);
    }
    backlog_trim();
  }
}

}  // namespace
