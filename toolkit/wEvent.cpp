#include "toolkit/wEvent.h"

#include "toolkit/wEventTarget.h"

namespace setup {
namespace {

struct KindRange {
  std::uint32_t first;
  std::uint32_t last;
  wEventKind kind;
};

// Sorted by first number; ranges do not overlap.
constexpr KindRange kindRanges[] = {
    {3, 3, wEventKind::move},
    {123, 123, wEventKind::contextMenu},
    {160, 169, wEventKind::mouse},
    {171, 173, wEventKind::mouse},
    {256, 258, wEventKind::key},
    {260, 261, wEventKind::key},
    {265, 265, wEventKind::key},
    {512, 522, wEventKind::mouse},
    {526, 526, wEventKind::mouse},
    {534, 534, wEventKind::move},
    {673, 673, wEventKind::mouse},
    {675, 675, wEventKind::mouse},
    {32789, 32789, wEventKind::mouse},
    {32790, 32793, wEventKind::size},
    {32794, 32794, wEventKind::move},
    {32795, 32806, wEventKind::scroll},
    {32807, 32818, wEventKind::controlRange1},
    {32819, 32824, wEventKind::controlRange2},
    {32825, 32834, wEventKind::controlRange3},
    {32835, 32835, wEventKind::navigation},
    {32836, 32836, wEventKind::setCursor},
    {32837, 32842, wEventKind::commonMouse},
    {32843, 32855, wEventKind::commandRange1},
    {32856, 32878, wEventKind::commandRange2},
    {32879, 32895, wEventKind::commandRange3},
    {32896, 32902, wEventKind::commandRange4},
    {32903, 32903, wEventKind::commandRange5},
    {32904, 32904, wEventKind::commandRange6},
    {32905, 32914, wEventKind::commandRange7},
    {32915, 32915, wEventKind::commandRange8},
    {32916, 32960, wEventKind::command},
};

std::int32_t signed16(std::uint64_t word) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFF));
}

}  // namespace

wEventKind eventKindOf(std::uint32_t message) {
  for (const KindRange& range : kindRanges) {
    if (message < range.first) break;
    if (message <= range.last) return range.kind;
  }
  return wEventKind::plain;
}

bool isCommandKind(wEventKind kind) {
  return kind >= wEventKind::commonMouse;
}

wEvent::wEvent(wEventTarget& target, wHandle handle, std::uint32_t message, std::uint64_t first,
               std::int64_t second)
    : target_(&target),
      handle_(handle),
      message_(message),
      kind_(eventKindOf(message)),
      commandId_(isCommandKind(kind_) ? static_cast<std::uint32_t>(first & 0xFFFF) : 0),
      first_(first),
      second_(second),
      propagationLevel_(isCommandKind(kind_) ? commandPropagation : 0) {}

bool wEvent::shiftDown() const {
  return keyDown(vk::leftShift) || keyDown(vk::rightShift) || keyDown(vk::shift);
}

bool wEvent::controlDown() const {
  return keyDown(vk::leftControl) || keyDown(vk::rightControl) || keyDown(vk::control);
}

wPoint wEvent::mouseClientPosition() {
  if (mouseClient_.x == wDefault) mouseClient_ = target_->screenToClient(mouse_);
  return mouseClient_;
}

wSize wEvent::size() const {
  const auto packed = static_cast<std::uint64_t>(second_);
  return {static_cast<std::int32_t>(packed & 0xFFFF),
          static_cast<std::int32_t>((packed >> 16) & 0xFFFF)};
}

wPoint wEvent::position() const {
  const auto packed = static_cast<std::uint64_t>(second_);
  return {signed16(packed), signed16(packed >> 16)};
}

}  // namespace setup
