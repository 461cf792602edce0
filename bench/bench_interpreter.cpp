// Interpreter throughput against Lua 5.4 doing the same work in the same process, round by round.
//
// Each loop is assembled as the script compiler writes it (a compare and a conditional jump per
// turn, locals in stack slots) and has a Lua twin written as a Lua programmer would (while
// loops, globals for the game's globals, a table for the thread's variables). Every round runs
// each loop once in the interpreter and once in Lua, one right after the other, so load on the
// machine falls on both alike; the table gives each loop's time per turn and its time over Lua's
// as the median and the range of the rounds.
//
//   int, call      s = s + i; i = i + 1 on locals, and s = add(s, i)
//   line           the int loop with a line mark opening each statement
//   global, thread the int loop on global and on thread variables (Lua: globals, a table's fields)
//   cross          the call loop calling into another object
//   compound       the int loop written with += (s += i; i += 1)
//   groups         globals with groups and thread variables, compound assignment and loads
//   strings        concatenation of a global and a thread variable, equality and ordering
//   arrays         elements of a one- and a two-dimension int array, stored and loaded
//   switch         a switch of seven cases on i & 7
//   nested         a call with three arguments calling one with four
//   mixed          a turn of the above with a line mark per statement
//
// All the loops are loaded before 50 other objects, and the global table holds 300 more
// variables, as a game's does.
//
//   bench_interpreter [--rounds=N] [--loops=name,...]   (15 rounds of every loop by default)
#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <time.h>

#include "base/datasource.h"
#include "base/hash.h"
#include "vko_assembler.h"
#include "vm/interpreter.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr int LOADED_OBJECTS = 50;   // objects loaded besides the loops, as a game holds them
constexpr int OTHER_GLOBALS = 300;  // globals besides the loops' own

// The loop with its step (the statements that make s from s and i), over the variables i and s
// (locals _0/_1, globals @i/@s or thread variables %i/%s). With lines set, a line mark opens
// every statement, as compiled scenario code has them.
std::string vm_loop_source(const char* step, const char* i, const char* s, bool lines, bool with_add = true) {
  auto line = [lines](int n) { return lines ? "    line " + std::to_string(n) + "\n" : std::string(); };
  std::string local = i[0] == '_' ? "    locals int int\n" : "    push.i 0\n    set.i.pop " + std::string(i) +
                                                               "\n    push.i 0\n    set.i.pop " + s + "\n";
  std::string text = std::string(lines ? ".lines 16\n" : "") + ".entry\n" + local + "loop:\n" + line(2) +
                     "    load.i " + i + "\n    push.i $N\n    lt.i\n    jf done\n" + line(3) + step + "\n" +
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

// The head and tail every new loop shares: _0 counts the turns, _1 is the sum kept in @result.
std::string loop_around(const std::string& locals, const std::string& before, const std::string& body,
                        int lines = 0) {
  return (lines ? ".lines " + std::to_string(lines) + "\n" : std::string()) + ".entry\n    locals " + locals +
         "\n" + before + "loop:\n" + (lines ? "    line 2\n" : "") +
         "    load.i _0\n    push.i $N\n    lt.i\n    jf done\n" + body +
         "    push.i 1\n    set+.i.pop _0\n    jmp loop\ndone:\n    load.i _1\n    set.i.pop @result\n    ret\n";
}

const char* COMPOUND_BODY = R"(
    load.i _0
    set+.i.pop _1
)";

const char* GROUPS_BODY = R"(
    load.i _0
    set+.i.pop @score@GAME
    push.i 1
    set+.i.pop %step
    load.i @score@GAME
    load.i %step
    band.i
    set.i.pop @flags@SYSTEM
    load.i @flags@SYSTEM
    set+.i.pop _1
)";

const char* STRINGS_BODY = R"(
    load.s @prefix@GAME
    load.s %name
    add.s
    set.s.pop %file
    load.s %file
    push.s "ev01"
    eq.s
    jf other
    push.i 1
    set+.i.pop _1
other:
    load.s %file
    push.s "f"
    lt.s
    jf next
    push.i 2
    set+.i.pop _1
next:
)";

const char* ARRAYS_BODY = R"(
    load.i _0
    push.i 63
    band.i
    set.i.pop _2
    load.i _0
    load.i _2
    aset.i.pop @tbl@GAME 1
    load.i _2
    aload.i @tbl@GAME 1
    set+.i.pop _1
    load.i _2
    push.i 3
    shr.i
    load.i _2
    push.i 7
    band.i
    aload.i @grid@GAME 2
    set+.i.pop _1
)";

// The switch as the compiler lays it out: the value goes to the switch variable, then a chain
// of push, case and pop, each body ending in a jump past the chain.
std::string switch_body(const std::vector<std::string>& bodies, const std::string& fallback,
                        const std::string& value) {
  std::string text = value + "    switch case0\n";
  for (size_t k = 0; k < bodies.size(); ++k) {
    std::string next = "case" + std::to_string(k + 1);
    text += "case" + std::to_string(k) + ":\n" + (k ? "    pop\n" : "") + "    push.i " + std::to_string(k) +
            "\n    case.eq " + next + "\n    pop\n" + bodies[k] + "    jmp end\n";
  }
  return text + "case" + std::to_string(bodies.size()) + ":\n    pop\n" + fallback + "end:\n";
}

std::string switch_loop_body() {
  return switch_body({"    push.i 1\n    set+.i.pop _1\n", "    push.i 3\n    set+.i.pop _1\n",
                      "    load.i _0\n    set+.i.pop _1\n", "    push.i 1\n    set-.i.pop _1\n",
                      "    push.i 5\n    set+.i.pop _1\n", "    push.i 7\n    set+.i.pop _1\n"},
                     "    push.i 2\n    set+.i.pop _1\n", "    load.i _0\n    push.i 7\n    band.i\n");
}

// s = f(s, i, 3), f(a, b, c) = g(a, b, c, 1) & 0xFFFF, g(a, b, c, d) = a + b - c + d. The first
// argument is pushed last.
const char* NESTED_BODY = R"(
    push.i 3
    load.i _0
    load.i _1
    call f 3
    set.i.pop _1
)";
const char* NESTED_FUNCTIONS = R"(
.func f
    params int int int
    push.i 1
    load.i _p3
    load.i _p2
    load.i _p1
    call g 4
    push.i 65535
    band.i
    ret
.func g
    params int int int int
    load.i _p1
    load.i _p2
    add.i
    load.i _p3
    sub.i
    load.i _p4
    add.i
    ret
)";

std::string mixed_body() {
  return R"(
    line 3
    load.i _0
    push.i 7
    band.i
    set+.i.pop @score@GAME
    line 4
    push.i 1
    set+.i.pop %step
    line 5
    load.i %step
    load.i _0
    push.i 63
    band.i
    aset.i.pop @tbl@GAME 1
    line 6
)" + switch_body({"    line 7\n    push.i 1\n    set+.i.pop _1\n",
                  "    line 8\n    load.i _0\n    push.i 63\n    band.i\n    aload.i @tbl@GAME 1\n    set+.i.pop _1\n",
                  "    line 9\n    push.i 1\n    set-.i.pop _1\n"},
                 "    line 10\n    push.i 2\n    set+.i.pop _1\n", "    load.i _0\n    push.i 3\n    band.i\n") +
         R"(
    line 11
    load.s %name
    push.s "01"
    eq.s
    jf named
    line 12
    push.i 1
    set+.i.pop _1
named:
    line 13
    push.i 2
    load.i _0
    push.i 15
    band.i
    load.i _1
    call add3 3
    set.i.pop _1
    line 14
)";
}
const char* MIXED_FUNCTIONS = R"(
.func add3
    params int int int
    load.i _p1
    load.i _p2
    add.i
    load.i _p3
    add.i
    push.i 65535
    band.i
    ret
)";

const char* LUA_LOOPS = R"(
th = {}   -- the thread's variables
prefix = "ev"
tbl = {}
grid = {}
for y = 1, 8 do
  grid[y] = {}
  for x = 1, 8 do grid[y][x] = y * 8 + x end
end
for k = 1, 64 do tbl[k] = 0 end
for k = 1, 300 do _ENV["g" .. k] = k end

function int_loop(n)
  local i, s = 0, 0
  while i < n do s = s + i; i = i + 1 end
  return s
end
function global_loop(n)
  i, s = 0, 0
  while i < n do s = s + i; i = i + 1 end
  return s
end
function thread_loop(n)
  th.i, th.s = 0, 0
  while th.i < n do th.s = th.s + th.i; th.i = th.i + 1 end
  return th.s
end
local function add(a, b) return a + b end
function call_loop(n)
  local i, s = 0, 0
  while i < n do s = add(s, i); i = i + 1 end
  return s
end
function groups_loop(n)
  local i, s = 0, 0
  score, th.step = 0, 0
  while i < n do
    score = score + i
    th.step = th.step + 1
    flags = score & th.step
    s = s + flags
    i = i + 1
  end
  return s
end
function strings_loop(n)
  local i, s = 0, 0
  th.name = "01"
  while i < n do
    th.file = prefix .. th.name
    if th.file == "ev01" then s = s + 1 end
    if th.file < "f" then s = s + 2 end
    i = i + 1
  end
  return s
end
function arrays_loop(n)
  local i, s = 0, 0
  while i < n do
    local j = i & 63
    tbl[j + 1] = i
    s = s + tbl[j + 1]
    s = s + grid[(j >> 3) + 1][(j & 7) + 1]
    i = i + 1
  end
  return s
end
function switch_loop(n)
  local i, s = 0, 0
  while i < n do
    local k = i & 7
    if k == 0 then s = s + 1
    elseif k == 1 then s = s + 3
    elseif k == 2 then s = s + i
    elseif k == 3 then s = s - 1
    elseif k == 4 then s = s + 5
    elseif k == 5 then s = s + 7
    else s = s + 2 end
    i = i + 1
  end
  return s
end
local function g(a, b, c, d) return a + b - c + d end
local function f(a, b, c) return g(a, b, c, 1) & 0xFFFF end
function nested_loop(n)
  local i, s = 0, 0
  while i < n do s = f(s, i, 3); i = i + 1 end
  return s
end
local function add3(a, b, c) return (a + b + c) & 0xFFFF end
function mixed_loop(n)
  local i, s = 0, 0
  score, th.step = 0, 0
  th.name = "01"
  while i < n do
    score = score + (i & 7)
    th.step = th.step + 1
    tbl[(i & 63) + 1] = th.step
    local k = i & 3
    if k == 0 then s = s + 1
    elseif k == 1 then s = s + tbl[(i & 63) + 1]
    elseif k == 2 then s = s - 1
    else s = s + 2 end
    if th.name == "01" then s = s + 1 end
    s = add3(s, i & 15, 2)
    i = i + 1
  end
  return s
end
)";

struct bench_loop {
  const char* name;
  std::string source;  // $N stands for the turns
  const char* lua;     // the Lua function doing the same work
  int turns;
};

std::vector<bench_loop> loops() {
  std::string counted = "    push.i 0\n    set.i.pop @score@GAME\n    push.i 0\n    set.i.pop %step\n";
  std::string named = "    push.s \"01\"\n    set.s.pop %name\n";
  return {
      {"int", vm_loop_source(step_of(INT_STEP, "_0", "_1").c_str(), "_0", "_1", false), "int_loop", 1000000},
      {"call", vm_loop_source(step_of(CALL_STEP, "_0", "_1").c_str(), "_0", "_1", false), "call_loop", 1000000},
      {"line", vm_loop_source(step_of(INT_STEP, "_0", "_1").c_str(), "_0", "_1", true), "int_loop", 1000000},
      {"global", vm_loop_source(step_of(INT_STEP, "@i", "@s").c_str(), "@i", "@s", false), "global_loop", 1000000},
      {"thread", vm_loop_source(step_of(INT_STEP, "%i", "%s").c_str(), "%i", "%s", false), "thread_loop", 1000000},
      {"cross", vm_loop_source(step_of(CALL_STEP, "_0", "_1").c_str(), "_0", "_1", false, false), "call_loop",
       1000000},
      {"compound", loop_around("int int", "", COMPOUND_BODY), "int_loop", 1000000},
      {"groups", loop_around("int int", counted, GROUPS_BODY), "groups_loop", 1000000},
      {"strings", loop_around("int int", named, STRINGS_BODY), "strings_loop", 300000},
      {"arrays", loop_around("int int int", "", ARRAYS_BODY), "arrays_loop", 1000000},
      {"switch", loop_around("int int", "", switch_loop_body()), "switch_loop", 1000000},
      {"nested", loop_around("int int", "", NESTED_BODY) + NESTED_FUNCTIONS, "nested_loop", 1000000},
      {"mixed", loop_around("int int", counted + named, mixed_body(), 16) + MIXED_FUNCTIONS, "mixed_loop", 300000},
  };
}

void object_write(const std::string& folder, const std::string& name, std::string source, int turns) {
  for (size_t at; (at = source.find("$N")) != std::string::npos;) source.replace(at, 2, std::to_string(turns));
  vko_builder b;
  std::string error;
  if (!vko_assemble_text(source, b, error)) {
    fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
    abort();
  }
  b.write(folder + "/" + name + ".vko");
}

void global_set(const char* name, value_cell c) {
  c.hash = crc32_string(name);
  c.scope = SCOPE_GLOBAL;
  var_assign(&c, nullptr);
}

// A game folder holding the loops, the object that the cross-object loop calls into and the
// objects loaded besides them; the globals a game holds.
std::string game_folder(const std::vector<bench_loop>& all) {
  std::string path = (std::filesystem::temp_directory_path() / "vaskbench-interpreter").string();
  std::filesystem::create_directories(path);
  for (const bench_loop& l : all) object_write(path, l.name, l.source, l.turns);
  object_write(path, "adder", ".func add\n    params int int\n    load.i _p1\n    load.i _p2\n    add.i\n    ret\n", 0);
  data_base_folder_set(path.c_str());
  // Loaded first, so that any walk of the object list passes the other 50 before finding them.
  for (const bench_loop& l : all) object_load(l.name);
  object_load("adder");
  for (int k = 0; k < LOADED_OBJECTS; ++k) {
    std::string name = "filler" + std::to_string(k);
    object_write(path, name, ".func f" + std::to_string(k) + "\n    ret\n", 0);
    object_load(name.c_str());
  }
  var_table_init(&var_global, 256);
  for (int k = 0; k < OTHER_GLOBALS; ++k) global_set(("@g" + std::to_string(k) + "@GAME").c_str(), int_cell(k));
  global_set("@prefix@GAME", string_cell(string_block_new("ev")));
  global_set("@tbl@GAME", array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 64)));
  array_block* grid = array_block_new(TYPE_INT_ARRAY, 1, 8, 8);
  for (int k = 0; k < 64; ++k) array_numbers(grid)[k].i = k + 9;
  global_set("@grid@GAME", array_cell(grid));
  return path;
}

// <chrono> does not build with the engine's execution character set.
double seconds_now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int32_t vm_result, lua_result;  // the last run's, in 32 bits

double vm_run(const bench_loop& l) {
  double start = seconds_now();
  thread_switch(thread_create(0));
  object_entry_set(l.name);
  interpreter_run();
  double s = seconds_now() - start;
  value_cell* r = var_find_global(crc32_string("@result@GLOBAL"));
  vm_result = r ? r->i : 0;
  return s;
}

double lua_run(lua_State* L, const bench_loop& l) {
  double start = seconds_now();
  lua_getglobal(L, l.lua);
  lua_pushinteger(L, l.turns);
  lua_call(L, 1, 1);
  double s = seconds_now() - start;
  lua_result = static_cast<int32_t>(static_cast<uint32_t>(lua_tointeger(L, -1)));
  lua_pop(L, 1);
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 15;
  std::string only;  // names of the loops to run, or all
  for (int k = 1; k < argc; ++k)
    if (strncmp(argv[k], "--rounds=", 9) == 0)
      rounds = std::max(1, atoi(argv[k] + 9));
    else if (strncmp(argv[k], "--loops=", 8) == 0)
      only = std::string(",") + (argv[k] + 8) + ",";
  std::vector<bench_loop> all = loops();
  // The line mark and global access figures need the int loop beside theirs.
  if (!only.empty())
    std::erase_if(all, [&](const bench_loop& l) {
      return only.find(std::string(",") + l.name + ",") == std::string::npos && strcmp(l.name, "int") != 0;
    });
  std::string folder = game_folder(all);
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, LUA_LOOPS) != LUA_OK) {
    fprintf(stderr, "%s\n", lua_tostring(L, -1));
    return 1;
  }
  // One run of each first: the interpreter decodes its code and both warm their caches. The two
  // must come to the same result, or they are not doing the same work.
  bool same = true;
  for (const bench_loop& l : all) {
    vm_run(l), lua_run(L, l);
    if (vm_result != lua_result) {
      fprintf(stderr, "%s: the interpreter gives %d, Lua %d\n", l.name, vm_result, lua_result);
      same = false;
    }
  }
  std::vector<std::vector<double>> vm(all.size()), lua(all.size());
  for (int r = 0; r < rounds; ++r)
    for (size_t k = 0; k < all.size(); ++k) {
      // Which goes first alternates, so that neither always meets the other's leftovers.
      if (r % 2) lua[k].push_back(lua_run(L, all[k]));
      vm[k].push_back(vm_run(all[k]));
      if (r % 2 == 0) lua[k].push_back(lua_run(L, all[k]));
    }

  printf("%-10s %8s %12s %12s %10s %18s\n", "loop", "turns", "ns/turn", "Lua ns/turn", "x Lua", "x Lua range");
  for (size_t k = 0; k < all.size(); ++k) {
    std::vector<double> ratio;
    for (int r = 0; r < rounds; ++r) ratio.push_back(vm[k][r] / lua[k][r]);
    double per_turn = 1e9 / all[k].turns;
    printf("%-10s %8d %12.2f %12.2f %10.2f %8.2f - %-8.2f\n", all[k].name, all[k].turns, median(vm[k]) * per_turn,
           median(lua[k]) * per_turn, median(ratio), *std::min_element(ratio.begin(), ratio.end()),
           *std::max_element(ratio.begin(), ratio.end()));
  }
  // What a line mark and a global access add to a turn, from the int loop of the same round: the
  // line loop has 3 marks a turn, the global loop 6 accesses where the int loop has locals.
  auto index = [&](const char* name) {
    for (size_t k = 0; k < all.size(); ++k)
      if (strcmp(all[k].name, name) == 0) return static_cast<int>(k);
    return -1;
  };
  int plain = index("int"), lines = index("line"), globals = index("global");
  std::vector<double> line_mark, global_access;
  for (int r = 0; r < rounds && lines >= 0 && globals >= 0; ++r) {
    line_mark.push_back((vm[lines][r] - vm[plain][r]) * 1e9 / all[plain].turns / 3);
    global_access.push_back((vm[globals][r] - vm[plain][r]) * 1e9 / all[plain].turns / 6);
  }
  if (!line_mark.empty())
    printf("\nline mark: %.2f ns, global access over a local: %.2f ns (medians of the rounds)\n", median(line_mark),
           median(global_access));
  printf("x Lua: the interpreter's time over Lua 5.4's for the same work in the same round (below 1 = faster);\n"
         "median and range over %d rounds. Lua has no line marks: the line loop is held against its int loop.\n",
         rounds);
  lua_close(L);
  threads_destroy_all();
  ReleaseVaskel();
  var_tables_free();
  std::filesystem::remove_all(folder);
  return same ? 0 : 1;
}
