// A VM with one current thread, for the tests of this folder.
#pragma once

#include "test_support.h"
#include "vm/readmark.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

class vm_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    thread_id_source_set([] { return 7; });
    thread_switch(thread_create(0));
  }
  void TearDown() override {
    threads_destroy_all();
    var_tables_free();
    ReleaseVaskel();
    readmark_reset();
    thread_switch(nullptr);
    engine_test::TearDown();
  }
};
