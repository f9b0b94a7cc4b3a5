// libFuzzer's entry, and the replay driver's, for every target.
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setup::fuzz::testOneInput({reinterpret_cast<const char*>(data), size});
  return 0;
}
