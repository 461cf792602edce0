#include "mahjong/mahjong_builtins.h"

#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "vm/variables.h"

int builtin_mahjong_export_result(int32_t, int32_t) {
  mahjong_vars_load();
  mahjong_export_result();
  mahjong_vars_store();
  push_int(0);
  return 0;
}
