// Byte-string helpers of the installer core. Texts are UTF-8 byte strings;
// searches and replacements compare bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/winstr.h"  // utf8ToUtf16, utf16ToUtf8

namespace setup {

// Unicode simple lower-case mapping of every code point. Bytes that are not
// well-formed UTF-8 are copied unchanged.
std::string toLowerUnicode(std::string_view text);

// The simple lower-case mapping of one code point (itself when it has none).
char32_t lowerCodePoint(char32_t c);

// Replaces every occurrence of from, left to right, never searching inserted
// text again. An empty from leaves the text unchanged.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// As replaceAll, but only occurrences whose neighbouring bytes (where there are
// any) are not word bytes: ASCII letters, digits, "_" and every byte >= 0x80.
std::string replaceWholeWords(std::string_view text, std::string_view from, std::string_view to);

// The text in double quotes, with backslash, quote, apostrophe and control
// characters escaped, for error messages that name paths.
std::string quoted(std::string_view text);

}  // namespace setup
