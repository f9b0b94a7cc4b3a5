// The installer's message box under wine: whom it belongs to and what it
// disables while it is up.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/toolkit/testing_win.h"
#include "toolkit/wFrame.h"
#include "ui/dialogs.h"

namespace setup {
namespace {

using namespace setup::testing;

// What a box with the caption showed of itself, read from another thread,
// which then confirms it.
struct SeenBox {
  HWND owner = nullptr;
  bool frameEnabled = true;
  bool found = false;
};

SeenBox showAndWatch(MessageBoxDialog& dialog, HWND frame) {
  SeenBox seen;
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    for (int i = 0; i < 1500 && !done; ++i) {
      if (HWND box = FindWindowW(L"#32770", toWide(dialog.caption).c_str())) {
        seen.owner = GetWindow(box, GW_OWNER);
        seen.frameEnabled = IsWindowEnabled(frame) != FALSE;
        seen.found = true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);
    }
  });
  showMessageBox(dialog);
  done = true;
  watcher.join();
  return seen;
}

TEST(MessageBoxes, BelongsToTheOwnerAsGivenAndOnlyAnOwnerlessOneHoldsTheWholeTask) {
  bindOnce();
  const auto frame = wFrame::create("Propri\xc3\xa9taire", {40, 40}, {300, 200});
  frame->show();
  pump();
  // A window that is not the toolkit's, as another program's would be.
  const HWND foreign = CreateWindowExW(0, L"Static", L"autre", WS_OVERLAPPED | WS_VISIBLE, 400, 40,
                                       200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(foreign, nullptr);
  const HWND frameHandle = static_cast<HWND>(frame->handle());

  struct Case {
    const char* name;
    std::shared_ptr<MessageBoxDialog> dialog;
    HWND owner;
    bool frameEnabled;
  };
  const Case cases[] = {
      {"toolkit owner", MessageBoxDialog::create(frame.get(), "texte", "Bo\xc3\xaete 1", MB_OK),
       frameHandle, false},
      {"native owner", MessageBoxDialog::create(wHandle{foreign}, "texte", "Bo\xc3\xaete 2", MB_OK),
       foreign, true},
      {"owner by handle",
       MessageBoxDialog::create(wHandle{frameHandle}, "texte", "Bo\xc3\xaete 3", MB_OK),
       frameHandle, false},
      // Task-modal: every window of the thread waits for it.
      {"no owner",
       MessageBoxDialog::create(static_cast<wWindow*>(nullptr), "texte", "Bo\xc3\xaete 4", MB_OK),
       nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SeenBox seen = showAndWatch(*c.dialog, frameHandle);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, c.owner);
    EXPECT_EQ(seen.frameEnabled, c.frameEnabled);
    EXPECT_TRUE(IsWindowEnabled(frameHandle));  // given back when the box closed
  }
  DestroyWindow(foreign);
  frame->destroy();
  pump();
}

}  // namespace
}  // namespace setup
