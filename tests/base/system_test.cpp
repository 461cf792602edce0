#include <gtest/gtest.h>
#include <sys/sysinfo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "base/memory.h"
#include "base/system.h"
#include "test_support.h"

using MemoryAndServices = engine_test;

TEST_F(MemoryAndServices, ZeroByteBlockIsUsable) {
  char* p = static_cast<char*>(mem_alloc(0));
  ASSERT_NE(p, nullptr);
  memset(p, 0xAB, 32);  // the padding is there
  p = static_cast<char*>(mem_resize(p, 100));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<unsigned char>(p[31]), 0xAB);
  free(p);
}

TEST_F(MemoryAndServices, ExhaustedMemoryShowsTheBoxAndEndsTheProgram) {
  try {
    mem_alloc(SIZE_MAX - 8);
    FAIL() << "returned";
  } catch (const fatal_exit_called& e) {
    EXPECT_EQ(e.code, -1);
  }
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, "malloc");
  EXPECT_EQ(platform.boxes[0].text, "メモリ容量が不足しています。処理を中断します。");
  EXPECT_EQ(platform.boxes[0].style & MB_ICON_MASK, unsigned{MB_ICONERROR});
}

TEST(MemoryDeath, ResizeTakesTheSameRoad) {
  EXPECT_EXIT(
      {
        static void* volatile block;  // still reachable when the exit runs
        block = mem_alloc(16);
        mem_resize(block, SIZE_MAX);
      },
      testing::ExitedWithCode(255), "realloc");
}

TEST(MemoryDeath, NewTakesTheSameRoad) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer's operator new never calls the new-handler";
#endif
  EXPECT_EXIT(
      {
        mem_new_handler_install();
        static char* volatile sink;
        volatile size_t huge = SIZE_MAX / 2;
        sink = new char[huge];
        (void)sink;
      },
      testing::ExitedWithCode(255), "malloc");
}

TEST_F(MemoryAndServices, ClipboardAppendRule) {
  // Without a preceding copy, add replaces.
  platform.clipboard_set_text("old");
  EXPECT_EQ(clipboard_add_text("error one"), 0);
  EXPECT_EQ(platform.clipboard, "error one");
  // Two error texts in a row: only the second stays.
  clipboard_add_text("error two");
  EXPECT_EQ(platform.clipboard, "error two");
  // The copy key followed by an error: both texts.
  clipboard_copy_text("script line 12\n");
  clipboard_add_text("error three");
  EXPECT_EQ(platform.clipboard, "script line 12\nerror three");
  // The flag was cleared by the add.
  clipboard_add_text("error four");
  EXPECT_EQ(platform.clipboard, "error four");
  // 4000 bytes and a 200-byte text do not fit together: the new text alone.
  clipboard_copy_text(std::string(4000, 'x').c_str());
  std::string error(200, 'e');
  clipboard_add_text(error.c_str());
  EXPECT_EQ(platform.clipboard, error);
}

TEST_F(MemoryAndServices, HostQueriesAnswerFromTheHost) {
  EXPECT_EQ(cpu_count(), get_nprocs());
  // Available memory: the real figure (not a 32-bit one collapsed to 1 MiB), within what the
  // kernel reports as free and as installed.
  struct sysinfo host;
  ASSERT_EQ(sysinfo(&host), 0);
  uint64_t available = free_physical_memory();
  EXPECT_GE(available, uint64_t{host.freeram} * host.mem_unit / 2);
  EXPECT_LE(available, uint64_t{host.totalram} * host.mem_unit);
  // Folders: existing ones, the id's flag bits ignored; an unknown id answers 0.
  for (int id : {0x28, 0x1A, 0x1C}) {
    char path[SPECIAL_FOLDER_PATH_SIZE], flagged[SPECIAL_FOLDER_PATH_SIZE];
    ASSERT_EQ(get_special_folder_path(nullptr, id, path), 1) << id;
    ASSERT_EQ(get_special_folder_path(nullptr, id | 0x8000, flagged), 1) << id;
    EXPECT_STREQ(path, flagged);
    EXPECT_TRUE(std::filesystem::is_directory(path)) << path;
  }
  char path[SPECIAL_FOLDER_PATH_SIZE];
  EXPECT_EQ(get_special_folder_path(nullptr, 0x7F, path), 0);
}

TEST_F(MemoryAndServices, OneMessageDialogAtATime) {
  EXPECT_EQ(message_dialog_close(), 1);
  EXPECT_EQ(message_dialog_show(nullptr, "NAMECACHE"), 0);
  EXPECT_TRUE(platform.dialog_open);
  EXPECT_EQ(message_dialog_show(nullptr, "NAMECACHE"), 0);  // replaces the open one
  EXPECT_EQ(platform.dialogs_shown.size(), 2u);
  EXPECT_EQ(message_dialog_close(), 0);
  EXPECT_FALSE(platform.dialog_open);
  EXPECT_EQ(message_dialog_close(), 1);
}
