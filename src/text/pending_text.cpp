#include "text/pending_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/cp932.h"

namespace {

uint64_t visits = 0;

// Past this much shown text before the front, appending moves the rest down first.
constexpr size_t COMPACT_AT = size_t{1} << 16;

// Dead runs this long keep their length in their first and last four bytes.
constexpr size_t TAGGED_RUN = 8;

struct pattern {
  const char* chars;  // one or two double-byte characters
  bool cut_first, cut_second;
};
// By pending_text::kind.
const pattern PATTERNS[] = {
    {"「", false, false}, {"」", false, false}, {"「（", true, false}, {"「『", true, false},
    {"）」", false, true}, {"』」", false, true}, {"「「", true, true}, {"」」", true, true},
};

uint32_t load32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void store32(char* p, uint32_t v) { std::memcpy(p, &v, 4); }
void set_bit(std::vector<uint64_t>& bits, size_t i) { bits[i >> 6] |= uint64_t{1} << (i & 63); }

}  // namespace

uint64_t pending_text_visits() { return visits; }

void pending_text::clear() {
  bytes_.clear();
  starts_.clear();
  dead_.clear();
  front_ = dead_ahead_ = last_ = bars_ = 0;
  finders_ = {};
  voice_start = voice_end = NONE;
  joined_.clear();
}

void pending_text::append(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  if (front_ >= COMPACT_AT && 2 * front_ >= bytes_.size()) compact();
  size_t old = bytes_.size();
  bytes_.append(text);
  starts_.resize(bytes_.size() / 64 + 1);
  dead_.resize(bytes_.size() / 64 + 1);
  // A lead byte that ended the text pairs with the first byte appended, as it would in one string;
  // the searches that stopped on it look again from the character before, which may now pair.
  const bool lone_lead = old > 0 && last_ == old - 1 && last_ >= front_ &&
                         cp932_is_lead(static_cast<unsigned char>(bytes_[last_]));
  size_t i = lone_lead ? last_ : old;
  if (lone_lead && !text.empty())
    if (size_t before = prev(i); before != NONE)
      for (finder& f : finders_)
        if (!f.found && f.at >= i) f.at = before;
  for (; i < bytes_.size(); i += char_len(i)) {
    set_bit(starts_, i);
    last_ = i;
    ++visits;
  }
}

size_t pending_text::char_len(size_t i) const {
  return cp932_is_lead(static_cast<unsigned char>(bytes_[i])) && i + 1 < bytes_.size() ? 2 : 1;
}

size_t pending_text::next(size_t i) const {
  ++visits;
  return skip(i + char_len(i));
}

// Dead bytes come in runs of whole double-byte characters. A run of 8 bytes or more keeps its
// length at both ends, so a walk crosses it in one step either way; a shorter one is read off the
// bits. Runs start at the front or past it (the front is never dead), and one at the front may
// touch dead bytes left behind it.
size_t pending_text::dead_end(size_t s) const {
  for (size_t n = 2; n < TAGGED_RUN; n += 2)
    if (s + n >= bytes_.size() || !dead(s + n)) return s + n;
  return s + load32(at(s));
}

size_t pending_text::dead_start(size_t e) const {
  for (size_t n = 2; n < TAGGED_RUN; n += 2)
    if (e < front_ + n + 1 || !dead(e - n - 1)) return e - n;
  return e - load32(at(e - 4));
}

// The live character before a position, or NONE at the front.
size_t pending_text::prev(size_t i) const {
  if (i <= front_) return NONE;
  size_t q = dead(i - 1) ? dead_start(i) : i;
  if (q <= front_) return NONE;
  return starts(q - 1) ? q - 1 : q - 2;
}

// The n-th live byte before a position, or NONE when fewer lie after the front.
size_t pending_text::live_byte_before(size_t i, size_t n) const {
  for (; n > 0; --n) {
    if (i > front_ && dead(i - 1)) i = dead_start(i);
    if (i <= front_) return NONE;
    --i;
  }
  return i;
}

bool pending_text::matches(kind k, size_t i) const {
  const char* p = PATTERNS[k].chars;
  if (char_len(i) != 2 || std::memcmp(at(i), p, 2) != 0) return false;
  if (p[2] == '\0') return true;
  size_t j = skip(i + 2);
  return j < bytes_.size() && char_len(j) == 2 && std::memcmp(at(j), p + 2, 2) == 0;
}

std::string pending_text::text(size_t from, size_t to) const {
  std::string out;
  for (size_t i = skip(from); i < to;) {
    size_t j = i;
    while (j < to && !dead(j)) ++j;
    out.append(at(i), j - i);
    visits += j - i;
    i = skip(j);
  }
  return out;
}

std::string_view pending_text::rest() {
  if (dead_ahead_ == 0) return std::string_view(at(front_), bytes_.size() - front_);
  joined_ = text(front_, bytes_.size());
  return joined_;
}

void pending_text::bars_to_blanks() {
  for (; bars_ < bytes_.size(); ++bars_, ++visits)
    if (bytes_[bars_] == '|' && starts(bars_)) bytes_[bars_] = ' ';
}

size_t pending_text::find(kind k) {
  finder& f = finders_[k];
  if (f.found) return f.at;
  size_t i = f.at;
  while (i < bytes_.size()) {
    if (matches(k, i)) {
      f.at = i;
      f.found = true;
      return i;
    }
    size_t n = next(i);
    if (n >= bytes_.size()) break;  // the last character may yet pair with text appended
    i = n;
  }
  f.at = i;
  return NONE;
}

void pending_text::kill(size_t c) {
  set_bit(dead_, c);
  set_bit(dead_, c + 1);
  size_t s = c > front_ && dead(c - 1) ? dead_start(c) : c;
  size_t e = c + 2 < bytes_.size() && dead(c + 2) ? dead_end(c + 2) : c + 2;
  if (e - s >= TAGGED_RUN) {
    store32(&bytes_[s], static_cast<uint32_t>(e - s));
    store32(&bytes_[e - 4], static_cast<uint32_t>(e - s));
  }
}

size_t pending_text::take(kind k) {
  const pattern& p = PATTERNS[k];
  size_t c1 = find(k);
  if (c1 == NONE || !(p.cut_first || p.cut_second)) return NONE;
  size_t cut[2], n = 0;
  if (p.cut_first) cut[n++] = c1;
  if (p.cut_second) cut[n++] = skip(c1 + 2);
  const size_t first = cut[0], bytes = 2 * n, left = prev(first);

  // A voice mark on a byte taken out moves as its offset did when the bytes were cut: from the
  // first byte to what follows, from a later one back before the cut by the bytes after it.
  bool follows[2] = {false, false};
  size_t* marks[2] = {&voice_start, &voice_end};
  for (int m = 0; m < 2; m++)
    for (size_t c = 0; c < n; c++)
      if (*marks[m] != NONE && *marks[m] >= cut[c] && *marks[m] < cut[c] + 2) {
        size_t index = 2 * c + (*marks[m] - cut[c]);
        if (index == 0)
          follows[m] = true;
        else
          *marks[m] = live_byte_before(first, bytes - index);
        break;
      }
  const size_t right = skip(cut[n - 1] + 2);  // before the cut joins the run there
  for (size_t c = 0; c < n; c++) kill(cut[c]);
  dead_ahead_ += bytes;
  for (int m = 0; m < 2; m++)
    if (follows[m]) *marks[m] = right;

  // The searches: one that stood on a taken character goes on after it, and the characters that
  // now meet may form a marker before where any search stands.
  for (int j = 0; j < KINDS; j++) {
    finder& f = finders_[j];
    if (f.at < bytes_.size() && dead(f.at)) {
      // Past the last character a search stays on it, which may pair with text appended.
      f.at = right == bytes_.size() && left != NONE ? left : right;
      f.found = false;
    }
    if (left != NONE && left < f.at) {
      if (matches(static_cast<kind>(j), left)) f.at = left, f.found = true;
    } else if (f.at == left && f.found) {
      f.found = matches(static_cast<kind>(j), left);
    }
  }
  if (first == front_) move_front(right, false);
  return right;
}

void pending_text::move_front(size_t to, bool lose_marks) {
  for (size_t* m : {&voice_start, &voice_end})
    if (*m != NONE && *m < to) *m = *m == front_ || !lose_marks ? to : NONE;
  for (size_t i = front_; i < to;) {  // the dead bytes passed, a word at a time
    size_t bit = i & 63, span = std::min<size_t>(64 - bit, to - i);
    uint64_t word = dead_[i >> 6] >> bit;
    if (span < 64) word &= (uint64_t{1} << span) - 1;
    dead_ahead_ -= static_cast<size_t>(std::popcount(word));
    i += span;
  }
  front_ = to;
  for (finder& f : finders_)
    if (f.at < to) f.at = to, f.found = false;
}

void pending_text::compact() {
  const size_t cut = front_ & ~size_t{63};
  if (cut == 0) return;
  bytes_.erase(0, cut);
  starts_.erase(starts_.begin(), starts_.begin() + static_cast<long>(cut / 64));
  dead_.erase(dead_.begin(), dead_.begin() + static_cast<long>(cut / 64));
  front_ -= cut;
  bars_ -= cut;
  last_ = last_ >= cut ? last_ - cut : 0;
  for (finder& f : finders_) f.at -= cut;
  for (size_t* m : {&voice_start, &voice_end})
    if (*m != NONE) *m -= cut;
}
