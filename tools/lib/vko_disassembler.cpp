#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "vko_assembler.h"
#include "vko_syntax.h"

namespace {

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
  char buffer[256];
  va_list args;
  va_start(args, f);
  vsnprintf(buffer, sizeof buffer, f, args);
  va_end(args);
  return buffer;
}

// A character that comes back as the same bytes from its UTF-8 form. Some CP932 codes share
// one character with another code (the NEC and IBM duplicates) and come back as the other.
bool round_trips(std::string_view bytes, std::string& utf8) {
  std::string back;
  return cp932_to_utf8(bytes, utf8) && !utf8.empty() && utf8_to_cp932(utf8, back) && back == bytes;
}

// Engine text as a quoted UTF-8 literal with escapes for what has no printable form.
std::string quote(const unsigned char* p, size_t n) {
  std::string out = "\"";
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    size_t len = cp932_is_lead(c) && i + 1 < n ? 2 : 1;
    std::string utf8;
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else if (c >= 0x80 && round_trips(std::string_view(reinterpret_cast<const char*>(p + i), len), utf8))
      out += utf8;
    else {
      for (size_t k = 0; k < len; ++k) out += format("\\x%02X", p[i + k]);
    }
    i += len;
  }
  return out + "\"";
}

// The event whose text this is, as push.event writes it.
const vko_event* event_of(std::string_view text) {
  static const std::map<std::string, const vko_event*, std::less<>> texts = [] {
    std::map<std::string, const vko_event*, std::less<>> m;
    for (const vko_event& e : vko_events()) m.emplace(vko_event_text(e), &e);
    return m;
  }();
  auto it = texts.find(text);
  return it == texts.end() ? nullptr : it->second;
}

uint16_t rd16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t rd32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::string label_name(uint32_t at) { return format("L_%04X", at); }

struct decoded {
  size_t length = 0;  // 0: not decodable, emit raw
  std::string text;
  std::vector<uint32_t> targets;
};

std::string var_text(int scope, uint32_t hash, uint16_t hint, bool* ok) {
  static const char SIGIL[] = "#@%";
  if (scope == SCOPE_LOCAL) {
    if (hash != 0) *ok = false;
    return format("_%d", static_cast<int16_t>(hint));
  }
  if (scope > SCOPE_LOCAL) {
    *ok = false;
    return "";
  }
  std::string s = format("%c[0x%08X]", SIGIL[scope], hash);
  if (hint) s += format(" hint=%u", hint);
  return s;
}

decoded decode(const uint8_t* code, size_t size, size_t pos) {
  decoded d;
  size_t left = size - pos;
  if (left < 2) return d;
  uint16_t opcode = rd16(code + pos);
  const uint8_t* p = code + pos + 2;
  left -= 2;
  const vko_mnemonic* m = vko_mnemonic_by_opcode(opcode);
  if (opcode == OP_LOAD || opcode == OP_LOAD_ELEMENT) {
    if (left < VAR_OPERAND_SIZE) return d;
    m = vko_mnemonic_by_opcode(opcode, access_type_of(rd16(p)));
  }
  if (!m) return d;
  auto offset_target = [&](const uint8_t* operand, int64_t* target) {
    auto distance = static_cast<int32_t>(rd32(operand));
    *target = static_cast<int64_t>(operand + 4 - code) + distance;
    return *target >= 0 && *target <= static_cast<int64_t>(size);
  };
  std::string s = m->name;
  size_t n = 0;  // operand bytes
  bool ok = true;
  switch (m->operands) {
    case vko_operands::none:
      break;
    case vko_operands::i32:
      if (left < 4) return d;
      s += format(" %d", static_cast<int32_t>(rd32(p)));
      n = 4;
      break;
    case vko_operands::f32: {
      if (left < 4) return d;
      uint32_t bits = rd32(p);
      float f;
      memcpy(&f, &bits, 4);
      std::string text = format("%.9g", static_cast<double>(f));
      float back = strtof(text.c_str(), nullptr);
      uint32_t back_bits;
      memcpy(&back_bits, &back, 4);
      s += std::isfinite(f) && back_bits == bits ? " " + text : format(" bits:0x%08X", bits);
      n = 4;
      break;
    }
    case vko_operands::text: {
      if (left < 2) return d;
      int16_t count = static_cast<int16_t>(rd16(p));
      if (count < 1 || static_cast<size_t>(count) > left - 2 || p[1 + count] != 0) return d;
      std::string_view text(reinterpret_cast<const char*>(p + 2), static_cast<size_t>(count - 1));
      const vko_event* event = opcode == OP_PUSH_STRING ? event_of(text) : nullptr;
      if (event) s = std::string("push.event ") + event->name;
      else s += " " + quote(p + 2, static_cast<size_t>(count - 1));
      n = 2 + static_cast<size_t>(count);
      break;
    }
    case vko_operands::load:
    case vko_operands::aload:
    case vko_operands::assign:
    case vko_operands::aassign: {
      if (left < VAR_OPERAND_SIZE) return d;
      uint16_t word = rd16(p);
      int scope = access_scope_of(word), indices = access_indices_of(word);
      bool element = m->operands == vko_operands::aload || m->operands == vko_operands::aassign;
      bool is_load = m->operands == vko_operands::load || m->operands == vko_operands::aload;
      s += " " + var_text(scope, rd32(p + 2), rd16(p + 6), &ok);
      if (element) s += format(" %d", indices < 1 ? 1 : indices);
      int mode = is_load ? access_mode_of(word) : 0, unary = is_load ? access_unary_of(word) : 0;
      static const char* const MODE[] = {"", " ++x", " --x", " x++", " x--"};
      static const char* const UNARY[] = {"", " neg", " not", " bnot"};
      uint16_t canonical = access_word(mode, unary, scope, m->type, element ? (indices < 1 ? 1 : indices) : 0);
      if (mode <= 4) s += MODE[mode];
      s += UNARY[unary];
      if (canonical != word || mode > 4) s += format(" word=0x%04X", word);
      n = VAR_OPERAND_SIZE;
      break;
    }
    case vko_operands::call: {
      if (left < 10) return d;
      s += format(" 0x%08X %d", rd32(p), static_cast<int16_t>(rd16(p + 8)));
      if (uint32_t cache = rd32(p + 4)) s += format(" cache=%u", cache);
      n = 10;
      break;
    }
    case vko_operands::builtin:
      if (left < 6) return d;
      if (const char* name = vko_builtin_name(rd32(p))) s += format(" %s %u", name, rd16(p + 4));
      else s += format(" 0x%08X %u", rd32(p), rd16(p + 4));
      n = 6;
      break;
    case vko_operands::types: {
      if (left < 2) return d;
      int16_t count = static_cast<int16_t>(rd16(p));
      if (count < 0 || static_cast<size_t>(count) > left - 2) return d;
      for (int i = 0; i < count; ++i) s += p[2 + i] < 6 ? std::string(" ") + VKO_TYPE_NAME[p[2 + i]] : format(" %u", p[2 + i]);
      n = 2 + static_cast<size_t>(count);
      break;
    }
    case vko_operands::offset: {
      int64_t target;
      if (left < 4 || !offset_target(p, &target)) return d;
      d.targets.push_back(static_cast<uint32_t>(target));
      s += " " + label_name(static_cast<uint32_t>(target));
      n = 4;
      break;
    }
    case vko_operands::line:
      if (left < 2) return d;
      s += format(" %d", static_cast<int16_t>(rd16(p)));
      n = 2;
      break;
    case vko_operands::table: {
      if (left < 2) return d;
      int16_t count = static_cast<int16_t>(rd16(p));
      if (count < 0 || static_cast<size_t>(count) * 4 > left - 2) return d;
      for (int i = 0; i < count; ++i) {
        int64_t target;
        if (!offset_target(p + 2 + 4 * i, &target)) return d;
        d.targets.push_back(static_cast<uint32_t>(target));
        s += " " + label_name(static_cast<uint32_t>(target));
      }
      n = 2 + 4 * static_cast<size_t>(count);
      break;
    }
  }
  if (!ok) return decoded{};
  d.length = 2 + n;
  d.text = s;
  return d;
}

}  // namespace

std::string vko_disassemble(std::string_view object) {
  object_image image;
  if (!object_parse(reinterpret_cast<const unsigned char*>(object.data()), object.size(), &image))
    return "; not a readable script object\n";
  const uint8_t* code = image.code;
  size_t size = image.code_size;

  std::multimap<uint32_t, uint32_t> functions;  // offset -> hash, file order kept per offset
  for (uint32_t i = 0; i < image.function_count; ++i) functions.emplace(image.functions[i].offset, image.functions[i].hash);
  std::set<uint32_t> anchors;
  for (auto& [offset, hash] : functions) anchors.insert(offset);
  if (image.entry_offset != OBJECT_NO_ENTRY) anchors.insert(image.entry_offset);

  // Jump targets become labels; an instruction that would straddle a label is written as bytes.
  std::set<uint32_t> targets;
  for (int pass = 0; pass < 8; ++pass) {
    std::set<uint32_t> found;
    for (size_t pos = 0; pos < size;) {
      decoded d = decode(code, size, pos);
      auto next = anchors.upper_bound(static_cast<uint32_t>(pos));
      for (uint32_t t : d.targets) found.insert(t);
      if (d.length == 0 || (next != anchors.end() && *next < pos + d.length)) {
        size_t stop = next != anchors.end() ? *next : size;
        pos = d.length == 0 ? pos + (size - pos >= 2 && stop - pos >= 2 ? 2 : 1) : stop;
      } else {
        pos += d.length;
      }
    }
    size_t before = anchors.size();
    for (uint32_t t : found) anchors.insert(t);
    targets.insert(found.begin(), found.end());
    if (anchors.size() == before) break;
  }

  std::string out = format("; %u functions, %zu bytes of code\n", image.function_count, size);
  out += format(".lines %u\n", image.line_count);
  auto mark = [&](uint32_t at) {
    auto range = functions.equal_range(at);
    for (auto it = range.first; it != range.second; ++it) out += format("\n.func 0x%08X\n", it->second);
    if (at == image.entry_offset) out += ".entry\n";
    if (targets.count(at)) out += label_name(at) + ":\n";
  };
  for (size_t pos = 0; pos < size;) {
    mark(static_cast<uint32_t>(pos));
    decoded d = decode(code, size, pos);
    auto next = anchors.upper_bound(static_cast<uint32_t>(pos));
    size_t stop = next != anchors.end() ? *next : size;
    if (d.length != 0 && pos + d.length <= stop) {
      out += "    " + d.text + "\n";
      pos += d.length;
    } else if (stop - pos >= 2) {
      out += format("    .word 0x%04X\n", rd16(code + pos));
      pos += 2;
    } else {
      out += format("    .byte 0x%02X\n", code[pos]);
      pos += 1;
    }
  }
  mark(static_cast<uint32_t>(size));
  if (image.entry_offset != OBJECT_NO_ENTRY && image.entry_offset > size) out += "; entry lies outside the code\n";
  object_image_free(&image);
  return out;
}
