// Interpreter throughput against Lua 5.4 running the same loops in the same process:
//   int loop:  i = 0, s = 0; while i < N: s = s + i; i = i + 1
//   call loop: the same with s = add(s, i), add a script function of two parameters.
// Our loops are assembled as the script compiler would write them (locals, a compare and a
// conditional jump per turn); Lua's are while loops, not its faster numeric for. The run ends by
// printing each loop's time as a multiple of Lua's.
#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "base/datasource.h"
#include "base/hash.h"
#include "vko_assembler.h"
#include "bench_ratio.h"
#include "vm/interpreter.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr int N = 1000000;

// The loop with its step: the statements that make s from s and i.
std::string vm_loop_source(const char* step) {
  return std::string(R"(
.entry
    locals int int
loop:
    load.i _0
    push.i 1000000
    lt.i
    jf done
)") + step + R"(
    set.i.pop _1
    load.i _0
    push.i 1
    add.i
    set.i.pop _0
    jmp loop
done:
    load.i _1
    set.i.pop @result
    ret
.func add
    params int int
    load.i _p1
    load.i _p2
    add.i
    ret
)";
}
const char* INT_STEP = "load.i _1\nload.i _0\nadd.i";
const char* CALL_STEP = "load.i _0\nload.i _1\ncall add 2";

const char* LUA_LOOPS = R"(
function int_loop(n)
  local i, s = 0, 0
  while i < n do s = s + i; i = i + 1 end
  return s
end
local function add(a, b) return a + b end
function call_loop(n)
  local i, s = 0, 0
  while i < n do s = add(s, i); i = i + 1 end
  return s
end
)";

// A game folder holding the two objects.
std::string game_folder() {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / "vaskbench-interpreter").string();
  std::filesystem::create_directories(path);
  for (auto [name, step] : {std::pair{"intloop", INT_STEP}, {"callloop", CALL_STEP}}) {
    vko_builder b;
    std::string error;
    if (!vko_assemble_text(vm_loop_source(step), b, error)) {
      fprintf(stderr, "%s: %s\n", name, error.c_str());
      abort();
    }
    b.write(path + "/" + name + ".vko");
  }
  data_base_folder_set(path.c_str());
  var_table_init(&var_global, 256);
  return path;
}

void vm_loop(benchmark::State& state, const char* object) {
  game_folder();
  for (auto _ : state) {
    thread_switch(thread_create(0));
    object_entry_set(object);
    interpreter_run();
    benchmark::DoNotOptimize(var_global.cells[0].i);
  }
  state.SetItemsProcessed(state.iterations() * N);
}

void lua_loop(benchmark::State& state, const char* function) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, LUA_LOOPS) != LUA_OK) abort();
  for (auto _ : state) {
    lua_getglobal(L, function);
    lua_pushinteger(L, N);
    lua_call(L, 1, 1);
    benchmark::DoNotOptimize(lua_tointeger(L, -1));
    lua_pop(L, 1);
  }
  lua_close(L);
  state.SetItemsProcessed(state.iterations() * N);
}

void BM_vm_int_loop(benchmark::State& state) { vm_loop(state, "intloop"); }
void BM_lua_int_loop(benchmark::State& state) { lua_loop(state, "int_loop"); }
void BM_vm_call_loop(benchmark::State& state) { vm_loop(state, "callloop"); }
void BM_lua_call_loop(benchmark::State& state) { lua_loop(state, "call_loop"); }
BENCHMARK(BM_vm_int_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_lua_int_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vm_call_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_lua_call_loop)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  int result = bench_main(argc, argv,
                          {{"BM_vm_int_loop", "", "BM_lua_int_loop"}, {"BM_vm_call_loop", "", "BM_lua_call_loop"}},
                          {"turn",
                           "x peer: the interpreter's loop turns a second over Lua 5.4's for the same loop, run in\n"
                           "the same process (0.25 means Lua's time is a quarter of ours)."});
  threads_destroy_all();
  ReleaseVaskel();
  var_tables_free();
  std::filesystem::remove_all(game_folder());
  return result;
}
