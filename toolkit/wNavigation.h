// Keyboard navigation and the other decisions of the built-in handlers that
// need no window: which keys a control keeps, what Enter and Alt+letter do,
// which button shows as the default, what a size message raises.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "toolkit/wClass.h"

namespace setup {

// Native style bits of edit fields and combo boxes that navigation looks at.
namespace es {
inline constexpr std::uint32_t multiLine = 0x4;
inline constexpr std::uint32_t readOnly = 0x800;
inline constexpr std::uint32_t wantReturn = 0x1000;
}  // namespace es

// The keys a text field claims in the navigation query: Left and Right; a
// multi-line field also Up and Down, Enter unless read-only, and Tab when it
// accepts tabs and Ctrl is not held. Ctrl+Tab (with Shift, backwards) always
// leaves the field: a field that kept every Tab would trap a keyboard user,
// who has no other key out of it.
bool textFieldClaims(std::uint32_t style, bool acceptsTabs, std::uint32_t key, bool controlDown);

// A combo box claims the four arrow keys, and Enter, which opens its list.
bool comboBoxClaims(std::uint32_t key);

// The character an Alt+key combination looks for: an ASCII letter upper-cased
// or a digit; nothing for any other character.
std::optional<char> mnemonicKey(std::uint32_t character);

// Whether a label, its ASCII letters upper-cased, holds "&" + key.
bool hasMnemonic(std::string_view label, char key);

struct wMnemonicCandidate {
  std::string_view label;
  bool canTakeFocus = false;
};

// The sibling that Alt+key goes to: starting after the focused one and
// wrapping around (the focused one last), the first that can take focus and
// has the mnemonic.
std::optional<std::size_t> mnemonicTarget(std::span<const wMnemonicCandidate> siblings,
                                          std::size_t focused, char key);

// Buttons, check boxes and radio buttons are clicked when Alt+key focuses them.
bool clickedByMnemonic(wClassKind kind);

// What Enter (without Shift, not claimed) does on the focused control.
enum class wEnterAction { none, clickFocused, clickDefault };
wEnterAction enterAction(wClassKind focused, bool siblingIsDefault);

// Focus bookkeeping: whether a sibling button shows as the default
// (BS_DEFPUSHBUTTON) when a control gets the focus.
bool showsAsDefault(bool focusedIsButton, bool isTheFocused, bool defaultFlag);

// The toolkit events a WM_SIZE raises, in order, for its size type.
std::vector<std::uint32_t> sizeEventsFor(std::uint64_t sizeType);

// The menu command of an accelerator's WM_COMMAND (second parameter 0, high
// word 1), nothing for other commands.
std::optional<std::uint32_t> acceleratorCommand(std::uint64_t first, std::int64_t second);

// The command event of a common control's mouse notification (WM_NOTIFY code
// NM_CLICK, NM_DBLCLK, NM_RCLICK, NM_RDBLCLK), nothing for other codes.
std::optional<std::uint32_t> commonMouseEventFor(std::uint32_t notifyCode);

}  // namespace setup
