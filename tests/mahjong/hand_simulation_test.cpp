// Whole hands for two, three and four players, seeded, played by compiled scripts through the
// dispatcher. A driver picks the steps as the game's scripts would; after every turn the wall, the
// whereabouts of every tile, the waits, furiten and riichi answers, wins and payments are checked
// against the wall itself and the evaluator.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "base/datasource.h"
#include "base/random.h"
#include "mahjong_vm_fixture.h"
#include "vko_assembler.h"
#include "vm/execute.h"
#include "vm/interpreter.h"
#include "vm/readmark.h"
#include "vm/script_object.h"

namespace {

const std::map<std::string, std::string> steps = {
    {"deal", "builtin.drop mahjong_build_wall 0\nbuiltin.drop mahjong_set_seats 0\n"},
    {"deal2", "builtin.drop mahjong_add_dora 0\nbuiltin.drop mahjong_my_deal 0\n"},
    {"human", "push.i 1\nset-.i.pop @M_pi_tumo_nokori\nbuiltin mahjong_human_draw 0\nset.i @t\npush.i 13\n"
              "aset.i.pop @M_my_pre_te# 1\nbuiltin mahjong_can_win 0\nset.i.pop @win\npush.i 0\n"
              "builtin mahjong_can_kan 1\nset.i.pop @can_kan\nbuiltin mahjong_can_reach 0\nset.i.pop @can_reach\n"},
    {"com", "push.i 1\nset-.i.pop @M_pi_tumo_nokori\nload.i @p\nbuiltin mahjong_com_draw 1\nset.i @t\nload.i @p\n"
            "push.i 14\nmul.i\npush.i 13\nadd.i\naset.i.pop @M_com_pre_te# 1\nload.i @p\n"
            "builtin mahjong_com_can_win 1\nset.i.pop @win\n"},
    {"rig", "load.i @t\nload.i @p\nbuiltin mahjong_rig_hand 2\nset.i.pop @rigged\n"},
    {"calls", "push.i 0\nset.i.pop @called\nload.i @p\nbuiltin mahjong_com_call_chance 1\npush.i 13\nlt.i\njf done\n"
              "load.i @p\nbuiltin mahjong_com_pon 1\nset.i @called\njt done\nload.i @p\nbuiltin mahjong_com_chi 1\n"
              "set.i.pop @called\ndone:\n"},
    {"kan", "load.i @t\npush.i 3\nbuiltin.drop mahjong_kan 2\nbuiltin.drop mahjong_add_dora 0\n"},
    {"sort", "push.i 3\nbuiltin.drop mahjong_sort_hand 1\n"},
    {"probe", "load.i @p\nbuiltin mahjong_wait_count 1\nset.i.pop @waits\nload.i @p\nbuiltin mahjong_is_furiten 1\n"
              "set.i.pop @furiten\n"},
    {"win", "builtin.drop mahjong_export_result 0\n"},
    {"exhaustive", "builtin.drop mahjong_draw_payments 0\n"},
};

class hand_simulation_test : public mahjong_vm_test {
 protected:
  void SetUp() override {
    mahjong_vm_test::SetUp();
    data_base_folder_set(game.path().c_str());
    interpreter_reset();
    std::string names, error;
    for (const builtin_entry& e : builtin_entries())
      if (e.subsystem == 8) names += ".builtin " + std::string(e.name) + " " + std::to_string(e.hash) + "\n";
    for (const auto& [name, body] : steps) {
      vko_builder b;
      ASSERT_TRUE(vko_assemble_text(names + ".entry\n" + body + "ret\n", b, error)) << name << error;
      game.write(name + ".vko", b.build());
    }
    make_all();
    for (const char* v : {"t", "win", "can_kan", "can_reach", "p", "rigged", "called", "waits", "furiten"})
      make(std::string("@") + v + "@GLOBAL", int_cell(0));
  }
  void TearDown() override { mahjong_vm_test::TearDown(), ReleaseVaskel(), readmark_reset(), data_sources_clear(), interpreter_reset(); }
  void run(const char* step) {
    object_entry_set(step);
    thread_turn(vm_thread);
    ASSERT_TRUE(platform.boxes.empty()) << step << ": " << platform.boxes[0].text;
  }
  static int32_t& g(const char* name) { return scalar("@" + std::string(name) + "@GLOBAL"); }
  static int32_t* hand(int p) { return p == 3 ? numbers("@M_my_pre_te#@GLOBAL") : numbers("@M_com_pre_te#@GLOBAL") + 14 * p; }
  static int32_t* melds(int p) { return p == 3 ? numbers("@M_my_naki_flag#@GLOBAL") : numbers("@M_com_naki_flag#@GLOBAL") + 14 * p; }
  static int32_t* sute(int p) { return p == 3 ? numbers("@M_my_sute#@GLOBAL") : numbers("@M_com_sute#@GLOBAL") + 40 * p; }
  static bool tenpai(int p) { return numbers("@M_com_is_tenpai#@GLOBAL")[p] != 0; }
  // The waits of a hand as the wait finder gives them.
  static std::vector<int> waits_of(const int32_t* tiles, const int32_t* states) {
    hand_evaluation e{};
    std::copy_n(tiles, 14, e.tiles), std::copy_n(states, 14, e.melds);
    std::vector<int> w(size_t(mahjong_hand_waits(&e)));
    std::copy_n(e.waits, w.size(), w.begin());
    return w;
  }
  static int points_of(int p) {
    mahjong_vars_load();
    hand_evaluation e{};
    return mahjong_score_player_into(&e, p);
  }
  // A random target of four sets and a pair for computer a, with its set markers.
  void make_target(int a, int players) {
    int used[MAHJONG_KINDS] = {}, slot = 0;
    auto kind = [&] { int k; do k = 1 + int(rng() % 37); while (mahjong_kind_count(players, k) - used[k] < 3); return k; };
    for (int set = 0; set < 5; ++set) {
      int k = kind(), run = set < 4 && rng() % 2 && k < 30 && k % 10 <= 7;
      for (int i = 1; i < 3 && run; ++i) run = used[k + i] < mahjong_kind_count(players, k + i);
      for (int i = 0; i < (set < 4 ? 3 : 2); ++i, ++slot) {
        numbers("@M_com_end#@GLOBAL")[14 * a + slot] = k + (run ? i : 0), ++used[k + (run ? i : 0)];
        numbers("@M_com_endnaki#@GLOBAL")[14 * a + slot] = set == 4 ? 0 : run ? 1 + i : MELD_PON;
      }
    }
    if (a == g("M_com_yuusen"))
      for (int s = 0; s < 14; ++s) mahjong_reserve_kind(numbers("@M_com_end#@GLOBAL")[14 * a + s]);
  }
  // Every tile of the game is in the wall, a hand, the discards or the indicators, once.
  void check_turn(int players) {
    ASSERT_TRUE(wall_counters_match());
    std::vector<int> now(mahjong_wall.tiles + mahjong_wall.next, mahjong_wall.tiles + mahjong_wall.size);
    now.insert(now.end(), gone.begin(), gone.end());
    auto add = [&](const int32_t* v, const int32_t* only_melds) {
      for (int i = 0; i < 14; ++i)
        if (tile_is_tile(v[i]) && (!only_melds || only_melds[i] != 0)) now.push_back(v[i]);
    };
    add(numbers("@M_dora#@GLOBAL"), nullptr), add(numbers("@M_dora_ura#@GLOBAL"), nullptr), add(hand(3), nullptr);
    for (int a = 0; a < players - 1; ++a) add(hand(a), tenpai(a) ? nullptr : melds(a));
    std::sort(now.begin(), now.end());
    ASSERT_EQ(now, all);
    for (int p : seats) {
      g("p") = p;
      run("probe");
      std::vector<int> w = waits_of(hand(p), melds(p));
      bool furiten = std::any_of(sute(p), sute(p) + 40, [&](int t) { return t > 0 && std::count(w.begin(), w.end(), t / 10); });
      ASSERT_TRUE(g("waits") == int(w.size()) && g("furiten") == furiten) << p;
    }
  }
  void discard(int p, mahjong_tile t) {
    *std::find(sute(p), sute(p) + 40, -1) = t;
    g("M_last_sute") = t, g("M_last_sute_pl") = p, gone.push_back(t);
  }
  void won(int points) { run("win"), ++wins; EXPECT_TRUE(points > 0 && g("M_yaku_score") == points); }
  void play_hand(int players);

  temp_dir game;
  std::mt19937 rng{2026};
  std::vector<int> all, gone, seats;
  int wins = 0, exhausted = 0, calls = 0;
};

void hand_simulation_test::play_hand(int players) {
  for (const char* list : {"@M_com_sute#@GLOBAL", "@M_my_sute#@GLOBAL", "@M_dora#@GLOBAL", "@M_dora_ura#@GLOBAL"})
    std::fill_n(numbers(list), 120, -1);
  for (const char* list : {"@M_com_is_tenpai#@GLOBAL", "@M_com_naki_flag#@GLOBAL", "@M_my_naki_flag#@GLOBAL",
                           "@M_my_naki_flag2#@GLOBAL", "@M_com_naki_flag2#@GLOBAL", "@M_com_endnaki2#@GLOBAL"})
    std::fill_n(numbers(list), 120, 0);
  g("M_maj_mode") = players, g("M_tatioya") = rng() % 4, g("M_ba_mawari") = rng() % 4, g("M_kan_kazu") = 0;
  g("M_my_is_reach") = 0, g("M_my_luck") = rng() % 30, g("M_my_unluck") = rng() % 30, g("M_com_yuusen") = int(rng() % players) - 1;
  const int styles[] = {0, 6, 24, 62, 82, 96};
  for (int a = 0; a < 3; ++a) {
    numbers("@com_lvl#@GLOBAL")[a] = styles[rng() % 6], numbers("@M_com_do_naki#@GLOBAL")[a] = rng() % 3;
    numbers("@com_luck#@GLOBAL")[a] = rng() % 100, numbers("@com_unluck#@GLOBAL")[a] = rng() % 100;
  }
  run("deal");
  all.assign(mahjong_wall.tiles, mahjong_wall.tiles + mahjong_wall.size), gone.clear(), seats.clear();
  std::sort(all.begin(), all.end());
  for (int a = 0; a < players - 1; ++a) make_target(a, players), seats.push_back(a);
  seats.push_back(3);
  run("deal2");
  for (size_t turn = rng() % seats.size();; turn = (turn + 1) % seats.size()) {
    ASSERT_NO_FATAL_FAILURE(check_turn(players));
    if (g("M_pi_tumo_nokori") <= 0 || mahjong_wall_free_total() < 6) {
      int before = g("M_my_score") = 250;
      for (int a = 0; a < 3; ++a) numbers("@M_com_score#@GLOBAL")[a] = 250;
      run("exhaustive");
      int after = g("M_my_score");
      for (int a = 0; a < players - 1; ++a) after += numbers("@M_com_score#@GLOBAL")[a] - 250;
      EXPECT_EQ(after, before);
      ++exhausted;
      return;
    }
    int p = seats[turn];
    g("p") = p;
    if (p == 3) {
      run("human");
      ASSERT_EQ(g("win") != 0, points_of(3) > 0);
      if (g("win")) return won(points_of(3));
      std::vector<int> flagged;  // the slots whose discard leaves the hand waiting
      for (int i = 0; i < 14; ++i) {
        int32_t without[14];
        std::copy_n(hand(3), 14, without), std::copy(without + i + 1, without + 14, without + i), without[13] = 600;
        if (melds(3)[i] == 0 && tile_is_tile(hand(3)[i]) && !waits_of(without, melds(3)).empty()) flagged.push_back(i);
      }
      ASSERT_EQ(g("can_reach"), std::none_of(melds(3), melds(3) + 14, [](int s) { return s > 0; }) &&
                                    !g("M_my_is_reach") && !flagged.empty());
      if (g("can_kan") && rng() % 2) {
        gone.push_back(tile_kind(g("t")) * 10 + 3);  // the fourth tile is not kept
        run("kan");
        turn = (turn + seats.size() - 1) % seats.size();  // the human draws again
        continue;
      }
      int slot = g("M_my_is_reach") ? 13 : rng() % 2 ? 13 : int(rng() % 14);
      if (!g("M_my_is_reach") && g("can_reach") && rng() % 4 == 0) g("M_my_is_reach") = 1, slot = flagged[0];
      while (melds(3)[slot] != 0 || !tile_is_tile(hand(3)[slot])) slot = (slot + 1) % 14;
      mahjong_tile t = hand(3)[slot];
      hand(3)[slot] = hand(3)[13], hand(3)[13] = 600;
      run("sort");
      discard(3, t);
    } else {
      run("com");
      ASSERT_EQ(g("win"), points_of(p));
      if (tenpai(p) && g("win")) return won(g("win"));
      hand(p)[13] = 600;
      discard(p, g("t"));
      if (!tenpai(p) && rng() % 6 == 0) {
        run("rig");
        numbers("@M_com_is_tenpai#@GLOBAL")[p] = g("rigged");
      }
    }
    // The other computers may call the discard; one that calls plays the next turn.
    int d = p, t = g("t") = g("M_last_sute");
    for (int a : seats) {
      if (a == d || a == 3) continue;
      g("p") = a;
      run("calls");
      if (!g("called")) continue;
      gone.erase(std::find(gone.begin(), gone.end(), t)), ++calls;
      turn = (std::find(seats.begin(), seats.end(), a) - seats.begin() + seats.size() - 1) % seats.size();
      break;
    }
  }
}

TEST_F(hand_simulation_test, WholeHandsKeepTheTableConsistent) {
  engine_srand(4242);
  for (int players : {2, 3, 4})
    for (int i = 0; i < 400; ++i) ASSERT_NO_FATAL_FAILURE(play_hand(players)) << players << " players, hand " << i;
  EXPECT_EQ(wins + exhausted, 1200);
  EXPECT_TRUE(wins > 0 && calls > 0) << wins << " wins, " << calls << " calls";
}

}  // namespace
