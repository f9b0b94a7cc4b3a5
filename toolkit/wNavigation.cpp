#include "toolkit/wNavigation.h"

#include "toolkit/wEvent.h"
#include "toolkit/wTypes.h"

namespace setup {

bool textFieldClaims(std::uint32_t style, bool acceptsTabs, std::uint32_t key, bool controlDown) {
  if (key == vk::left || key == vk::right) return true;
  if ((style & es::multiLine) == 0) return false;
  if (key == vk::up || key == vk::down) return true;
  if (key == vk::enter) return (style & es::readOnly) == 0;
  if (key == vk::tab) return acceptsTabs && !controlDown;
  return false;
}

bool comboBoxClaims(std::uint32_t key) {
  // Enter opens and closes the list; left to the navigation it would also
  // click the default button.
  return (key >= vk::left && key <= vk::down) || key == vk::enter;
}

std::optional<char> mnemonicKey(std::uint32_t character) {
  if (character >= '0' && character <= '9') return static_cast<char>(character);
  if (character >= 'A' && character <= 'Z') return static_cast<char>(character);
  if (character >= 'a' && character <= 'z') return static_cast<char>(character - 'a' + 'A');
  return std::nullopt;
}

bool hasMnemonic(std::string_view label, char key) {
  for (std::size_t i = 0; i + 1 < label.size(); ++i) {
    if (label[i] != '&') continue;
    char next = label[i + 1];
    if (next >= 'a' && next <= 'z') next = static_cast<char>(next - 'a' + 'A');
    if (next == key) return true;
  }
  return false;
}

std::optional<std::size_t> mnemonicTarget(std::span<const wMnemonicCandidate> siblings,
                                          std::size_t focused, char key) {
  const std::size_t n = siblings.size();
  for (std::size_t step = 1; step <= n; ++step) {
    const std::size_t i = (focused + step) % n;
    if (siblings[i].canTakeFocus && hasMnemonic(siblings[i].label, key)) return i;
  }
  return std::nullopt;
}

bool clickedByMnemonic(wClassKind kind) {
  return kind == wClassKind::button || kind == wClassKind::checkBox ||
         kind == wClassKind::radioButton;
}

wEnterAction enterAction(wClassKind focused, bool siblingIsDefault) {
  if (focused == wClassKind::button) return wEnterAction::clickFocused;
  if (siblingIsDefault) return wEnterAction::clickDefault;
  if (focused == wClassKind::checkBox || focused == wClassKind::radioButton) {
    return wEnterAction::clickFocused;
  }
  return wEnterAction::none;
}

bool showsAsDefault(bool focusedIsButton, bool isTheFocused, bool defaultFlag) {
  return focusedIsButton ? isTheFocused : defaultFlag;
}

std::vector<std::uint32_t> sizeEventsFor(std::uint64_t sizeType) {
  switch (sizeType) {
    case 0:
      return {wEvent_Size};
    case 1:
      return {wEvent_Minimize};
    case 2:
      return {wEvent_Maximize, wEvent_Size};
    default:
      return {};
  }
}

std::optional<std::uint32_t> acceleratorCommand(std::uint64_t first, std::int64_t second) {
  if (second != 0 || ((first >> 16) & 0xFFFF) != 1) return std::nullopt;
  return static_cast<std::uint32_t>(first & 0xFFFF);
}

std::optional<std::uint32_t> commonMouseEventFor(std::uint32_t notifyCode) {
  // The codes count down from NM_FIRST (0): NM_CLICK is -2.
  switch (static_cast<std::int32_t>(notifyCode)) {
    case -2:
      return wEvent_NmClick;
    case -3:
      return wEvent_NmDoubleClick;
    case -5:
      return wEvent_NmRightClick;
    case -6:
      return wEvent_NmRightDoubleClick;
    default:
      return std::nullopt;
  }
}

}  // namespace setup
