// uncompress on any bytes: it reads and writes only inside its buffers (the
// sanitizers watch), allocates no more than its limit, and agrees with a
// plain decoder of the format; what it accepts has the declared length and
// survives a round trip through Snappy.
#include <snappy.h>

#include <algorithm>
#include <optional>

#include "installer/payload.h"
#include "runtime/errors.h"
#include "tests/fuzz/fuzz_check.h"

// The sanitizers' allocation hooks; absent in a build without them.
extern "C" __attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t), void (*freeHook)(const volatile void*));

namespace setup::fuzz {
namespace {

bool watching = false;
std::size_t largest = 0;

void onMalloc(const volatile void*, std::size_t size) {
  if (watching) largest = std::max(largest, size);
}
void onFree(const volatile void*) {}

// The format as written down, one element at a time, with every check spelled
// out. Nothing when the input is malformed.
std::optional<std::string> referenceDecode(std::string_view in) {
  std::size_t pos = 0;
  std::uint64_t declared = 0;
  for (int shift = 0;; shift += 7) {
    if (pos == in.size() || shift > 28) return std::nullopt;
    const auto b = static_cast<unsigned char>(in[pos++]);
    if (shift == 28 && b > 15) return std::nullopt;
    declared |= std::uint64_t(b & 0x7F) << shift;
    if (b < 0x80) break;
  }
  const auto le = [&](std::size_t count) -> std::optional<std::uint64_t> {
    if (in.size() - pos < count) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      value |= std::uint64_t(static_cast<unsigned char>(in[pos + i])) << (8 * i);
    }
    pos += count;
    return value;
  };
  std::string out;
  while (pos < in.size()) {
    const auto tag = static_cast<unsigned char>(in[pos++]);
    std::uint64_t length = 0;
    std::uint64_t offset = 0;
    switch (tag & 3) {
      case 0: {
        length = (tag >> 2) + 1;
        if (length > 60) {
          const auto extra = le(length - 60);
          if (!extra) return std::nullopt;
          length = *extra + 1;
        }
        if (in.size() - pos < length || out.size() + length > declared) return std::nullopt;
        out.append(in.substr(pos, length));
        pos += length;
        continue;
      }
      case 1: {
        length = 4 + ((tag >> 2) & 7);
        const auto low = le(1);
        if (!low) return std::nullopt;
        offset = std::uint64_t(tag >> 5) << 8 | *low;
        break;
      }
      default: {
        length = (tag >> 2) + 1;
        const auto value = le((tag & 3) == 2 ? 2 : 4);
        if (!value) return std::nullopt;
        offset = *value;
      }
    }
    if (offset == 0 || offset > out.size() || out.size() + length > declared) return std::nullopt;
    for (std::uint64_t i = 0; i < length; ++i) out += out[out.size() - offset];
  }
  if (out.size() != declared) return std::nullopt;
  return out;
}

}  // namespace

void testOneInput(std::string_view input) {
  const std::optional<std::string> expected = referenceDecode(input);

  std::string out;
  bool accepted = true;
  largest = 0;
  watching = true;
  try {
    uncompress(input, out);
  } catch (const SnappyError& e) {
    accepted = false;
    check(std::string_view(e.what()).starts_with("Invalid buffer, unable to uncompress"),
          "a refusal carries the one message", e.what());
    check(out.empty(), "no partial output after a refusal", input);
  }
  watching = false;
  // Small allocations (the exception, a short string's first growth) aside,
  // nothing may exceed the output that the input can possibly describe.
  check(largest <= std::max<std::size_t>(input.size() * kMaxExpansion + 1, 256),
        "allocates within the limit", input);

  check(accepted == expected.has_value(), "accepts exactly the well-formed blocks", input);
  if (!accepted) return;
  check(out == *expected, "decodes as the format says", input);
  std::size_t declared = 0;
  check(snappy::GetUncompressedLength(input.data(), input.size(), &declared) &&
            declared == out.size(),
        "yields the declared length", input);
  std::string again;
  snappy::Compress(out.data(), out.size(), &again);
  check(uncompress(again) == out, "round trip through Snappy", input);
}

}  // namespace setup::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (__sanitizer_install_malloc_and_free_hooks != nullptr) {
    __sanitizer_install_malloc_and_free_hooks(setup::fuzz::onMalloc, setup::fuzz::onFree);
  }
  return 0;
}
