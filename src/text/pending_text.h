// The typewriter's pending text: what the text instruction appended and no line has shown yet.
//
// The typewriter eats it a line at a time from the front and takes bracket markers out of it
// anywhere, one of each kind a line, in texts of up to 64 MiB; each step must cost what it
// touches, never the whole text, or a long page stalls the window thread for minutes. So the
// bytes stay where they were appended: the front is an offset, a taken marker leaves dead bytes
// that every walk steps over, and each search resumes where it stopped. Readers see the text as
// if the front and the taken markers had been cut out of it; positions are offsets into the bytes
// (beyond the front, never on a dead byte), and end() stands after the last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class pending_text {
 public:
  static constexpr size_t NONE = std::string::npos;

  // What can be searched for: 「 and 」 alone, then the bracket markers in the order the
  // typewriter takes them ("「（", "「『", "）」", "』」", "「「", "」」").
  enum kind { OPEN, CLOSE, OPEN_PAREN, OPEN_HOOK, PAREN_CLOSE, HOOK_CLOSE, OPEN_OPEN, CLOSE_CLOSE, KINDS };

  // Where a voice-start and a voice-end marker were taken out (NONE when none). They move as the
  // text does: the old offsets into the cut text, as the typewriter always kept them.
  size_t voice_start = NONE, voice_end = NONE;

  void clear();
  // Appends the text up to its first NUL.
  void append(std::string_view text);
  // Bytes still to show, and whether there are none.
  size_t size() const { return bytes_.size() - front_ - dead_ahead_; }
  bool empty() const { return front_ == bytes_.size(); }

  size_t front() const { return front_; }
  size_t end() const { return bytes_.size(); }
  // The character at a position: its bytes and length, and the position of the next one.
  const char* at(size_t i) const { return bytes_.data() + i; }
  size_t char_len(size_t i) const;
  size_t next(size_t i) const;
  // The position itself, or past the dead bytes that start there.
  size_t skip(size_t i) const { return i < bytes_.size() && dead(i) ? dead_end(i) : i; }
  // The text between two positions, and all of it (NUL-terminated; valid until the next change).
  std::string text(size_t from, size_t to) const;
  std::string_view rest();

  // Every "|" not inside a double-byte character becomes a blank (the appended part is new).
  void bars_to_blanks();
  // The first occurrence of the kind, or NONE.
  size_t find(kind k);
  // Takes the first marker of the kind out (its 「 or 」, or both for a doubled one); where it
  // stood (the next character), or NONE when there is none.
  size_t take(kind k);
  // Moves the front to a position: the voice marks before it go along to it (blanks dropped) or
  // are lost unless they stood at the front (a name cut off).
  void drop_front(size_t to) { move_front(to, false); }
  void cut_front(size_t to) { move_front(to, true); }

 private:
  struct finder {
    size_t at = 0;  // the occurrence when found, else where the search goes on
    bool found = false;
  };

  bool dead(size_t i) const { return dead_[i >> 6] >> (i & 63) & 1; }
  bool starts(size_t i) const { return starts_[i >> 6] >> (i & 63) & 1; }
  size_t dead_end(size_t s) const;
  size_t dead_start(size_t e) const;
  size_t prev(size_t i) const;
  size_t live_byte_before(size_t i, size_t n) const;
  bool matches(kind k, size_t i) const;
  void kill(size_t c);
  void move_front(size_t to, bool lose_marks);
  void compact();

  std::string bytes_;
  std::vector<uint64_t> starts_, dead_;  // a bit a byte: a character starts there; taken out
  size_t front_ = 0;
  size_t dead_ahead_ = 0;  // dead bytes past the front
  size_t last_ = 0;        // where the last character starts
  size_t bars_ = 0;        // bars are blanks before this
  std::array<finder, KINDS> finders_{};
  std::string joined_;     // rest() when dead bytes lie in it
};

// The characters and bytes that pending texts have walked so far (tests hold the typewriter's work
// to the length of its text).
uint64_t pending_text_visits();
