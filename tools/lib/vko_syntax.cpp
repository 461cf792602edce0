#include "vko_syntax.h"

#include <map>
#include <vector>

#include "base/hash.h"
#include "vm/builtin_table.h"
#include "vm/opcodes.h"

const char* const VKO_TYPE_SUFFIX[6] = {"i", "f", "s", "ia", "fa", "sa"};
const char* const VKO_TYPE_NAME[6] = {"int", "float", "str", "intarr", "floatarr", "strarr"};

namespace {

struct tables {
  std::vector<vko_mnemonic> all;
  std::map<std::string, size_t, std::less<>> by_name;
  std::map<uint32_t, size_t> by_opcode;  // opcode << 8 | type for loads

  void add(std::string name, uint16_t opcode, vko_operands operands, int type = 0) {
    by_name[name] = all.size();
    uint32_t key = operands == vko_operands::load || operands == vko_operands::aload ? (uint32_t{opcode} << 8 | type)
                                                                                  : uint32_t{opcode} << 8;
    by_opcode[key] = all.size();
    all.push_back({std::move(name), opcode, operands, type});
  }

  tables() {
    // Binary operators: row name and the columns that exist.
    static const struct {
      const char* name;
      const char* columns;  // one letter per column 0..5: 'x' exists, '.' not
    } binary[] = {{"mul", "xx...."}, {"div", "xx...."}, {"mod", "x....."}, {"add", "xxx..."}, {"sub", "xx...."},
                  {"shr", "x....."}, {"shl", "x....."}, {"le", "xxx..."},  {"lt", "xxx..."},  {"ge", "xxx..."},
                  {"gt", "xxx..."},  {"eq", "xxxxxx"},  {"ne", "xxxxxx"},  {"xor", "x....."}, {"land", "x....."},
                  {"lor", "x....."}, {"band", "x....."}, {"bor", "x....."}};
    for (int row = 0; row < BINARY_ROWS; ++row)
      for (int c = 0; c < 6; ++c)
        if (binary[row].columns[c] == 'x')
          add(std::string(binary[row].name) + "." + VKO_TYPE_SUFFIX[c], static_cast<uint16_t>(OP_BINARY + 8 * row + c),
              vko_operands::none);
    add("not", OP_NOT, vko_operands::none);
    add("bnot", OP_BNOT, vko_operands::none);
    add("neg.i", OP_NEG_I, vko_operands::none);
    add("neg.f", OP_NEG_F, vko_operands::none);
    add("nop", OP_NOP, vko_operands::none);
    add("nop2", OP_NOP2, vko_operands::none);
    add("nop3", OP_NOP3, vko_operands::none);

    // Assignments: scalar columns, element columns.
    static const struct {
      const char* op;
      const char* scalar;
      const char* element;
    } assign[] = {{"", "xxxxxx", "xxx"}, {"*", "xx....", "xx."}, {"/", "xx....", "xx."}, {"%", "x.....", "x.."},
                  {"+", "xxx...", "xxx"}, {"-", "xx....", "xx."}, {"<<", "x.....", "x.."}, {">>", "x.....", "x.."},
                  {"&", "x.....", "x.."}, {"^", "x.....", "x.."}, {"|", "x.....", "x.."}};
    for (int row = 0; row < ASSIGN_ROWS; ++row)
      for (int popped = 0; popped < 2; ++popped) {
        const char* tail = popped ? ".pop" : "";
        uint16_t pop = popped ? OP_POPPED : 0;
        for (int c = 0; c < 6; ++c)
          if (assign[row].scalar[c] == 'x')
            add(std::string("set") + assign[row].op + "." + VKO_TYPE_SUFFIX[c] + tail,
                static_cast<uint16_t>(OP_ASSIGN + 8 * row + c + pop), vko_operands::assign, c);
        for (int c = 0; c < 3; ++c)
          if (assign[row].element[c] == 'x')
            add(std::string("aset") + assign[row].op + "." + VKO_TYPE_SUFFIX[c] + tail,
                static_cast<uint16_t>(OP_ASSIGN_ELEMENT + 8 * row + c + pop), vko_operands::aassign, c);
      }
    for (int c = 0; c < 6; ++c) add(std::string("load.") + VKO_TYPE_SUFFIX[c], OP_LOAD, vko_operands::load, c);
    for (int c = 0; c < 3; ++c) add(std::string("aload.") + VKO_TYPE_SUFFIX[c], OP_LOAD_ELEMENT, vko_operands::aload, c);

    add("push.i", OP_PUSH_INT, vko_operands::i32);
    add("push.s", OP_PUSH_STRING, vko_operands::text);
    add("push.f", OP_PUSH_FLOAT, vko_operands::f32);
    add("call", OP_CALL, vko_operands::call);
    add("call.drop", OP_CALL_DROP, vko_operands::call);
    add("locals", OP_LOCALS, vko_operands::types);
    add("ret", OP_RETURN, vko_operands::none);
    add("jmp", OP_JUMP, vko_operands::offset);
    add("jt", OP_JUMP_TRUE, vko_operands::offset);
    add("jf", OP_JUMP_FALSE, vko_operands::offset);
    add("pop", OP_POP, vko_operands::none);
    add("switch", OP_SWITCH, vko_operands::offset);
    add("case.eq", OP_CASE_EQ, vko_operands::offset);
    add("case.gt", OP_CASE_GT, vko_operands::offset);
    add("case.lt", OP_CASE_LT, vko_operands::offset);
    add("case.le", OP_CASE_LE, vko_operands::offset);
    add("case.ge", OP_CASE_GE, vko_operands::offset);
    add("builtin", OP_BUILTIN, vko_operands::builtin);
    add("builtin.drop", OP_BUILTIN_DROP, vko_operands::builtin);
    add("params", OP_PARAMS, vko_operands::types);
    add("line", OP_LINE, vko_operands::line);
    add("label.decide", OP_DECIDE_LABEL, vko_operands::offset);
    add("label.middle", OP_MIDDLE_LABEL, vko_operands::offset);
    add("label.cancel", OP_CANCEL_LABEL, vko_operands::offset);
    add("label.all", OP_ALL_LABELS, vko_operands::offset);
    add("label.clear", OP_CLEAR_LABELS, vko_operands::none);
    add("label.back", OP_BACK_LABEL, vko_operands::offset);
    add("back", OP_GO_BACK, vko_operands::none);
    add("label.end", OP_END_LABEL, vko_operands::offset);
    add("ftoi", OP_FLOAT_TO_INT, vko_operands::none);
    add("itof", OP_INT_TO_FLOAT, vko_operands::none);
    add("msg", OP_MSG_TEXT, vko_operands::text);
    add("msg.show", OP_MSG_SHOW, vko_operands::none);
    add("msg.code", OP_MSG_CODE, vko_operands::text);
    add("jtable", OP_JUMP_TABLE, vko_operands::table);
  }
};

const tables& syntax() {
  static const tables t;
  return t;
}

}  // namespace

const vko_mnemonic* vko_mnemonic_by_name(std::string_view name) {
  auto it = syntax().by_name.find(name);
  return it == syntax().by_name.end() ? nullptr : &syntax().all[it->second];
}

const vko_mnemonic* vko_mnemonic_by_opcode(uint16_t opcode, int type) {
  uint32_t key = opcode == OP_LOAD || opcode == OP_LOAD_ELEMENT ? (uint32_t{opcode} << 8 | static_cast<uint32_t>(type))
                                                               : uint32_t{opcode} << 8;
  auto it = syntax().by_opcode.find(key);
  return it == syntax().by_opcode.end() ? nullptr : &syntax().all[it->second];
}

// ---------------------------------------------------------------------------------------------
// Built-ins

static const std::map<std::string_view, uint32_t, std::less<>>& builtins_by_name() {
  static const auto names = [] {
    std::map<std::string_view, uint32_t, std::less<>> m;
    for (const builtin_entry& e : builtin_entries()) m.emplace(e.name, e.hash);  // the first row stays
    return m;
  }();
  return names;
}

bool vko_builtin_hash(std::string_view name, uint32_t* hash) {
  auto it = builtins_by_name().find(name);
  if (it == builtins_by_name().end()) return false;
  *hash = it->second;
  return true;
}

const char* vko_builtin_name(uint32_t hash) {
  const builtin_entry* e = builtin_find(hash);
  uint32_t back;
  return e && vko_builtin_hash(e->name, &back) && back == hash ? e->name : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Events

static const vko_event EVENTS[] = {
    {"run_start", 0x38579896, "loaded flag (1 after a load), \"\", resume value (1 when the message window was on)",
     "each time the game starts, restarts or comes back from a load, before the scripts run"},
    {"menu_load", 0xAAF02220, "-", "the menu's ロード or the load key"},
    {"menu_save", 0x7CE76169, "-", "the menu's セーブ or the save key, while saving is allowed"},
    {"menu_key_f11", 0x5399D3AF, "-", "F11, outside development mode"},
    {"screen_full_asked", 0x57B19BF8, "-", "screen_full_set(1) while IGNORESCREENMODE is set"},
    {"screen_window_asked", 0xAD050BFF, "-", "screen_full_set(0) while IGNORESCREENMODE is set"},
    {"menu_wide_mode", 0xEDF9F4F1, "the WideMode setting", "the menu's ワイドモード"},
    {"close_asked", 0x4A6BF175, "-", "the window's close box while GUIEXITDLG is set"},
    {"menu_next_choice", 0x5CF65741, "-", "the menu's 次の選択に飛ぶ"},
    {"menu_prev_choice", 0x2BF167D7, "-", "the menu's 前の選択に戻る (F9 under ALTMENU_B)"},
    {"menu_how_to_play", 0xCA908215, "-", "the menu's 操作方法, or F12"},
    {"menu_config", 0x24B05F59, "-", "the menu's コンフィグ, or F9"},
    {"menu_busy", 0x42629F01, "-", "a menu request arrived while the game's own system menu is open"},
    {"message_enable", 0xF7A4C8D8, "page 1, page 2", "the message window is switched on"},
    {"message_disable", 0x0D9B7F0E, "page 1, page 2", "the message window is switched off"},
    {"message_name", 0x44A4FF72, "the speaker's name", "a line begins with a name before 「 (NAMEPOPUP)"},
    {"message_line", 0x47BB540C, "page, x, y, width, height, no-wait flag", "a line of text has been drawn"},
    {"message_newline", 0x04AE36BD, "-", "the code n (a new line)"},
    {"message_page", 0x20CE505D, "-", "the code p (the page waits)"},
    {"message_clear", 0x93B38A0B, "-", "the code w, or the text overflows the window"},
    {"message_custom", 0xD3CA70E5, "the code g's values (up to six)", "the code g"},
    {"message_text", 0xEC771B85, "the code x's text", "the code x"},
    {"message_skipped_unread", 0x1A95282E, "-", "forced skip passes a line that was never read"},
};

std::span<const vko_event> vko_events() { return EVENTS; }

const vko_event* vko_event_by_name(std::string_view name) {
  for (const vko_event& e : EVENTS)
    if (name == e.name) return &e;
  return nullptr;
}

// Four bytes appended to a text set its CRC-32 to any value: the register after the four bytes
// depends only on the table rows they pick, and each row is known by its top byte.
std::string vko_event_text(const vko_event& event) {
  const uint32_t* table = crc32_table();
  uint8_t rows[4];
  uint32_t reg = ~event.key;
  for (int k = 3; k >= 0; --k) {
    for (int j = 0; j < 256; ++j)
      if (table[j] >> 24 == reg >> 24) rows[k] = static_cast<uint8_t>(j);
    reg = (reg ^ table[rows[k]]) << 8;
  }
  for (std::string text = event.name;; text += '_') {
    reg = ~crc32_bytes(text.data(), text.size());
    std::string forged = text;
    for (uint8_t row : rows) {
      forged += static_cast<char>((reg ^ row) & 0xFF);
      reg = (reg >> 8) ^ table[row];
    }
    if (forged.find('\0') == std::string::npos) return forged;
  }
}
