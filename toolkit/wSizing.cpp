#include "toolkit/wSizing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace setup {

std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t product = std::int64_t{a} * b;
  const bool negative = (product < 0) != (c < 0);
  // |product| < 2^62 and |c| <= 2^31, so neither the absolute values nor the sum overflow.
  const std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = c < 0 ? -std::int64_t{c} : std::int64_t{c};
  const std::int64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(negative ? -quotient : quotient);
}

wSize buttonDefaultSize(wSize sample) {
  const std::int32_t average = (sample.width / 26 + 1) / 2;
  return {mulDiv(average, 50, 4), mulDiv(sample.height, 14, 8)};
}

wDefaultSizeRule defaultSizeRule(wClassKind kind) {
  switch (kind) {
    case wClassKind::button:
      return wDefaultSizeRule::buttonLetters;
    case wClassKind::frame:
      return wDefaultSizeRule::frame;
    case wClassKind::staticText:
      return wDefaultSizeRule::staticText;
    case wClassKind::textCtrl:
      return wDefaultSizeRule::textCtrl;
    case wClassKind::toolBar:
      return wDefaultSizeRule::toolBar;
    case wClassKind::comboBox:
    case wClassKind::listBox:
      return wDefaultSizeRule::scaledBestSize;
    default:
      return wDefaultSizeRule::parentClient;
  }
}

wSize textDefaultSize(std::int32_t probeHeight, bool multiLine) {
  return {120, multiLine ? probeHeight * 3 : probeHeight};
}

wSize toolBarDefaultSize(wSize ideal, wSize button, wSize padding) {
  // A flat bar draws its buttons below a divider line; the ideal size counts
  // the buttons only, and a bar of exactly that size cuts their lower edge.
  return {(ideal.width > 0 ? ideal.width : button.width) + padding.width,
          (ideal.height > 0 ? ideal.height : button.height) + padding.height};
}

wSize staticBestSize(wSize textExtent) {
  return {textExtent.width + 2, textExtent.height + 2};
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

wSize textBestSize(const wTextMeasure& m, std::uint32_t style) {
  wSize size{m.widestLine + 11 + m.leftMargin + m.rightMargin, m.lineCount * m.lineHeight + 2};
  if ((style & ws::vScroll) != 0) size.width += m.vScrollWidth;
  if ((style & ws::hScroll) != 0) size.height += m.hScrollHeight;
  return size;
}

std::int32_t comboBestWidth(std::int32_t probeHeight, std::span<const std::int32_t> itemWidths,
                            double scale, std::int32_t buttonWidth) {
  std::int32_t widest = probeHeight;
  for (std::int32_t width : itemWidths) {
    widest = std::max(widest, static_cast<std::int32_t>(std::trunc(width * scale)) + 8);
  }
  return widest + buttonWidth + 2;
}

wSize simpleComboSize(const wSimpleComboMeasure& m, std::int32_t minimumItems) {
  const std::int32_t shown =
      std::clamp(m.itemCount, std::min(minimumItems, wSimpleComboMostItems), wSimpleComboMostItems);
  const bool scrolls = m.itemCount > shown;
  return {m.width + (scrolls ? m.vScrollWidth : 0), m.itemHeight * shown + m.probeHeight + 4};
}

wSize plainBestSize(std::span<const wRect> children, wSize nonClient, wSize current) {
  if (children.empty()) return current;
  std::int32_t right = std::numeric_limits<std::int32_t>::min();
  std::int32_t bottom = std::numeric_limits<std::int32_t>::min();
  for (const wRect& r : children) {
    right = std::max(right, r.right);
    bottom = std::max(bottom, r.bottom);
  }
  return {right + nonClient.width, bottom + nonClient.height};
}

wClientArea clientArea(wSize nativeClient, wMargins margins, std::span<const wDockedBarRoom> bars) {
  wClientArea area{{margins.left, margins.top},
                   {nativeClient.width - margins.left - margins.right,
                    nativeClient.height - margins.top - margins.bottom}};
  for (const wDockedBarRoom& bar : bars) {
    if (!bar.takesRoom) continue;
    switch (bar.side) {
      case wSide::left:
        area.origin.x += bar.size.width;
        area.size.width -= bar.size.width;
        break;
      case wSide::right:
        area.size.width -= bar.size.width;
        break;
      case wSide::bottom:
        area.size.height -= bar.size.height;
        break;
      default:
        area.origin.y += bar.size.height;
        area.size.height -= bar.size.height;
        break;
    }
  }
  return area;
}

}  // namespace setup
