// Interpreter throughput against Lua 5.4 running the same loops in the same process:
//   int loop:  i = 0, s = 0; while i < N: s = s + i; i = i + 1
//   call loop: the same with s = add(s, i), add a script function of two parameters.
// Our loops are assembled as the script compiler would write them (locals, a compare and a
// conditional jump per turn); Lua's are while loops, not its faster numeric for. Then the loops
// real scripts look like: the int loop with a line mark per statement, on globals and on thread
// variables, and the call loop calling into another object with 50 more objects loaded. The run
// ends by printing each loop's time against the plain loop's and against Lua's.
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
constexpr int LOADED_OBJECTS = 50;  // objects loaded besides the loops, as a game holds them

// The loop with its step (the statements that make s from s and i), over the variables i and s
// (locals _0/_1, globals @i/@s or thread variables %i/%s). With lines set, a line mark opens
// every statement, as compiled scenario code has them.
std::string vm_loop_source(const char* step, const char* i, const char* s, bool lines, bool with_add = true) {
  auto line = [lines](int n) { return lines ? "    line " + std::to_string(n) + "\n" : std::string(); };
  std::string local = i[0] == '_' ? "    locals int int\n" : "    push.i 0\n    set.i.pop " + std::string(i) +
                                                               "\n    push.i 0\n    set.i.pop " + s + "\n";
  std::string text = std::string(lines ? ".lines 16\n" : "") + ".entry\n" + local + "loop:\n" + line(2) +
                     "    load.i " + i + "\n    push.i 1000000\n    lt.i\n    jf done\n" + line(3) + step + "\n" +
                     "    set.i.pop " + s + "\n" + line(4) + "    load.i " + i + "\n    push.i 1\n    add.i\n" +
                     "    set.i.pop " + i + "\n    jmp loop\ndone:\n    load.i " + s + "\n    set.i.pop @result\n    ret\n";
  if (with_add) text += ".func add\n    params int int\n    load.i _p1\n    load.i _p2\n    add.i\n    ret\n";
  return text;
}
std::string step_of(const char* form, const char* i, const char* s) {
  std::string t = form;
  for (size_t at; (at = t.find("$i")) != std::string::npos;) t.replace(at, 2, i);
  for (size_t at; (at = t.find("$s")) != std::string::npos;) t.replace(at, 2, s);
  return t;
}
const char* INT_STEP = "load.i $s\nload.i $i\nadd.i";
const char* CALL_STEP = "load.i $i\nload.i $s\ncall add 2";

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

void object_write(const std::string& folder, const char* name, const std::string& source) {
  vko_builder b;
  std::string error;
  if (!vko_assemble_text(source, b, error)) {
    fprintf(stderr, "%s: %s\n", name, error.c_str());
    abort();
  }
  b.write(folder + "/" + name + ".vko");
}

// A game folder holding the loops, the object that the cross-object loop calls into and the
// objects loaded besides them.
std::string game_folder() {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / "vaskbench-interpreter").string();
  std::filesystem::create_directories(path);
  object_write(path, "intloop", vm_loop_source(step_of(INT_STEP, "_0", "_1").c_str(), "_0", "_1", false));
  object_write(path, "callloop", vm_loop_source(step_of(CALL_STEP, "_0", "_1").c_str(), "_0", "_1", false));
  object_write(path, "lineloop", vm_loop_source(step_of(INT_STEP, "_0", "_1").c_str(), "_0", "_1", true));
  object_write(path, "globalloop", vm_loop_source(step_of(INT_STEP, "@i", "@s").c_str(), "@i", "@s", false));
  object_write(path, "threadloop", vm_loop_source(step_of(INT_STEP, "%i", "%s").c_str(), "%i", "%s", false));
  object_write(path, "crossloop", vm_loop_source(step_of(CALL_STEP, "_0", "_1").c_str(), "_0", "_1", false, false));
  object_write(path, "adder", ".func add\n    params int int\n    load.i _p1\n    load.i _p2\n    add.i\n    ret\n");
  data_base_folder_set(path.c_str());
  // Loaded first, so that any walk of the object list passes the other 50 before finding them.
  for (const char* name : {"intloop", "callloop", "lineloop", "globalloop", "threadloop", "crossloop", "adder"})
    object_load(name);
  for (int k = 0; k < LOADED_OBJECTS; ++k) {
    std::string name = "filler" + std::to_string(k);
    object_write(path, name.c_str(), ".func f" + std::to_string(k) + "\n    ret\n");
    object_load(name.c_str());
  }
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
void BM_vm_line_loop(benchmark::State& state) { vm_loop(state, "lineloop"); }
void BM_vm_global_loop(benchmark::State& state) { vm_loop(state, "globalloop"); }
void BM_vm_thread_loop(benchmark::State& state) { vm_loop(state, "threadloop"); }
void BM_vm_cross_loop(benchmark::State& state) { vm_loop(state, "crossloop"); }
BENCHMARK(BM_vm_line_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vm_global_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vm_thread_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vm_cross_loop)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  int result = bench_main(argc, argv,
                          {{"BM_vm_int_loop", "", "BM_lua_int_loop"},
                           {"BM_vm_call_loop", "", "BM_lua_call_loop"},
                           {"BM_vm_line_loop", "BM_vm_int_loop", "BM_lua_int_loop"},
                           {"BM_vm_global_loop", "BM_vm_int_loop", "BM_lua_int_loop"},
                           {"BM_vm_thread_loop", "BM_vm_int_loop", "BM_lua_int_loop"},
                           {"BM_vm_cross_loop", "BM_vm_call_loop", "BM_lua_call_loop"}},
                          {"turn",
                           "x baseline: the loop's turns a second over the plain local loop's (int or call) in this run;\n"
                           "x peer: the interpreter's loop turns a second over Lua 5.4's for the same loop, run in\n"
                           "the same process (0.25 means Lua's time is a quarter of ours). Lua's loops use locals."});
  threads_destroy_all();
  ReleaseVaskel();
  var_tables_free();
  std::filesystem::remove_all(game_folder());
  return result;
}
