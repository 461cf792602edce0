// A compact notation for mahjong hands in tests.
//
// Tiles: digits before their suit letter, m characters, p circles, s bamboo, z honours (1-4 the
// winds East to North, 5-7 white, green, red); 0 is a red five. A hand is space-separated words:
// plain words are concealed tiles; "c123m" an open chi, "p555z" a pon, "k1111m" an open kan,
// "a1111m" a concealed kan; "r5p" wins on a discard of 5p, "t5p" by self-draw. The hand is laid
// out as the game lays it: melds first, concealed tiles ascending, the winning tile in slot 13.
//
// A context is space-separated words: "seat=E" and "round=S" (winds E S W N; default seat South,
// round East), "riichi", "double" (double riichi), "ippatsu", "first", "last", "kan", "dora=1m4p"
// (indicators), "rules" (the CONFIG switches in force), "kuitan", "tumopin", "akau", "players=2".
#pragma once

#include <algorithm>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "mahjong/evaluator.h"

namespace notation {

// Tile codes of a tile word. Copies count down from 3 for plain tiles and up from 0 for red fives,
// so that plain fives of circles stay clear of the red codes 150 and 151.
inline std::vector<int> tiles(const std::string& word, int (&next)[2][MAHJONG_KINDS]) {
  std::vector<int> out;
  std::string digits;
  for (char ch : word) {
    if (ch >= '0' && ch <= '9') {
      digits += ch;
      continue;
    }
    int base = ch == 'm' ? 0 : ch == 'p' ? 10 : ch == 's' ? 20 : ch == 'z' ? 30 : -1;
    if (base < 0) throw std::invalid_argument("bad tile word: " + word);
    for (char d : digits) {
      bool red = d == '0';
      int kind = base + (red ? 5 : d - '0');
      int copy = red ? next[1][kind]++ : 3 - next[0][kind]++;
      out.push_back(kind * 10 + copy);
    }
    digits.clear();
  }
  return out;
}

inline int wind(const std::string& v) { return int(std::string("ESWN").find(v.at(0))); }

// Fills the record's hand (and the tsumo flag) from a hand in the notation.
inline void hand(const char* text, hand_evaluation& e) {
  int next[2][MAHJONG_KINDS] = {}, slot = 0;
  std::vector<int> concealed;
  std::fill(e.tiles, e.tiles + MAHJONG_SLOTS, MAHJONG_FILLER);
  std::fill(e.melds, e.melds + MAHJONG_SLOTS, 0);
  std::fill(e.from, e.from + MAHJONG_SLOTS, 0);
  e.tsumo = 0;
  std::istringstream in(text);
  for (std::string w; in >> w;) {
    char c = w[0];
    bool plain = c >= '0' && c <= '9';
    std::vector<int> t = tiles(plain ? w : w.substr(1), next);
    if (plain)
      concealed.insert(concealed.end(), t.begin(), t.end());
    else if (c == 'r' || c == 't')
      e.tiles[13] = t.at(0), e.tsumo = c == 't';
    else
      for (int i = 0; i < 3; ++i, ++slot)  // a kan's fourth tile is not stored
        e.tiles[slot] = t.at(i),
        e.melds[slot] = c == 'c' ? MELD_CHI_FIRST + i : c == 'p' ? MELD_PON : c == 'k' ? MELD_OPEN_KAN : MELD_CONCEALED_KAN;
  }
  if (slot + concealed.size() > 13) throw std::invalid_argument(std::string("too many tiles: ") + text);
  std::sort(concealed.begin(), concealed.end());
  std::copy(concealed.begin(), concealed.end(), e.tiles + slot);
}

// Sets the record's other inputs from a context.
inline void context(const char* text, hand_evaluation& e) {
  e.riichi = e.ippatsu = e.first_turn = e.last_tile = e.kan_draw = 0;
  e.rules_on = e.kuitan = e.tumopin = e.akau = 0;
  e.seat_wind = 1, e.round_wind = 0, e.players = 4;
  e.dora[0] = -1;
  std::istringstream in(text);
  for (std::string w; in >> w;) {
    std::string key = w.substr(0, w.find('=')), value = w.find('=') == std::string::npos ? "" : w.substr(w.find('=') + 1);
    if (key == "seat") e.seat_wind = wind(value);
    else if (key == "round") e.round_wind = wind(value);
    else if (key == "riichi") e.riichi = 1;
    else if (key == "double") e.riichi = 2;
    else if (key == "ippatsu") e.ippatsu = 1;
    else if (key == "first") e.first_turn = 1;
    else if (key == "last") e.last_tile = 1;
    else if (key == "kan") e.kan_draw = 1;
    else if (key == "rules") e.rules_on = 1;
    else if (key == "kuitan") e.kuitan = 1;
    else if (key == "tumopin") e.tumopin = 1;
    else if (key == "akau") e.akau = 1;
    else if (key == "players") e.players = std::stoi(value);
    else if (key == "dora") {
      int next[2][MAHJONG_KINDS] = {};
      std::vector<int> d = tiles(value, next);
      std::copy(d.begin(), d.end(), e.dora);
      e.dora[d.size()] = -1;
    } else {
      throw std::invalid_argument("bad context word: " + w);
    }
  }
}

// The yaku list as "name han" words, e.g. "立直1 平和1".
inline std::string yaku(const yaku_entry* list) {
  std::string s;
  for (int i = 0; i < YAKU_LINES && list[i].no != YAKU_NONE; ++i)
    s += (s.empty() ? "" : " ") + std::string(mahjong_yaku_names[list[i].no]) + std::to_string(list[i].han);
  return s;
}

}  // namespace notation
