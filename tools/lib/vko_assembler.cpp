#include "vko_assembler.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include "base/cp932.h"
#include "base/hash.h"
#include "vko_syntax.h"

// ---------------------------------------------------------------------------------------------
// Variables

// A decimal or hexadecimal integer; one too large for 64 bits reads as the largest of its sign, so
// that range checks name it out of range.
static bool parse_int(std::string_view text, int64_t* out) {
  std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = strtoll(s.c_str(), &end, 0);
  if (*end || end == s.c_str() || (errno && errno != ERANGE)) return false;
  *out = v;
  return true;
}

bool vko_var_parse(std::string_view text, vko_var* out) {
  if (text.size() < 2) return false;
  *out = vko_var{};
  char sigil = text[0];
  std::string_view rest = text.substr(1);
  if (sigil == '_') {
    int64_t slot;
    out->scope = SCOPE_LOCAL;
    if (rest[0] == 'p' && parse_int(rest.substr(1), &slot) && slot >= 1 && slot <= 32766)
      out->slot = static_cast<int16_t>(-1 - slot);
    else if (parse_int(rest, &slot) && slot >= -32768 && slot <= 32767)
      out->slot = static_cast<int16_t>(slot);
    else
      return false;
    return true;
  }
  if (sigil == '#')
    out->scope = SCOPE_ETERNAL;
  else if (sigil == '@')
    out->scope = SCOPE_GLOBAL;
  else if (sigil == '%')
    out->scope = SCOPE_THREAD;
  else
    return false;
  if (rest.front() == '[' && rest.back() == ']') {
    int64_t hash;
    if (!parse_int(rest.substr(1, rest.size() - 2), &hash) || hash < 0 || hash > 0xFFFFFFFFll) return false;
    out->hash = static_cast<uint32_t>(hash);
    return true;
  }
  // Variables without a group belong to "@GLOBAL"; the name hash covers sigil, name and group.
  std::string name(text);
  if (rest.find('@') == std::string_view::npos) name += "@GLOBAL";
  out->hash = crc32_string(name.c_str());
  return true;
}

vko_var vko_variable(std::string_view text) {
  vko_var v;
  if (!vko_var_parse(text, &v)) throw std::invalid_argument("bad variable: " + std::string(text));
  return v;
}

vko_var vko_local(int slot) {
  vko_var v;
  v.scope = SCOPE_LOCAL;
  v.slot = static_cast<int16_t>(slot);
  return v;
}

vko_var vko_param(int k) { return vko_local(-1 - k); }

// ---------------------------------------------------------------------------------------------
// Builder

void vko_builder::function(std::string_view name) { function_hash(crc32_bytes(name.data(), name.size())); }
void vko_builder::function_hash(uint32_t hash) { functions_.push_back({hash, position()}); }
void vko_builder::entry() { entry_ = position(); }

vko_label vko_builder::label() {
  labels_.push_back(-1);
  return vko_label{static_cast<int>(labels_.size() - 1)};
}

void vko_builder::bind(vko_label l) {
  if (l.id < 0 || static_cast<size_t>(l.id) >= labels_.size()) throw std::logic_error("unknown label");
  if (labels_[l.id] >= 0) throw std::logic_error("label bound twice");
  labels_[l.id] = position();
}

void vko_builder::u8(uint8_t v) { code_.push_back(static_cast<char>(v)); }
void vko_builder::u16(uint16_t v) {
  u8(static_cast<uint8_t>(v));
  u8(static_cast<uint8_t>(v >> 8));
}
void vko_builder::u32(uint32_t v) {
  u16(static_cast<uint16_t>(v));
  u16(static_cast<uint16_t>(v >> 16));
}

void vko_builder::offset_to(vko_label l) {
  if (l.id < 0 || static_cast<size_t>(l.id) >= labels_.size()) throw std::logic_error("unknown label");
  fixups_.push_back({code_.size(), l.id});
  u32(0);
}

void vko_builder::var_operand(uint16_t access, const vko_var& v) {
  u16(access);
  u32(v.hash);
  i16(v.slot);
}

void vko_builder::push_int(int32_t v) {
  op(OP_PUSH_INT);
  i32(v);
}

void vko_builder::push_float(float v) {
  uint32_t bits;
  memcpy(&bits, &v, 4);
  op(OP_PUSH_FLOAT);
  u32(bits);
}

void vko_builder::counted_bytes(uint16_t opcode, std::string_view data) {
  if (data.size() + 1 > 32767) throw std::length_error("text longer than 32766 bytes");
  op(opcode);
  i16(static_cast<int16_t>(data.size() + 1));
  bytes(data);
  u8(0);
}

void vko_builder::push_string(std::string_view text) { counted_bytes(OP_PUSH_STRING, text); }
void vko_builder::msg_text(std::string_view text) { counted_bytes(OP_MSG_TEXT, text); }
void vko_builder::msg_code(std::string_view templ) { counted_bytes(OP_MSG_CODE, templ); }

void vko_builder::load(int type, const vko_var& v, int mode, int unary) {
  op(OP_LOAD);
  var_operand(access_word(mode, unary, v.scope, type, 0), v);
}

void vko_builder::load_element(int element_type, const vko_var& v, int indices, int mode, int unary) {
  op(OP_LOAD_ELEMENT);
  var_operand(access_word(mode, unary, v.scope, element_type, indices), v);
}

void vko_builder::assign(int row, int type, const vko_var& v, bool popped) {
  op(static_cast<uint16_t>(OP_ASSIGN + 8 * row + type + (popped ? OP_POPPED : 0)));
  var_operand(access_word(0, 0, v.scope, type, 0), v);
}

void vko_builder::assign_element(int row, int element_type, const vko_var& v, int indices, bool popped) {
  op(static_cast<uint16_t>(OP_ASSIGN_ELEMENT + 8 * row + element_type + (popped ? OP_POPPED : 0)));
  var_operand(access_word(0, 0, v.scope, element_type, indices), v);
}

void vko_builder::call(std::string_view name, int argc, bool drop) {
  call_hash(crc32_bytes(name.data(), name.size()), argc, drop);
}

void vko_builder::call_hash(uint32_t hash, int argc, bool drop, uint32_t cache) {
  op(drop ? OP_CALL_DROP : OP_CALL);
  u32(hash);
  u32(cache);
  i16(static_cast<int16_t>(argc));
}

void vko_builder::builtin(uint32_t hash, int argc, bool drop) {
  op(drop ? OP_BUILTIN_DROP : OP_BUILTIN);
  u32(hash);
  u16(static_cast<uint16_t>(argc));
}

void vko_builder::locals(const std::vector<int>& types) {
  op(OP_LOCALS);
  i16(static_cast<int16_t>(types.size()));
  for (int t : types) u8(static_cast<uint8_t>(t));
}

void vko_builder::params(const std::vector<int>& types) {
  op(OP_PARAMS);
  i16(static_cast<int16_t>(types.size()));
  for (int t : types) u8(static_cast<uint8_t>(t));
}

void vko_builder::jump_op(uint16_t opcode, vko_label l) {
  op(opcode);
  offset_to(l);
}

void vko_builder::jump_table(const std::vector<vko_label>& targets) {
  op(OP_JUMP_TABLE);
  i16(static_cast<int16_t>(targets.size()));
  for (vko_label l : targets) offset_to(l);
}

void vko_builder::line(int n) {
  op(OP_LINE);
  i16(static_cast<int16_t>(n));
}

std::string vko_builder::build(bool scrambled) const {
  std::string code = code_;
  for (const fixup& f : fixups_) {
    if (labels_[f.label] < 0) throw std::logic_error("label used but never bound");
    auto distance = static_cast<uint32_t>(labels_[f.label] - static_cast<int64_t>(f.at + 4));
    for (int i = 0; i < 4; ++i) code[f.at + i] = static_cast<char>(distance >> (8 * i));
  }
  if (scrambled) xor_crc_table(code.data(), code.size());
  std::string out(scrambled ? OBJECT_MAGIC_SCRAMBLED : OBJECT_MAGIC_PLAIN, OBJECT_MAGIC_SIZE);
  auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(entry_);
  put(lines_);
  put(static_cast<uint32_t>(functions_.size()));
  for (const function_entry& f : functions_) put(f.hash), put(f.offset);
  put(static_cast<uint32_t>(code.size()));
  return out + code;
}

bool vko_builder::write(const std::string& host_path, bool scrambled) const {
  std::string bytes = build(scrambled);
  std::ofstream out(host_path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// ---------------------------------------------------------------------------------------------
// Text

namespace {

struct token {
  std::string text;
  bool quoted = false;
};

// Splits a line into tokens; ";" starts a comment outside quotes. Quoted text keeps its escapes
// for decode_text.
bool tokenize(std::string_view line, std::vector<token>& out, std::string& error) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == ';') {
      break;
    } else if (c == '"') {
      token t{"", true};
      ++i;
      while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\' && i + 1 < line.size()) t.text.push_back(line[i++]);
        t.text.push_back(line[i++]);
      }
      if (i >= line.size()) {
        error = "unterminated string";
        return false;
      }
      ++i;
      out.push_back(std::move(t));
    } else {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != ';') ++i;
      out.push_back({std::string(line.substr(start, i - start)), false});
    }
  }
  return true;
}

// UTF-8 text with escapes into engine text.
bool decode_text(const std::string& text, std::string& out, std::string& error) {
  std::string pending;
  auto flush = [&]() {
    std::string converted;
    if (!utf8_to_cp932(pending, converted)) return false;
    out += converted;
    pending.clear();
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      pending.push_back(text[i]);
      continue;
    }
    char e = text[++i];
    if (e == 'n') pending.push_back('\n');
    else if (e == 't') pending.push_back('\t');
    else if (e == 'r') pending.push_back('\r');
    else if (e == '0') pending.push_back('\0');
    else if (e == '\\' || e == '"') pending.push_back(e);
    else if (e == 'x' && i + 2 < text.size() + 0 && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
             isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      if (!flush()) break;
      out.push_back(static_cast<char>(strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
      i += 2;
      continue;
    } else {
      error = std::string("unknown escape \\") + e;
      return false;
    }
  }
  if (!flush()) {
    error = "text is not valid UTF-8 or has no CP932 form";
    return false;
  }
  return true;
}

int type_by_name(std::string_view name) {
  for (int t = 0; t < 6; ++t)
    if (name == VKO_TYPE_NAME[t] || name == VKO_TYPE_SUFFIX[t]) return t;
  int64_t v;
  if (parse_int(name, &v) && v >= 0 && v <= 255) return static_cast<int>(v);
  return -1;
}

struct text_assembler {
  explicit text_assembler(vko_builder& builder) : b(builder) {}
  vko_builder& b;
  std::map<std::string, vko_label, std::less<>> labels;
  std::map<std::string, int, std::less<>> label_first_use;  // the line that first names a label
  std::map<std::string, uint32_t, std::less<>> builtins;
  std::map<uint32_t, std::pair<std::string, size_t>> functions;  // hash -> name and line
  std::vector<std::string> warnings;
  std::string error;
  size_t line_number = 0;

  vko_label label_named(std::string_view name) {
    auto it = labels.find(name);
    if (it != labels.end()) return it->second;
    vko_label l = b.label();
    labels.emplace(std::string(name), l);
    label_first_use.emplace(std::string(name), static_cast<int>(line_number));
    return l;
  }

  bool fail(std::string message) {
    error = std::move(message);
    return false;
  }

  bool number(const token& t, int64_t lo, int64_t hi, int64_t* out) {
    if (t.quoted || !parse_int(t.text, out)) return fail("bad number " + t.text);
    if (*out < lo || *out > hi)
      return fail(t.text + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return true;
  }

  bool hash_or_name(const token& t, bool builtin, uint32_t* out) {
    int64_t v;
    if (t.text.rfind("0x", 0) == 0 || t.text.rfind("0X", 0) == 0) {
      if (!number(t, 0, 0xFFFFFFFFll, &v)) return false;
      *out = static_cast<uint32_t>(v);
      return true;
    }
    if (builtin) {
      auto it = builtins.find(t.text);
      if (it != builtins.end()) *out = it->second;
      else if (!vko_builtin_hash(t.text, out)) return fail("unknown built-in " + t.text);
      return true;
    }
    *out = crc32_string(t.text.c_str());
    return true;
  }

  // A second function of one hash is never called: the first one is found.
  void function_defined(uint32_t hash, const std::string& name) {
    auto [it, added] = functions.try_emplace(hash, name, line_number);
    if (!added)
      warnings.push_back("line " + std::to_string(line_number) + ": warning: function " + name +
                         " is defined again (first at line " + std::to_string(it->second.second) +
                         ", which calls find)");
  }

  // Optional trailing words of loads: access mode, unary operator, word= and hint=.
  bool access_options(const std::vector<token>& t, size_t from, int* mode, int* unary, int64_t* word, int64_t* hint) {
    for (size_t i = from; i < t.size(); ++i) {
      const std::string& w = t[i].text;
      if (w == "++x") *mode = ACCESS_PRE_INC;
      else if (w == "--x") *mode = ACCESS_PRE_DEC;
      else if (w == "x++") *mode = ACCESS_POST_INC;
      else if (w == "x--") *mode = ACCESS_POST_DEC;
      else if (w == "neg") *unary = UNARY_NEG;
      else if (w == "not") *unary = UNARY_NOT;
      else if (w == "bnot") *unary = UNARY_BNOT;
      else if (w.rfind("word=", 0) == 0) {
        if (!number({w.substr(5)}, 0, 0xFFFF, word)) return false;
      } else if (w.rfind("hint=", 0) == 0) {
        if (!number({w.substr(5)}, 0, 0xFFFF, hint)) return false;
      } else
        return fail("unknown option " + w);
    }
    return true;
  }

  bool var_instruction(const vko_mnemonic& m, const std::vector<token>& t) {
    bool element = m.operands == vko_operands::aload || m.operands == vko_operands::aassign;
    size_t need = element ? 3 : 2;
    if (t.size() < need) return fail(m.name + " needs a variable" + (element ? " and an index count" : ""));
    vko_var v;
    if (t[1].quoted || !vko_var_parse(t[1].text, &v)) return fail("bad variable " + t[1].text);
    int64_t indices = 0;
    if (element && !number(t[2], 1, 31, &indices)) return false;
    int mode = ACCESS_READ, unary = UNARY_NONE;
    int64_t word = -1, hint = -1;
    if (!access_options(t, need, &mode, &unary, &word, &hint)) return false;
    bool is_load = m.operands == vko_operands::load || m.operands == vko_operands::aload;
    if (!is_load && (mode != ACCESS_READ || unary != UNARY_NONE)) return fail(m.name + " takes no access mode");
    if (hint >= 0) {
      if (v.scope == SCOPE_LOCAL) return fail("a local's slot is its hint");
      v.slot = static_cast<int16_t>(static_cast<uint16_t>(hint));
    }
    uint16_t access = word >= 0 ? static_cast<uint16_t>(word)
                                : access_word(mode, unary, v.scope, m.type, static_cast<int>(indices));
    b.op(m.opcode);
    b.var_operand(access, v);
    return true;
  }

  bool directive(const std::vector<token>& t) {
    const std::string& d = t[0].text;
    int64_t v;
    if (d == ".func") {
      if (t.size() != 2) return fail(".func needs a name or hash");
      uint32_t hash;
      if (!hash_or_name(t[1], false, &hash)) return false;
      function_defined(hash, t[1].text);
      b.function_hash(hash);
    } else if (d == ".entry") {
      if (t.size() != 1) return fail(".entry takes nothing");
      b.entry();
    } else if (d == ".lines") {
      if (t.size() != 2) return fail(".lines needs a count");
      if (!number(t[1], 0, 0xFFFFFFFFll, &v)) return false;
      b.lines(static_cast<uint32_t>(v));
    } else if (d == ".builtin") {
      if (t.size() != 3) return fail(".builtin needs a name and a hash");
      if (!number(t[2], 0, 0xFFFFFFFFll, &v)) return false;
      builtins[t[1].text] = static_cast<uint32_t>(v);
    } else if (d == ".byte" || d == ".word" || d == ".dword") {
      int64_t hi = d == ".byte" ? 0xFF : d == ".word" ? 0xFFFF : 0xFFFFFFFFll;
      for (size_t i = 1; i < t.size(); ++i) {
        if (!number(t[i], -hi / 2 - 1, hi, &v)) return false;
        if (d == ".byte") b.u8(static_cast<uint8_t>(v));
        else if (d == ".word") b.u16(static_cast<uint16_t>(v));
        else b.u32(static_cast<uint32_t>(v));
      }
    } else if (d == ".offset") {
      for (size_t i = 1; i < t.size(); ++i) b.offset_to(label_named(t[i].text));
    } else {
      return fail("unknown directive " + d);
    }
    return true;
  }

  bool instruction(const std::vector<token>& t) {
    if (t[0].text == "push.event") {
      if (t.size() != 2 || t[1].quoted) return fail("push.event needs an event name");
      const vko_event* e = vko_event_by_name(t[1].text);
      if (!e) return fail("unknown event " + t[1].text);
      b.push_string(vko_event_text(*e));
      return true;
    }
    const vko_mnemonic* m = vko_mnemonic_by_name(t[0].text);
    if (!m) return fail("unknown instruction " + t[0].text);
    int64_t v, argc;
    std::string text;
    switch (m->operands) {
      case vko_operands::none:
        if (t.size() != 1) return fail(m->name + " takes no operands");
        b.op(m->opcode);
        return true;
      case vko_operands::i32:
        if (t.size() != 2) return fail("push.i needs an integer");
        if (!number(t[1], INT32_MIN, 0xFFFFFFFFll, &v)) return false;
        b.op(m->opcode);
        b.u32(static_cast<uint32_t>(v));
        return true;
      case vko_operands::f32: {
        if (t.size() != 2) return fail("push.f needs a number");
        uint32_t bits;
        if (t[1].text.rfind("bits:", 0) == 0) {
          if (!number({t[1].text.substr(5)}, 0, 0xFFFFFFFFll, &v)) return false;
          bits = static_cast<uint32_t>(v);
        } else {
          char* end = nullptr;
          float f = strtof(t[1].text.c_str(), &end);
          if (*end || t[1].text.empty()) return fail("bad number " + t[1].text);
          memcpy(&bits, &f, 4);
        }
        b.op(m->opcode);
        b.u32(bits);
        return true;
      }
      case vko_operands::text:
        if (t.size() != 2 || !t[1].quoted) return fail(m->name + " needs a quoted text");
        if (!decode_text(t[1].text, text, error)) return false;
        if (text.size() + 1 > 32767) return fail("text longer than 32766 bytes");
        b.op(m->opcode);
        b.i16(static_cast<int16_t>(text.size() + 1));
        b.bytes(text);
        b.u8(0);
        return true;
      case vko_operands::load:
      case vko_operands::aload:
      case vko_operands::assign:
      case vko_operands::aassign:
        return var_instruction(*m, t);
      case vko_operands::call: {
        if (t.size() < 3 || t.size() > 4) return fail(m->name + " needs a function and an argument count");
        uint32_t hash;
        int64_t cache = 0;
        if (!hash_or_name(t[1], false, &hash) || !number(t[2], -32768, 32767, &argc)) return false;
        if (t.size() == 4 && (t[3].text.rfind("cache=", 0) != 0 || !number({t[3].text.substr(6)}, 0, 0xFFFFFFFFll, &cache)))
          return fail("bad call option " + t[3].text);
        b.call_hash(hash, static_cast<int>(argc), m->opcode == OP_CALL_DROP, static_cast<uint32_t>(cache));
        return true;
      }
      case vko_operands::builtin: {
        if (t.size() != 3) return fail(m->name + " needs a built-in and an argument count");
        uint32_t hash;
        if (!hash_or_name(t[1], true, &hash) || !number(t[2], -32768, 65535, &argc)) return false;
        b.builtin(hash, static_cast<int>(argc), m->opcode == OP_BUILTIN_DROP);
        return true;
      }
      case vko_operands::types: {
        std::vector<int> types;
        for (size_t i = 1; i < t.size(); ++i) {
          int type = type_by_name(t[i].text);
          if (type < 0) return fail("unknown type " + t[i].text);
          types.push_back(type);
        }
        m->opcode == OP_LOCALS ? b.locals(types) : b.params(types);
        return true;
      }
      case vko_operands::offset:
        if (t.size() != 2) return fail(m->name + " needs a label");
        b.jump_op(m->opcode, label_named(t[1].text));
        return true;
      case vko_operands::line:
        if (t.size() != 2) return fail("line needs a number");
        if (!number(t[1], -32768, 32767, &v)) return false;
        b.line(static_cast<int>(v));
        return true;
      case vko_operands::table: {
        std::vector<vko_label> targets;
        for (size_t i = 1; i < t.size(); ++i) targets.push_back(label_named(t[i].text));
        b.jump_table(targets);
        return true;
      }
    }
    return fail("unhandled instruction");
  }

  bool line(std::string_view text) {
    std::vector<token> t;
    if (!tokenize(text, t, error)) return false;
    // Leading "name:" binds a label.
    while (!t.empty() && !t[0].quoted && t[0].text.size() > 1 && t[0].text.back() == ':') {
      std::string name = t[0].text.substr(0, t[0].text.size() - 1);
      vko_label l = label_named(name);
      try {
        b.bind(l);
      } catch (const std::logic_error&) {
        return fail("label " + name + " defined twice");
      }
      t.erase(t.begin());
    }
    if (t.empty()) return true;
    return t[0].text[0] == '.' ? directive(t) : instruction(t);
  }
};

}  // namespace

bool vko_assemble_text(std::string_view source, vko_builder& out, std::string& error,
                       std::vector<std::string>* warnings) {
  text_assembler a(out);
  while (!source.empty()) {
    ++a.line_number;
    size_t end = source.find('\n');
    std::string_view line = source.substr(0, end);
    source = end == std::string_view::npos ? std::string_view() : source.substr(end + 1);
    if (!a.line(line)) {
      error = "line " + std::to_string(a.line_number) + ": " + a.error;
      return false;
    }
  }
  if (warnings) *warnings = a.warnings;
  // The first use of a label never defined, by line.
  int first = 0;
  for (const auto& [name, l] : a.labels)
    if (!out.bound(l) && (!first || a.label_first_use[name] < first)) {
      first = a.label_first_use[name];
      error = "line " + std::to_string(first) + ": label " + name + " is used but never defined";
    }
  return first == 0;
}
