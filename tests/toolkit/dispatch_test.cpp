// Event kinds, connections and dispatch over windows that need no platform:
// the order handlers run in, skip, filters, propagation and handler errors.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "toolkit/wEventTarget.h"

namespace setup {
namespace {

TEST(EventKinds, FollowTheMessageNumber) {
  struct Case {
    std::uint32_t message;
    wEventKind kind;
    bool command;
  };
  const Case cases[] = {
      {0, wEventKind::plain, false},
      {2, wEventKind::plain, false},
      {3, wEventKind::move, false},
      {5, wEventKind::plain, false},  // WM_SIZE itself is plain; the toolkit's size events are not
      {123, wEventKind::contextMenu, false},
      {159, wEventKind::plain, false},
      {160, wEventKind::mouse, false},
      {169, wEventKind::mouse, false},
      {170, wEventKind::plain, false},
      {171, wEventKind::mouse, false},
      {173, wEventKind::mouse, false},
      {256, wEventKind::key, false},
      {258, wEventKind::key, false},
      {259, wEventKind::plain, false},
      {261, wEventKind::key, false},
      {262, wEventKind::plain, false},  // WM_SYSCHAR is not in the key range
      {265, wEventKind::key, false},
      {273, wEventKind::plain, false},  // WM_COMMAND: the toolkit's own command events climb
      {512, wEventKind::mouse, false},
      {522, wEventKind::mouse, false},
      {523, wEventKind::plain, false},
      {526, wEventKind::mouse, false},
      {534, wEventKind::move, false},
      {673, wEventKind::mouse, false},
      {674, wEventKind::plain, false},
      {675, wEventKind::mouse, false},
      {32787, wEventKind::plain, false},
      {32789, wEventKind::mouse, false},
      {32790, wEventKind::size, false},
      {32793, wEventKind::size, false},
      {32794, wEventKind::move, false},
      {32795, wEventKind::scroll, false},
      {32806, wEventKind::scroll, false},
      {32807, wEventKind::controlRange1, false},
      {32834, wEventKind::controlRange3, false},
      {32835, wEventKind::navigation, false},
      {32836, wEventKind::setCursor, false},
      {32837, wEventKind::commonMouse, true},
      {32842, wEventKind::commonMouse, true},
      {32843, wEventKind::commandRange1, true},
      {32903, wEventKind::commandRange5, true},
      {32904, wEventKind::commandRange6, true},
      {32915, wEventKind::commandRange8, true},
      {32916, wEventKind::command, true},
      {wEvent_Menu, wEventKind::command, true},
      {wEvent_ComboBox, wEventKind::command, true},
      {32960, wEventKind::command, true},
      {32961, wEventKind::plain, false},
      {0xFFFFFFFF, wEventKind::plain, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(eventKindOf(c.message), c.kind);
    EXPECT_EQ(isCommandKind(eventKindOf(c.message)), c.command);
  }
}

// A window without a platform: records what dispatch did to it.
class FakeWindow : public wEventTarget {
 public:
  FakeWindow(std::string name, wClassKind kind, FakeWindow* parent, std::vector<std::string>& log)
      : name_(std::move(name)), kind_(kind), log_(log) {
    setEventParent(parent);
  }
  wClassKind classKind() const override { return kind_; }
  void captureInput(wEvent& event) override {
    ++eventsMade;
    event.setKeyboardState(keyboard);
  }
  void reportHandlerError(const std::string& text) override {
    log_.push_back(name_ + " box: " + text);
  }
  void detach() { setEventParent(nullptr); }

  const std::string& name() const { return name_; }
  int eventsMade = 0;
  std::array<std::uint8_t, 256> keyboard{};

 private:
  std::string name_;
  wClassKind kind_;
  std::vector<std::string>& log_;
};

TEST(EventKinds, OnlyCommandsCarryAnIdentifierAndClimb) {
  std::vector<std::string> log;
  FakeWindow w("w", wClassKind::window, nullptr, log);
  const wEvent command(w, nullptr, wEvent_Button, 0x0001FFFF, 7);
  EXPECT_EQ(command.commandId(), 0xFFFFu);
  EXPECT_EQ(command.propagationLevel(), wEvent::commandPropagation);
  const wEvent size(w, nullptr, wEvent_Size, 0x0001FFFF, 0x00640032);
  EXPECT_EQ(size.commandId(), 0u);
  EXPECT_EQ(size.propagationLevel(), 0);
  EXPECT_EQ(size.size(), (wSize{50, 100}));
  const wEvent mouse(w, nullptr, wm::mouseMove, 0, 0xFFF6FFFB);  // (-5, -10) packed
  EXPECT_EQ(mouse.position(), (wPoint{-5, -10}));
}

// A handler reads the keyboard as it was when the event was made, also after
// it changed.
TEST(EventKinds, KeyboardStateIsTheOneOfTheEventsMaking) {
  std::vector<std::string> log;
  auto w = std::make_shared<FakeWindow>("w", wClassKind::window, nullptr, log);
  bool shift = false;
  bool control = true;
  w->connect(wEvent_Size, [&](wEvent& e) {
    w->keyboard[vk::shift] = 0;
    w->keyboard[vk::control] = 0x80;
    shift = e.shiftDown();
    control = e.controlDown();
  });
  w->keyboard[vk::shift] = 0x80;
  w->processMessage(nullptr, wEvent_Size, 0, 0);
  EXPECT_TRUE(shift);
  EXPECT_FALSE(control);
}

class Dispatch : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  std::shared_ptr<FakeWindow> frame =
      std::make_shared<FakeWindow>("frame", wClassKind::frame, nullptr, log);
  std::shared_ptr<FakeWindow> panel =
      std::make_shared<FakeWindow>("panel", wClassKind::panel, frame.get(), log);
  std::shared_ptr<FakeWindow> button =
      std::make_shared<FakeWindow>("button", wClassKind::button, panel.get(), log);

  wHandler processes(const std::string& name) {
    return [this, name](wEvent&) { log.push_back(name); };
  }
  wHandler skips(const std::string& name) {
    return [this, name](wEvent& e) {
      log.push_back(name);
      e.skip();
    };
  }
  wHandler noArgument(const std::string& name) {
    return [this, name] { log.push_back(name); };
  }
};

TEST_F(Dispatch, ANumberNobodyConnectedMakesNoEvent) {
  constexpr std::uint32_t unused = 0x7FEE;
  EXPECT_FALSE(button->processMessage(nullptr, unused, 0, 0).processed);
  EXPECT_EQ(button->eventsMade, 0);

  // Connected elsewhere: an event is made, but nothing here processes it.
  auto c = frame->connect(unused, processes("frame"));
  EXPECT_FALSE(button->processMessage(nullptr, unused, 0, 0).processed);
  EXPECT_EQ(button->eventsMade, 1);

  frame->disconnect(c);
  EXPECT_FALSE(button->processMessage(nullptr, unused, 0, 0).processed);
  EXPECT_EQ(button->eventsMade, 1);
}

TEST_F(Dispatch, OrdinaryHandlersRunInOrderUntilOneProcesses) {
  enum Behaviour { kProcesses, kSkips, kNoArgument, kThrowsError, kThrowsStd, kThrowsOther };
  struct Case {
    const char* name;
    std::vector<Behaviour> handlers;
    std::vector<std::string> expectedLog;
    bool processed;
  };
  const Case cases[] = {
      {"no handler", {}, {}, false},
      {"the first that processes stops", {kProcesses, kProcesses}, {"0"}, true},
      {"skip lets the next run", {kSkips, kProcesses}, {"0", "1"}, true},
      {"all skip", {kSkips, kSkips}, {"0", "1"}, false},
      {"no argument always stops", {kNoArgument, kProcesses}, {"0"}, true},
      {"an error is shown and the next runs",
       {kThrowsError, kProcesses},
       {"0", "w box: bad value [ValueError]", "1"},
       true},
      {"an error alone leaves the event unprocessed",
       {kThrowsError},
       {"0", "w box: bad value [ValueError]"},
       false},
      {"a standard exception shows its type",
       {kThrowsStd, kSkips},
       {"0", "w box: no luck [std::runtime_error]", "1"},
       false},
      {"anything else is shown too",
       {kThrowsOther, kNoArgument},
       {"0", "w box: unknown exception [unknown]", "1"},
       true},
  };
  constexpr std::uint32_t message = 0x7FE0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> run;
    FakeWindow w("w", wClassKind::window, nullptr, run);
    for (std::size_t i = 0; i < c.handlers.size(); ++i) {
      const std::string name = std::to_string(i);
      switch (c.handlers[i]) {
        case kProcesses:
          w.connect(message, [&run, name](wEvent&) { run.push_back(name); });
          break;
        case kSkips:
          w.connect(message, [&run, name](wEvent& e) {
            run.push_back(name);
            e.skip();
          });
          break;
        case kNoArgument:
          w.connect(message, [&run, name] { run.push_back(name); });
          break;
        case kThrowsError:
          w.connect(message, [&run, name](wEvent&) {
            run.push_back(name);
            throw ValueError("bad value", "test");
          });
          break;
        case kThrowsStd:
          w.connect(message, [&run, name](wEvent& e) {
            run.push_back(name);
            e.skip();  // skip set before the throw does not count either
            throw std::runtime_error("no luck");
          });
          break;
        case kThrowsOther:
          w.connect(message, [&run, name] {
            run.push_back(name);
            throw 42;
          });
          break;
      }
    }
    EXPECT_EQ(w.processMessage(nullptr, message, 0, 0).processed, c.processed);
    EXPECT_EQ(run, c.expectedLog);
  }
}

TEST_F(Dispatch, SkipIsClearedBeforeEachHandler) {
  constexpr std::uint32_t message = 0x7FE1;
  button->connect(message, skips("a"));
  button->connect(message, [this](wEvent& e) { log.push_back(e.skipped() ? "b saw skip" : "b"); });
  EXPECT_TRUE(button->processMessage(nullptr, message, 0, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
}

TEST_F(Dispatch, CommandsClimbToTheFirstAncestorThatProcessesThem) {
  panel->connect(wEvent_Button, processes("panel"));
  frame->connect(wEvent_Button, processes("frame"));
  EXPECT_TRUE(button->processMessage(nullptr, wEvent_Button, 0xFFFF, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"panel"}));

  log.clear();
  button->connect(wEvent_Button, skips("button"));
  panel->connect(wEvent_Button, processes("never"));  // behind the panel's first handler
  EXPECT_TRUE(button->processMessage(nullptr, wEvent_Button, 0xFFFF, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"button", "panel"}));
}

TEST_F(Dispatch, CommandsReachTheTopLevelWindow) {
  frame->connect(wEvent_Button, [this](wEvent& e) {
    log.push_back("frame sees " + static_cast<FakeWindow&>(e.target()).name());
  });
  EXPECT_TRUE(button->processMessage(nullptr, wEvent_Button, 0xFFFF, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"frame sees button"}));
}

TEST_F(Dispatch, OtherEventsStayOnTheirWindow) {
  panel->connect(wEvent_Size, processes("panel"));
  frame->connect(wEvent_Size, processes("frame"));
  EXPECT_FALSE(button->processMessage(nullptr, wEvent_Size, 0, 0).processed);
  EXPECT_TRUE(log.empty());
}

TEST_F(Dispatch, ErrorsAreShownOnTheWindowWhoseHandlerRaised) {
  panel->connect(wEvent_Button, [] { throw KeyError("no such key", "test"); });
  frame->connect(wEvent_Button, processes("frame"));
  EXPECT_TRUE(button->processMessage(nullptr, wEvent_Button, 0xFFFF, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"panel box: no such key [KeyError]", "frame"}));
}

TEST_F(Dispatch, CommandConnectionsFollowTheClassAndFilterTheIdentifier) {
  auto toolBar = std::make_shared<FakeWindow>("tools", wClassKind::toolBar, panel.get(), log);
  ASSERT_NE(frame->connectCommand(5050, noArgument("5050")), nullptr);
  ASSERT_NE(frame->connectCommand(5051, noArgument("5051")), nullptr);
  EXPECT_TRUE(toolBar->processMessage(nullptr, wEvent_Menu, 5051, 0).processed);
  EXPECT_TRUE(toolBar->processMessage(nullptr, wEvent_Menu, 5050, 0).processed);
  EXPECT_FALSE(toolBar->processMessage(nullptr, wEvent_Menu, 5052, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"5051", "5050"}));

  EXPECT_EQ(panel->connectCommand(5050, noArgument("panel")), nullptr);
  EXPECT_THROW(frame->connectCommand(0, noArgument("zero")), ValueError);
}

TEST(CommandConnections, EventByClass) {
  struct Case {
    wClassKind kind;
    std::uint32_t event;
  };
  const Case cases[] = {
      {wClassKind::frame, wEvent_Menu},
      {wClassKind::toolBar, wEvent_Menu},
      {wClassKind::button, wEvent_Button},
      {wClassKind::checkBox, wEvent_CheckBox},
      {wClassKind::radioButton, wEvent_RadioButton},
      {wClassKind::window, 0},
      {wClassKind::panel, 0},
      {wClassKind::dialog, 0},
      {wClassKind::control, 0},
      {wClassKind::staticText, 0},
      {wClassKind::textCtrl, 0},
      {wClassKind::comboBox, 0},
      {wClassKind::listBox, 0},
      {wClassKind::statusBar, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(className(c.kind));
    EXPECT_EQ(commandEventFor(c.kind), c.event);
  }
}

TEST_F(Dispatch, SystemHandlersAllRunFirstAndDoNotCount) {
  constexpr std::uint32_t message = 0x7FE2;
  button->connect(message, skips("ordinary"));
  button->connectSystem(message, processes("system 1"));
  button->connectSystem(message, [this] {
    log.push_back("system 2");
    throw ValueError("inside", "test");
  });
  button->connectSystem(message, noArgument("system 3"));
  EXPECT_FALSE(button->processMessage(nullptr, message, 0, 0).processed);
  EXPECT_EQ(log,
            (std::vector<std::string>{"system 1", "system 2", "button box: inside [ValueError]",
                                      "system 3", "ordinary"}));
}

void countingProcedure(wEvent& e) {
  e.setResult(e.result() + 1);
}

TEST_F(Dispatch, DisconnectingByProcedureRemovesEveryConnectionOfIt) {
  constexpr std::uint32_t message = 0x7FE3;
  auto skipsToo = [](wEvent& e) {
    countingProcedure(e);
    e.skip();
  };
  button->connect(message, skipsToo);
  button->connect(message, wHandler(countingProcedure));
  button->connect(message, wHandler(countingProcedure));
  button->disconnect(message, &countingProcedure);
  const wDispatchResult r = button->processMessage(nullptr, message, 0, 0);
  EXPECT_FALSE(r.processed);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(wConnectionCounts::process().count(message), 1);
}

TEST_F(Dispatch, AHandlerDisconnectedDuringDispatchDoesNotRun) {
  constexpr std::uint32_t message = 0x7FE4;
  wConnectionRef second;
  button->connect(message, [&](wEvent& e) {
    log.push_back("first");
    button->disconnect(second);
    e.skip();
  });
  second = button->connect(message, processes("second"));
  EXPECT_FALSE(button->processMessage(nullptr, message, 0, 0).processed);
  EXPECT_EQ(log, (std::vector<std::string>{"first"}));
}

TEST_F(Dispatch, AWindowReleasedByItsHandlerRunsNothingMoreAndDoesNotClimb) {
  // As when a handler destroys its own window: connections go, the parent link goes.
  constexpr std::uint32_t message = wEvent_Button;
  std::weak_ptr<FakeWindow> watch = button;
  button->connect(message, [this](wEvent& e) {
    log.push_back("closing");
    button->releaseConnections();
    button->detach();
    button.reset();  // the handler's own window object lives on until dispatch returns
    e.skip();
  });
  button->connect(message, processes("after release"));
  panel->connect(message, processes("panel"));
  auto target = watch.lock();
  EXPECT_FALSE(target->processMessage(nullptr, message, 0xFFFF, 0).processed);
  target.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(log, (std::vector<std::string>{"closing"}));
}

TEST(ConnectionCounts, FollowConnectAndRelease) {
  std::vector<std::string> log;
  constexpr std::uint32_t message = 0x7FE5;
  {
    FakeWindow a("a", wClassKind::window, nullptr, log);
    FakeWindow b("b", wClassKind::window, nullptr, log);
    auto ca = a.connect(message, [] {});
    b.connectSystem(message, [] {});
    EXPECT_EQ(wConnectionCounts::process().count(message), 2);
    a.disconnect(ca);
    a.disconnect(ca);  // a second disconnect changes nothing
    EXPECT_EQ(wConnectionCounts::process().count(message), 1);
  }
  EXPECT_FALSE(wConnectionCounts::process().has(message));
}

}  // namespace
}  // namespace setup
