// The installer's message box under wine: whom it belongs to, what it
// disables while it is up and how it ends.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/toolkit/testing_win.h"
#include "toolkit/wEvent.h"
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
  bool endNotice = false;  // the loop's notice of an ownerless dialog's end
};

// Whether the thread's queue holds the loop's end notice; takes it out.
bool takeEndNotice() {
  MSG m;
  bool found = false;
  while (
      PeekMessageW(&m, nullptr, wNotice_TopLevelDestroyed, wNotice_TopLevelDestroyed, PM_REMOVE)) {
    found = true;
  }
  return found;
}

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
  takeEndNotice();
  showMessageBox(dialog);
  done = true;
  watcher.join();
  seen.endNotice = takeEndNotice();
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
  // A toolkit window whose native window has been destroyed, as a main
  // window closed while its error is being reported.
  const auto gone = wFrame::create("Disparue", {40, 300}, {300, 200});
  gone->show();
  pump();
  gone->destroy();
  pump();
  ASSERT_EQ(gone->handle(), nullptr);

  struct Case {
    const char* name;
    std::shared_ptr<MessageBoxDialog> dialog;
    HWND owner;
    bool frameEnabled;
    bool endNotice;
  };
  const Case cases[] = {
      {"toolkit owner", MessageBoxDialog::create(frame.get(), "texte", "Bo\xc3\xaete 1", MB_OK),
       frameHandle, false, false},
      // Owned by another program's window: it ends as an owned dialog, without
      // the notice that would end the loop of a program with no window left.
      {"native owner", MessageBoxDialog::create(wHandle{foreign}, "texte", "Bo\xc3\xaete 2", MB_OK),
       foreign, true, false},
      {"owner by handle",
       MessageBoxDialog::create(wHandle{frameHandle}, "texte", "Bo\xc3\xaete 3", MB_OK),
       frameHandle, false, false},
      // Task-modal: every window of the thread waits for it.
      {"no owner",
       MessageBoxDialog::create(static_cast<wWindow*>(nullptr), "texte", "Bo\xc3\xaete 4", MB_OK),
       nullptr, false, true},
      // Nothing native to be modal to: it holds the whole task as an ownerless one.
      {"toolkit owner without a native window",
       MessageBoxDialog::create(gone.get(), "texte", "Bo\xc3\xaete 5", MB_OK), nullptr, false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SeenBox seen = showAndWatch(*c.dialog, frameHandle);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, c.owner);
    EXPECT_EQ(seen.frameEnabled, c.frameEnabled);
    EXPECT_EQ(seen.endNotice, c.endNotice);
    EXPECT_TRUE(IsWindowEnabled(frameHandle));  // given back when the box closed
  }
  DestroyWindow(foreign);
  frame->destroy();
  pump();
}

}  // namespace
}  // namespace setup
