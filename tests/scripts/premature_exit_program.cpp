// A test program for wine-gtest.sh: one case passes, the other ends the
// process in its middle with exit code 0, as wine does after a deep stack
// overflow.
#include <windows.h>

#include <gtest/gtest.h>

TEST(PrematureExit, Passes) {
  SUCCEED();
}

TEST(PrematureExit, EndsTheProcessMidway) {
  ExitProcess(0);
}
