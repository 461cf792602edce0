// Click areas and drags as scripts use them: a loop calling click_area_select (or mouse_drag_poll)
// once a pass, functions that log what they were told, and the user's messages between passes.
#include <utility>
#include <vector>

#include "input_fixture.h"

namespace {

struct area {
  int id, x, y, width, height, key;
};

constexpr const char* BUILTINS =
    ".builtin click_area_add 0xF8D18340\n.builtin click_area_select 0x3A3BFB29\n"
    ".builtin click_area_handlers_set 0xA7C6E918\n.builtin click_area_clear 0x4E1EB9D0\n"
    ".builtin mouse_drag_begin 0xA909A32A\n.builtin mouse_drag_params 0x163C0878\n"
    ".builtin mouse_drag_poll 0xAD0F8767\n.builtin time_wait 0xCF35F0E3\n";
constexpr const char* LOOP_WAIT = "  push.i 1\n  builtin.drop time_wait 1\n  jmp loop\n";

class ClickAreas : public input_scene {
 protected:
  static std::string push(const std::string& value) { return "  push.i " + value + "\n"; }
  static std::string add(const area& a) {
    std::string id = std::to_string(a.id);
    return push(std::to_string(a.key)) + fn("c" + id) + fn("l" + id) + fn("e" + id) + push(std::to_string(a.height)) +
           push(std::to_string(a.width)) + push(std::to_string(a.y)) + push(std::to_string(a.x)) + push(id) +
           "  builtin.drop click_area_add 9\n";
  }
  // A scene of areas whose enter, leave and choose functions log "+id", "-id" and "!id"; the
  // frame's decide, cancel and wheel handlers log "D", "X" and "W" (each only when asked for).
  void scene(const std::vector<area>& areas, bool decide = true, bool cancel = false, bool wheel = false) {
    std::string s = BUILTINS;
    for (const area& a : areas) {
      std::string id = std::to_string(a.id);
      s += logger("e" + id, "+" + id) + logger("l" + id, "-" + id) + logger("c" + id, "!" + id);
    }
    s += logger("on_decide", "D") + logger("on_cancel", "X") + logger("on_wheel", "W");
    s += ".entry\n  push.s \"\"\n  set.s.pop @log\n";
    for (const area& a : areas) s += add(a);
    s += (wheel ? fn("on_wheel") : push("0")) + push("0") + (cancel ? fn("on_cancel") : push("0")) +
         (decide ? fn("on_decide") : push("0")) + "  builtin.drop click_area_handlers_set 4\n";
    s += "loop:\n  builtin.drop click_area_select 0\n" + std::string(LOOP_WAIT);
    enter(s);
  }
};

TEST_F(ClickAreas, ThePointerEntersLeavesAndChoosesOneCallAtATime) {
  scene({{1, 100, 100, 100, 50, 0}, {2, 300, 100, 100, 50, 0}});
  move(120, 120);
  pass();
  EXPECT_EQ(log(), "+1");
  move(320, 120);
  pass();
  EXPECT_EQ(log(), "+1-1");  // leaving is one call, entering the next
  pass();
  EXPECT_EQ(log(), "+1-1+2");
  click(320, 120);
  pass();
  EXPECT_EQ(log(), "+1-1+2!2");
  EXPECT_EQ(int_of("@px"), 2);    // the chosen area's id
  EXPECT_EQ(int_of("@py"), 300);  // and its x
  click(10, 10);  // over no area: the frame's decide handler gets the pointer
  pass();
  EXPECT_EQ(log(), "+1-1+2!2D");
  EXPECT_EQ(int_of("@px"), 10);
  pass();
  EXPECT_EQ(log(), "+1-1+2!2D-2");
}

TEST_F(ClickAreas, ArrowKeysAndEnterNavigateTheKeyedAreas) {
  scene({{1, 100, 100, 100, 50, '1'}, {2, 300, 100, 100, 50, '2'}, {3, 500, 100, 100, 50, 0}});
  key(VK_RIGHT);  // the first key: keyboard mode, the first keyed area
  pass();
  EXPECT_EQ(log(), "+1");
  key(VK_RIGHT);
  passes(3);
  EXPECT_EQ(log(), "+1-1+2");
  key(VK_RIGHT);  // area 3 has no key: arrows never reach it
  key(VK_UP);     // nothing lies above
  passes(3);
  EXPECT_EQ(log(), "+1-1+2");
  key(VK_RETURN);
  pass();
  EXPECT_EQ(log(), "+1-1+2!2");
  key('1');  // an area's key selects it and then chooses it
  passes(3);
  EXPECT_EQ(log(), "+1-1+2!2-2+1!1");
}

TEST_F(ClickAreas, TheOverlapPassComesBeforeTheSixteenPixelPass) {
  const area from{1, 100, 100, 100, 100, 1};
  struct {
    int key;
    std::vector<area> others;
    std::string reached;  // "" when the selection stays
  } rows[] = {
      {VK_RIGHT, {{2, 250, 180, 100, 100, 2}, {3, 400, 100, 100, 100, 3}}, "3"},  // 2 overlaps too little
      {VK_RIGHT, {{2, 250, 180, 100, 100, 2}}, "2"},                               // the second pass
      {VK_RIGHT, {{2, 250, 0, 100, 300, 2}, {3, 400, 100, 100, 100, 3}}, "2"},  // over half of the current's height
      {VK_RIGHT, {{2, 110, 300, 100, 100, 2}}, ""},  // not more than 16 pixels to the right
      {VK_LEFT, {{2, 0, 100, 50, 100, 2}, {3, 40, 100, 50, 100, 3}}, "3"},  // the nearer
      {VK_DOWN, {{2, 100, 300, 100, 100, 2}}, "2"},
      {VK_UP, {{2, 100, 300, 100, 100, 2}}, ""},
      {VK_NUMPAD0 + 6, {{2, 300, 100, 100, 100, 2}, {3, 300, 120, 100, 100, 3}}, "2"},  // a tie: list order
  };
  for (const auto& row : rows) {
    std::vector<area> areas{from};
    areas.insert(areas.end(), row.others.begin(), row.others.end());
    scene(areas);
    key(row.key);  // keyboard mode: the first area
    pass();
    key(row.key);
    passes(3);
    EXPECT_EQ(log(), row.reached.empty() ? "+1" : "+1-1+" + row.reached) << row.key << " to " << row.reached;
    click_area_chain_free(vm_thread->input_regions);
    vm_thread->input_regions = nullptr;
    thread_reset(vm_thread);
    mouse_used_set(1);
  }
}

TEST_F(ClickAreas, WheelAndCancelGoToTheFrameHandlers) {
  scene({{1, 100, 100, 100, 50, 0}}, true, true, true);
  move(40, 30);
  post(WM_MOUSEWHEEL, static_cast<uintptr_t>(WHEEL_DELTA) << 16, 0);
  pass();
  EXPECT_EQ(log(), "W");
  EXPECT_EQ(int_of("@px"), 40);
  button(WM_RBUTTONDOWN, 40, 30);
  pass();
  EXPECT_EQ(log(), "WX");
}

TEST_F(ClickAreas, MissingArgumentsReadAsZeroAndAClearInADeeperCallLeavesNoStaleLink) {
  // The entry selects area 1 by keyboard; a deeper call clears the list (freeing area 1, which
  // the entry's frame still names) and adds an area of five arguments; the arrow keys then
  // navigate from the entry's frame again.
  enter(std::string(BUILTINS) + logger("e1", "+1") + logger("l1", "-1") + logger("c1", "!1") +
        ".func inner\n  builtin.drop click_area_clear 0\n" + push("50") + push("50") + push("0") + push("0") +
        push("9") + "  builtin.drop click_area_add 5\n  ret\n" + ".entry\n  push.s \"\"\n  set.s.pop @log\n" +
        add({1, 100, 100, 100, 50, 1}) + "  builtin.drop click_area_select 0\n  call.drop inner 0\n" +
        "loop:\n  builtin.drop click_area_select 0\n" + LOOP_WAIT);
  key(VK_RIGHT);
  pass();
  key(VK_RIGHT);
  passes(2);
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(log(), "+1");
}

class Drags : public input_scene {
 protected:
  // A drag loop whose left-button handlers log P(ress), C(lick), B (double click), S(tart),
  // M(ove), E(nd) and K (cancel); the moved handler keeps the position in @px, @py, logging
  // nothing, and the every-poll handler does the same.
  void SetUp() override {
    input_scene::SetUp();
    std::string s = BUILTINS;
    for (auto [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"dp", "P"}, {"dc", "C"}, {"db", "B"}, {"ds", "S"}, {"dm", "M"}, {"de", "E"}, {"dk", "K"}})
      s += logger(name, text);
    s += logger("moved", "") + logger("every", "");
    s += ".entry\n  push.s \"\"\n  set.s.pop @log\n  push.i 0\n" + fn("moved") + fn("every") +
         "  builtin.drop mouse_drag_begin 3\n" + fn("dk") + fn("de") + fn("dm") + fn("ds") + fn("db") + fn("dc") +
         fn("dp") + "  builtin.drop mouse_drag_params 7\nloop:\n  builtin.drop mouse_drag_poll 0\n" + LOOP_WAIT;
    enter(s);
    at(50, 50);
    pass();
    top = vm_thread->frames[0].top;
  }
  void at(int x, int y) { platform.cursor_x = x, platform.cursor_y = y; }
  // Long enough later for the next press to start afresh, with an empty log.
  void settle() {
    later(1000);
    pass();
    assign_log("");
  }
  // The handlers returned cleanly: the loop's frame holds what it held after the first poll.
  void balanced() {
    EXPECT_EQ(vm_thread->depth, 0);
    EXPECT_EQ(vm_thread->frames[0].top, top);
  }
  int32_t top = 0;
};

TEST_F(Drags, AQuickPressIsAClickAtItsPagePositionOnceTheClickTimeHasPassed) {
  for (auto [dx, dy] : {std::pair{0, 0}, {-100, -40}}) {  // page (x, y) shows at window (x - dx, y - dy)
    view_offset_set(dx, dy);
    at(50, 50);
    pass();  // the poll's position moves onto the view: no handler
    assign_log("");
    button(WM_LBUTTONDOWN, 50 - dx, 50 - dy);
    at(54 - dx, 53 - dy);  // 4 and 3 page pixels away: not a drag
    passes(2);
    EXPECT_EQ(log(), "P") << dx;
    button(WM_LBUTTONUP, 54 - dx, 53 - dy);
    later(250);
    pass();
    EXPECT_EQ(log(), "PC") << dx;
    EXPECT_EQ(int_of("@px"), 50);  // the press position
    EXPECT_EQ(int_of("@py"), 50);
    balanced();
    settle();
  }
}

TEST_F(Drags, MovingOrHoldingTurnsAPressIntoADrag) {
  struct {
    int to_x;
    uint32_t wait;
  } rows[] = {{70, 0}, {50, 260}};
  for (const auto& row : rows) {
    button(WM_LBUTTONDOWN, 50, 50);
    pass();
    at(row.to_x, 50);
    later(row.wait);
    pass();
    EXPECT_EQ(log(), "PS") << row.to_x;
    EXPECT_EQ(int_of("@px"), 50);  // drag start: the press position
    pass();
    EXPECT_EQ(log(), "PSM");
    button(WM_LBUTTONUP, row.to_x, 50);
    pass();
    EXPECT_EQ(log(), "PSME");
    balanced();
    at(50, 50);
    settle();
  }
}

TEST_F(Drags, BothButtonsCancelTheDragAndDoubleClicksAreTheirOwn) {
  button(WM_LBUTTONDOWN, 50, 50);
  pass();
  at(80, 50);
  passes(2);
  button(WM_RBUTTONDOWN, 80, 50);
  pass();
  EXPECT_EQ(log(), "PSMK");
  EXPECT_EQ(int_of("@px"), 50);
  button(WM_RBUTTONUP, 80, 50);
  button(WM_LBUTTONUP, 80, 50);
  settle();
  click(80, 50);
  button(WM_LBUTTONDBLCLK, 80, 50);
  button(WM_LBUTTONUP, 80, 50);
  pass();
  later(300);
  pass();
  EXPECT_EQ(log(), "B");
  balanced();
}

TEST_F(Drags, APressHoldsThePositionsToTheGameArea) {
  button(WM_LBUTTONDOWN, 50, 50);
  at(-40, 5000);
  pass();
  EXPECT_EQ(int_of("@px"), 0);
  EXPECT_EQ(int_of("@py"), client_height() - 1);
  button(WM_LBUTTONUP, 0, 479);
  pass();
  EXPECT_EQ(int_of("@py"), 5000);  // released: no longer held
}

}  // namespace
