// The page built-ins called through the dispatcher (shared by the page and drawing tests).
#pragma once

#include <cstring>

#include "images_fixture.h"
#include "platform/platform.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"

// The built-ins through the dispatcher, by name: arguments pushed first-on-top, the call
// instruction run, exactly one int result left; the reports are read from the boxes (each one
// answered Retry unless the test queues its own answers).
class PageBuiltins : public images_test {
 protected:
  void SetUp() override {
    images_test::SetUp();
    script_error_reset();
  }
  static value_cell I(int32_t v) { return int_cell(v); }
  static value_cell S(const char* text) { return string_cell(string_block_new(text)); }

  static uint32_t hash_of(const char* name) {
    const builtin_entry* e = builtin_named(name);
    return e ? e->hash : 0;
  }

  int32_t call(const char* name, std::vector<value_cell> args, bool answer_retry = true) {
    int32_t before = vm_frame->top;
    for (auto it = args.rbegin(); it != args.rend(); ++it) stack_push_value(&*it);
    size_t boxes = platform.boxes.size();
    if (answer_retry)
      for (int i = 0; i < 4; i++) platform.answer_boxes({IDRETRY});
    builtin_instruction_run(instruction, hash_of(name), static_cast<int16_t>(args.size()));
    if (answer_retry) platform.queued_answers.clear();
    EXPECT_EQ(vm_frame->top, before + 1) << "the arguments replaced by one result";
    EXPECT_EQ(stack_top()->type, TYPE_INT);
    int32_t result = stack_top()->i;
    while (vm_frame->top > before) stack_pop();
    reports.assign(platform.boxes.begin() + boxes, platform.boxes.end());
    return result;
  }
  // The one report of the last call ends with the text (the reporter may put the script's
  // position in front).
  bool reported(const std::string& text) const {
    return reports.size() == 1 && reports[0].text.size() >= text.size() &&
           reports[0].text.compare(reports[0].text.size() - text.size(), text.size(), text) == 0;
  }
  std::string report_list() const {
    std::string all;
    for (const auto& r : reports) all += "[" + r.text + "]";
    return all;
  }
  static page* P(int32_t id) { return page_from_id(static_cast<uint32_t>(id)); }

  std::vector<headless_platform::shown_box> reports;
  uint8_t instruction[8];
};
