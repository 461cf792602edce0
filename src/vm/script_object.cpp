#include "vm/script_object.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "base/memory.h"
#include "shell/input.h"
#include "shell/message_box.h"
#include "shell/mouse.h"
#include "vm/decode.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"
#include "vm/skip.h"

const char OBJECT_MAGIC_PLAIN[OBJECT_MAGIC_SIZE] = "VaskelObjV1.000";
const char OBJECT_MAGIC_SCRAMBLED[OBJECT_MAGIC_SIZE] = "VaskelObjX1.000";

struct resolved_call {
  uint32_t hash;
  uint8_t* address;  // null once the code it pointed into was replaced
};

static struct {
  script_object* head = nullptr;
  std::vector<resolved_call> calls;                            // call caches hold index + 1
  std::map<std::pair<uint8_t*, uint32_t>, uint32_t> call_index;  // (address, hash) -> index + 1
} objects;

static uint32_t read_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// ---------------------------------------------------------------------------------------------
// Parsing

bool object_parse(const unsigned char* data, size_t size, object_image* out) {
  *out = object_image{};
  if (size < OBJECT_HEADER_SIZE + 4) return false;
  bool scrambled = memcmp(data, OBJECT_MAGIC_SCRAMBLED, OBJECT_MAGIC_SIZE) == 0;
  if (!scrambled && memcmp(data, OBJECT_MAGIC_PLAIN, OBJECT_MAGIC_SIZE) != 0) return false;
  uint32_t entry = read_u32(data + 16);
  uint32_t lines = read_u32(data + 20);
  uint32_t count = read_u32(data + 24);
  if (lines > static_cast<uint32_t>(READMARK_MAX_LINES)) return false;
  if (count > (size - OBJECT_HEADER_SIZE - 4) / 8) return false;
  size_t table_end = OBJECT_HEADER_SIZE + 8 * static_cast<size_t>(count);
  uint32_t code_size = read_u32(data + table_end);
  if (code_size > size - table_end - 4) return false;
  if (entry != OBJECT_NO_ENTRY && entry >= code_size) return false;
  for (uint32_t i = 0; i < count; ++i)
    if (read_u32(data + OBJECT_HEADER_SIZE + 8 * i + 4) >= code_size) return false;

  out->entry_offset = entry;
  out->line_count = lines;
  out->function_count = count;
  out->code_size = code_size;
  out->functions = static_cast<function_entry*>(mem_alloc(sizeof(function_entry) * count));
  for (uint32_t i = 0; i < count; ++i) {
    out->functions[i].hash = read_u32(data + OBJECT_HEADER_SIZE + 8 * i);
    out->functions[i].offset = read_u32(data + OBJECT_HEADER_SIZE + 8 * i + 4);
  }
  out->code = static_cast<uint8_t*>(mem_alloc(code_size + CODE_GUARD_SIZE));
  memcpy(out->code, data + table_end + 4, code_size);
  if (scrambled) xor_crc_table(out->code, code_size);
  for (size_t i = 0; i < CODE_GUARD_SIZE; i += 2) {
    out->code[code_size + i] = OP_RETURN & 0xFF;
    out->code[code_size + i + 1] = OP_RETURN >> 8;
  }
  return true;
}

void object_image_free(object_image* image) {
  free(image->functions);
  free(image->code);
  *image = object_image{};
}

// ---------------------------------------------------------------------------------------------
// Loading

bool object_name_make(const char* name, char out[OBJECT_NAME_SIZE]) {
  const char* base = name;
  for (const char* p = name; *p; p += cp932_char_len(p))
    if (*p == '\\' || *p == '/') base = p + 1;
  const char* dot = nullptr;
  for (const char* p = base; *p; p += cp932_char_len(p))
    if (*p == '.') dot = p;
  std::string file(base, dot ? static_cast<size_t>(dot - base) : strlen(base));
  file = cp932_upper(file + ".vko");
  cp932_copy(out, OBJECT_NAME_SIZE, file);
  return file.size() < OBJECT_NAME_SIZE;
}

static script_object* object_find(const char* file_name) {
  for (script_object* o = objects.head; o; o = o->next)
    if (cp932_icmp(o->name, file_name) == 0) return o;
  return nullptr;
}

// The whole file, bounded by its size in the game data.
static bool object_read(const char* file_name, std::vector<unsigned char>& bytes) {
  uint32_t size = data_file_size(file_name);
  FILE* f = data_file_open(file_name, "rb");
  if (!f) return false;
  bytes.resize(size);
  size_t got = size ? fread(bytes.data(), 1, size, f) : 0;
  fclose(f);
  return got == size;
}

static void scenario_sources_add() {
  data_source_add("scenario", 0);
  for (int i = 9; i >= 1; --i) {
    std::string mount = "scenario" + std::to_string(i);
    data_source_add(mount.c_str(), 0);
  }
}

uint32_t resolved_call_epoch = 1;

// Calls cached into a block that is going away resolve again on their next use.
static void resolved_calls_forget(const uint8_t* code, uint32_t size) {
  resolved_call_epoch++;
  for (auto& call : objects.calls)
    if (call.address && call.address >= code && call.address < code + size) {
      objects.call_index.erase({call.address, call.hash});
      call.address = nullptr;
    }
}

script_object* object_load(const char* name) {
  char file_name[OBJECT_NAME_SIZE];
  if (!object_name_make(name, file_name))
    script_error("ファイル名[%s]が長すぎます%d文字以内にしてください。", name, static_cast<int>(OBJECT_NAME_SIZE - 1));
  script_object* obj = object_find(file_name);
  if (obj && data_file_time(file_name) == obj->stamp) return obj;

  object_image image;
  uint64_t stamp;
  file_failure_scope report_scope;
  for (;;) {
    if (!data_file_exists(file_name)) scenario_sources_add();
    stamp = data_file_time(file_name);
    std::vector<unsigned char> bytes;
    if (object_read(file_name, bytes) && object_parse(bytes.data(), bytes.size(), &image)) break;
    error_box_retry("VaskelObj : ファイル [%s] の読み込みで失敗しました", name);
  }

  if (obj) {
    resolved_calls_forget(obj->code, obj->code_size);
    auto* old = static_cast<retired_code*>(mem_alloc(sizeof(retired_code)));
    *old = retired_code{obj->code, obj->code_size, obj->retired};
    obj->retired = old;
    free(obj->functions);
  } else {
    obj = static_cast<script_object*>(mem_alloc(sizeof(script_object)));
    memset(obj, 0, sizeof *obj);
    obj->next = objects.head;
    objects.head = obj;
  }
  memcpy(obj->name, file_name, sizeof obj->name);
  obj->stamp = stamp;
  obj->name_hash = crc32_string(obj->name);
  obj->function_count = image.function_count;
  obj->code_size = image.code_size;
  obj->entry_offset = image.entry_offset;
  obj->line_count = image.line_count;
  obj->functions = image.functions;
  obj->code = image.code;
  obj->readmarks = readmark_attach(obj->name, static_cast<int32_t>(obj->line_count));
  return obj;
}

void object_entry_set(const char* name) {
  script_object* obj = object_load(name);
  if (!vm_thread) return;
  thread_reset(vm_thread);
  if (obj->entry_offset == OBJECT_NO_ENTRY) {
    // Nothing to run: the frame returns at once and the thread ends.
    script_error("[%s]実行関数が設定されていません。", name);
    vm_frame->code = nullptr;
    return;
  }
  vm_frame->code = obj->code + obj->entry_offset;
}

// ---------------------------------------------------------------------------------------------
// Lookups

script_object* object_list_head() { return objects.head; }

// The object whose current or retired code block holds the address, with that block.
static script_object* block_holding(const uint8_t* address, const uint8_t** code, uint32_t* size) {
  if (!address) return nullptr;
  auto holds = [address](const uint8_t* block, uint32_t bytes) { return address >= block && address < block + bytes; };
  for (script_object* o = objects.head; o; o = o->next)
    if (holds(o->code, o->code_size)) {
      *code = o->code, *size = o->code_size;
      return o;
    }
  for (script_object* o = objects.head; o; o = o->next)
    for (retired_code* r = o->retired; r; r = r->next)
      if (holds(r->code, r->size)) {
        *code = r->code, *size = r->size;
        return o;
      }
  return nullptr;
}

code_block_range code_block_last[CODE_BLOCK_CACHE] = {};

bool code_block_lookup(const uint8_t* address) {
  auto a = reinterpret_cast<uintptr_t>(address);
  int k = 0;
  while (k < CODE_BLOCK_CACHE && !(a >= code_block_last[k].lo && a < code_block_last[k].hi)) ++k;
  code_block_range found;
  if (k < CODE_BLOCK_CACHE) {
    found = code_block_last[k];
  } else {
    const uint8_t* code;
    uint32_t size;
    script_object* o = block_holding(address, &code, &size);
    if (!o) return false;  // the remembered blocks stay: they still hold what they held
    found = {reinterpret_cast<uintptr_t>(code), reinterpret_cast<uintptr_t>(code + size), o};
    k = CODE_BLOCK_CACHE - 1;
  }
  for (; k > 0; --k) code_block_last[k] = code_block_last[k - 1];
  code_block_last[0] = found;
  return true;
}

script_object* object_find_by_address(const uint8_t* address) {
  return address && code_block_lookup(address) ? code_block_last[0].object : nullptr;
}

script_object* object_current() { return vm_frame ? object_find_by_address(vm_frame->code) : nullptr; }

uint8_t* object_function(script_object* o, uint32_t hash) {
  for (uint32_t i = 0; i < o->function_count; ++i)
    if (o->functions[i].hash == hash) return o->code + o->functions[i].offset;
  return nullptr;
}

uint8_t* function_find(uint32_t hash) {
  for (;;) {
    script_object* current = object_current();
    if (current)
      if (uint8_t* address = object_function(current, hash)) return address;
    for (script_object* o = objects.head; o; o = o->next)
      if (uint8_t* address = object_function(o, hash)) return address;
    error_report_mode_set(0);  // this report is never silenced
    script_error(
        "関数 [%08X] がメモリ上に発見できませんでした。\n関数が存在する場合には、$load_libraryを忘れていませんか？\n"
        "グループ指定(@～～)は正しく行われていますか？",
        hash);
  }
}

uint8_t* call_resolve(uint32_t hash, uint8_t* cache_operand) {
  uint32_t index;
  memcpy(&index, cache_operand, 4);
  if (index >= 1 && index <= objects.calls.size()) {
    const resolved_call& call = objects.calls[index - 1];
    if (call.hash == hash && call.address) return call.address;
  }
  uint8_t* address = function_find(hash);
  auto [it, added] = objects.call_index.try_emplace({address, hash}, static_cast<uint32_t>(objects.calls.size() + 1));
  if (added) objects.calls.push_back({hash, address});
  index = it->second;
  memcpy(cache_operand, &index, 4);
  return address;
}

readmark_set* frame_readmarks(call_frame* f) {
  if (!f->mark_looked_up) {
    f->mark_object = object_find_by_address(f->code);
    f->mark_looked_up = 1;
  }
  return f->mark_object ? f->mark_object->readmarks : nullptr;
}

void object_readmarks_forget(const readmark_set* s) {
  for (script_object* o = objects.head; o; o = o->next)
    if (o->readmarks == s) o->readmarks = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Shut-down and resets

void ReleaseVaskel() {
  // Frames must not keep pointing at records that are going away.
  for (script_thread* t = thread_list_head(); t; t = t->next)
    for (call_frame& f : t->frames) f.mark_object = nullptr, f.mark_looked_up = 0, f.resume = nullptr;
  while (script_object* o = objects.head) {
    objects.head = o->next;
    while (retired_code* r = o->retired) {
      o->retired = r->next;
      free(r->code);
      free(r);
    }
    free(o->functions);
    free(o->code);
    free(o);
  }
  objects.calls.clear();
  objects.call_index.clear();
  resolved_call_epoch++;
  for (code_block_range& r : code_block_last) r = {};
  decode_reset();  // the records of the blocks just freed
}

void ForExec() {
  vm_clock_reset();
  catch_up_clear();
  skip_suppress_clear();
  input_unblock();
  cursor_restore();
  read_filter_clear();
}
