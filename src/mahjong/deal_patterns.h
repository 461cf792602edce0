// The target-hand builders of the prepared deals, one per computer style code (1-106).
//
// A builder fills the deal work area (mahjong/deal.h), which the driver has just reset, with one
// 14-tile hand of its type and sets the seat's call and riichi flags; flags set after the sets
// override those of a whole-hand recipe that the builder called. A fixed set that the pool cannot
// give, and every re-draw that has not passed its pool test after 100 draws, is taken by the
// class-0 picker instead, so every builder ends and keeps the pool at 0 or above.
#pragma once

// A builder: no arguments, no result; it works on mahjong_deal.
using mahjong_pattern_builder = void (*)();

// The builder of the style (the style-89 builder also looks at the seat's place in the deal
// order, 0 for the priority seat). Codes outside 1-106 get value tiles, all-runs riichi,
// terminal-run riichi or the pure double run at random.
void mahjong_pattern_build(int style, int position);

// What an unrigged seat gets instead of its style's hand half of the time: value tiles, the
// pool-tested mixed triple run, terminal-run riichi or the pure double run at random.
void mahjong_general_hand();
