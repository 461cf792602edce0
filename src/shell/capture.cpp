#include "shell/capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/env.h"
#include "base/gamepath.h"
#include "base/registry.h"
#include "base/system.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "shell/ime.h"
#include "shell/input.h"
#include "shell/message_box.h"
#include "shell/window_core.h"
#include "vm/script_error.h"

namespace {
constexpr size_t CAPTURE_NAME_SIZE = 260;
constexpr size_t CAPTURE_FOLDER_SIZE = 260;  // 259 characters and the end

struct capture_state {
  std::string base_name;  // CAPTURE_NAME, read once
  bool base_name_read = false;
};
capture_state capture;

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF, b[at + 1] = v >> 8 & 0xFF;
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

// The process's folder as an engine path.
std::string current_folder() {
  char host[4096];
  return getcwd(host, sizeof host) ? engine_path_from_host(host) : std::string(".");
}

const char* capture_base_name() {
  if (!capture.base_name_read) {
    char name[CAPTURE_NAME_SIZE];
    capture.base_name = env_get_string("CAPTURE_NAME", name, sizeof name, "Capture_");
    capture.base_name_read = true;
  }
  return capture.base_name.c_str();
}

}  // namespace

std::string file_dialog_ask(const file_dialog_spec& spec) {
  // The proposed name comes from the game: only its file name is offered, never a way out of the
  // folder the user sees.
  file_dialog_spec asked = spec;
  asked.file_name = game_path_file_name(spec.file_name);
  ime_enable();
  call_box_hook();
  std::string path;
  int result = plat().file_dialog(main_window_get(), asked, path);
  if (result == FILE_DIALOG_OK && path.size() >= CAPTURE_PATH_LIMIT) {
    error_box_fatal("ファイル名が長すぎます");
    path.clear();
  } else if (result == FILE_DIALOG_ERROR) {
    error_box_fatal("エラーです");
  }
  if (result != FILE_DIALOG_OK) path.clear();
  ime_disable();
  input_init();
  return path;
}

void capture_reset() { capture = capture_state{}; }

std::string capture_file_name(const char* base, const std::tm& when) {
  char name[CAPTURE_NAME_SIZE + 64];
  snprintf(name, sizeof name, "%s(%02d年%02d月%02d日 %02d時%02d分%02d秒).bmp", base, when.tm_year % 100,
           when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
  return name;
}

// The original wrote rows of 3 x width bytes, which readers take for a skewed picture at widths
// that are not multiples of 4; rows are padded here, so the file is the same wherever no padding
// is needed. The two zero bytes after the pixels stay, as the file size has always counted them.
std::vector<uint8_t> bmp_encode(const uint8_t* bits, int stride, int x, int y, int width, int height) {
  size_t row = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  size_t pixels = row * height;
  std::vector<uint8_t> b(54 + pixels + 2, 0);
  b[0] = 'B', b[1] = 'M';
  put32(b, 2, static_cast<uint32_t>(pixels + 56));
  put32(b, 10, 54);
  put32(b, 14, 40);
  put32(b, 18, static_cast<uint32_t>(width));
  put32(b, 22, static_cast<uint32_t>(height));  // positive: bottom row first
  put16(b, 26, 1);
  put16(b, 28, 24);
  put32(b, 34, static_cast<uint32_t>(pixels));
  for (int j = 0; j < height; j++)
    memcpy(&b[54 + row * (height - 1 - j)], bits + static_cast<ptrdiff_t>(y + j) * stride + x * 3,
           static_cast<size_t>(width) * 3);
  return b;
}

int write_frontbuffer_bmp(const char* path) {
  page* front = front_page_get();
  if (!front || front->is_8bit) return 1;
  page_rect r;
  view_visible_rect(&r);
  // Only what lies on the page.
  if (r.x < 0) r.width += r.x, r.x = 0;
  if (r.y < 0) r.height += r.y, r.y = 0;
  if (r.x + r.width > front->width) r.width = front->width - r.x;
  if (r.y + r.height > front->height) r.height = front->height - r.y;
  if (r.width <= 0 || r.height <= 0) return 1;
  std::vector<uint8_t> file = bmp_encode(front->bits, front->stride, r.x, r.y, r.width, r.height);
  return atomic_file_write(path, file.data(), file.size()) ? 0 : 1;
}

int capture_screen() {
  char folder[CAPTURE_FOLDER_SIZE];
  std::string fallback = current_folder() + "\\savedata";
  reg_get_string(reg_global_name(), reg_local_name(), "CapFolder", fallback.c_str(), folder, sizeof folder);
  page* front = front_page_get();
  if (!front || front->is_8bit) return -1;
  time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const char* base = error_report_mode_get() == 1 ? capture_base_name() : main_window_title();
  file_dialog_spec spec;
  spec.save = true;
  spec.title = "画面の保存(キャプチャ)";
  spec.filter_name = "BMP Files (*.BMP)";
  spec.filter_pattern = "*.BMP";
  spec.default_extension = "bmp";
  spec.folder = folder;
  spec.file_name = capture_file_name(base, local);
  std::string path = file_dialog_ask(spec);
  if (path.empty() || write_frontbuffer_bmp(path.c_str()) != 0) return -1;
  // The chosen file's folder is the next capture's.
  const char* slash = cp932_strrchr(path.c_str(), '\\');
  if (slash) {
    std::string chosen(path.c_str(), slash);
    chosen.resize(cp932_cut_length(chosen, CAPTURE_FOLDER_SIZE - 1));
    reg_set_string(reg_global_name(), reg_local_name(), "CapFolder", chosen.c_str());
  }
  return 0;
}

std::string text_save_dialog(const char* default_name) {
  file_dialog_spec spec;
  spec.save = true;
  spec.title = "テキストの保存";
  spec.filter_name = "TXT Files (*.TXT)";
  spec.filter_pattern = "*.TXT";
  spec.default_extension = "txt";
  char desktop[SPECIAL_FOLDER_PATH_SIZE];
  spec.folder = get_special_folder_path(main_window_get(), 16, desktop) ? std::string(desktop) : current_folder();
  spec.file_name = default_name ? default_name : "";
  return file_dialog_ask(spec);
}
