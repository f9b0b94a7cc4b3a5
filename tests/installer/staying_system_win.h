// The installation itself in a test's process under wine.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "installer/system_win.h"

namespace setup::testing {

// The process goes on after the last file, and no box waits for a click.
class StayingSystem : public WindowsSystem {
 public:
  void exitProcess(int code) override { exitCode = code; }
  void messageBox(NativeWindow, std::string_view text, std::string_view, std::uint32_t) override {
    ADD_FAILURE() << "box: " << text;
  }
  std::optional<int> exitCode;
};

}  // namespace setup::testing
