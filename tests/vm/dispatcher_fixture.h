// A VM with one current thread, the clock at its origin and clean skip and run state, plus a call
// instruction to hand to the dispatcher, for the dispatcher and script-error tests.
#pragma once

#include <cstring>
#include <string>

#include "base/datasource.h"
#include "shell/devtools.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm_fixture.h"

class dispatcher_test : public vm_test {
 protected:
  void SetUp() override {
    vm_test::SetUp();
    clean();
    data_base_folder_set(game.path().c_str());
    // Reports are answered with Retry, so that the script goes on; a test that wants Cancel
    // empties the queue.
    for (int i = 0; i < 16; ++i) platform.queued_answers.push_back(IDRETRY);
  }
  void TearDown() override {
    clean();
    data_sources_clear();
    vm_test::TearDown();
  }
  void clean() {
    script_error_reset();
    vm_clock_reset();
    vm_time_update();
    skip_reset();
    skip_suppress_clear();
    run_state_set(RUN_GO);
    catch_up_clear();
    devtools_reset();
  }

  // Runs the instruction 0x834/0x835 <hash> <count> on the current frame. True when the built-in
  // waits (the code pointer is back on the instruction).
  bool call(uint32_t hash, int16_t count, int drop = 0) { return builtin_instruction_run(instruction, hash, count, drop); }
  // Moves the clock on and starts a pass.
  void pass(uint32_t ms) {
    platform.advance(ms);
    vm_time_update();
  }
  int32_t top() const { return vm_frame->top; }
  value_cell& cell(int32_t index) const { return vm_thread->stack[index]; }
  std::string box_text(size_t i) const { return i < platform.boxes.size() ? platform.boxes[i].text : "(no box)"; }

  uint8_t instruction[8];
  temp_dir game;
};

// Hashes of the built-ins the tests call.
enum : uint32_t {
  H_TIME_WAIT = 0xCF35F0E3,
  H_TIME_WAIT_UNTIL = 0xFF75CD29,
  H_INPUT_WAIT = 0x008ACBC0,
  H_INPUT_RELEASE_WAIT = 0x1204D7E8,
  H_FRAME_WAIT = 0x4662E95D,
  H_THREAD_TERMINATE = 0x4EF903F3,
  H_SKIP_STATE_GET = 0xA62AA5EB,
  H_VM_SPEED_SET = 0x806261CE,
  H_THREAD_EXISTS = 0x9FB53FBE,
  H_THREADS_END_ALL = 0x3704C919,
  H_SKIP_FORCE_ON = 0xC102BCC3,
  H_SKIP_FORCE_END = 0xF3D276F1,
  H_SKIP_FLAGS_SET = 0xBC42CA9A,
  H_SKIP_FLAGS_GET = 0x3C84073C,
  H_SKIP_SUPPRESS_PUSH = 0x81CE0485,
  H_MENU_LOCK_A_SET = 0x8FE5D6E7,
  H_MENU_LOCK_A_CLEAR = 0x45ACD4A7,
  H_SKIP_ALL_ON = 0x4B306C5C,
  H_SYSTEM_END = 0x8D8FB32E,
  H_READMARK_EXISTS = 0xDD2056F6,
  H_BACKLOG_REPLAY = 0x59180BBB,
};
