// The toolkit's arithmetic and decisions that need no window: sizes, styles,
// client areas, buddies and keyboard navigation, over tables of cases.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/wBuddy.h"
#include "toolkit/wEvent.h"
#include "toolkit/wEventTarget.h"
#include "toolkit/wNavigation.h"
#include "toolkit/wScroll.h"
#include "toolkit/wSizing.h"
#include "toolkit/wStyle.h"

namespace setup {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(MulDiv, RoundsToNearestHalvesAwayFromZero) {
  struct Case {
    std::int32_t a, b, c, expected;
  };
  const Case cases[] = {
      {7, 50, 4, 88},  // 87.5
      {16, 14, 8, 28},    {1, 1, 2, 1},         {-1, 1, 2, -1},
      {1, -1, 2, -1},     {1, 1, -2, -1},       {-1, -1, -2, -1},
      {3, 1, 2, 2},       {5, 1, 4, 1},  // 1.25
      {7, 1, 4, 2},       {0, 5, 3, 0},         {10, 10, 0, -1},
      {kMax, 2, 2, kMax}, {kMax, 2, 1, -1},     {kMax, kMax, kMax, kMax},
      {kMin, 1, 1, -1},   {-kMax, 1, 1, -kMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + " * " + std::to_string(c.b) + " / " + std::to_string(c.c));
    EXPECT_EQ(mulDiv(c.a, c.b, c.c), c.expected);
  }
}

TEST(DefaultSize, ButtonIsFiftyByFourteenDialogUnits) {
  struct Case {
    wSize sample;
    wSize expected;
  };
  const Case cases[] = {
      {{364, 16}, {88, 28}},                       // average 7 (364 / 52)
      {{390, 16}, {100, 28}},                      // 7.5 rounds to 8
      {{389, 13}, {88, 23}},                       // 389 / 26 = 14 -> 7; 13 * 14 / 8 = 22.75
      {{0, 0}, {0, 0}},       {{25, 8}, {0, 14}},  // a font narrower than a pixel a letter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sample.width) + "x" + std::to_string(c.sample.height));
    EXPECT_EQ(buttonDefaultSize(c.sample), c.expected);
  }
}

TEST(DefaultSize, RuleByClass) {
  struct Case {
    wClassKind kind;
    wDefaultSizeRule rule;
  };
  const Case cases[] = {
      {wClassKind::button, wDefaultSizeRule::buttonLetters},
      {wClassKind::frame, wDefaultSizeRule::frame},
      {wClassKind::staticText, wDefaultSizeRule::staticText},
      {wClassKind::textCtrl, wDefaultSizeRule::textCtrl},
      {wClassKind::toolBar, wDefaultSizeRule::toolBar},
      {wClassKind::comboBox, wDefaultSizeRule::scaledBestSize},
      {wClassKind::listBox, wDefaultSizeRule::scaledBestSize},
      {wClassKind::panel, wDefaultSizeRule::parentClient},
      {wClassKind::window, wDefaultSizeRule::parentClient},
      {wClassKind::checkBox, wDefaultSizeRule::parentClient},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(className(c.kind));
    EXPECT_EQ(defaultSizeRule(c.kind), c.rule);
  }
  EXPECT_EQ(textDefaultSize(21, false), (wSize{120, 21}));
  EXPECT_EQ(textDefaultSize(21, true), (wSize{120, 63}));
  // The padding once more around the buttons; the button where nothing was measured.
  EXPECT_EQ(toolBarDefaultSize({23, 22}, {30, 30}, {7, 6}), (wSize{30, 28}));
  EXPECT_EQ(toolBarDefaultSize({0, 0}, {23, 22}, {7, 6}), (wSize{30, 28}));
  EXPECT_EQ(toolBarDefaultSize({128, 0}, {39, 36}, {0, 0}), (wSize{128, 36}));
}

TEST(BestSize, StaticTextIsItsExtentPlusTwo) {
  EXPECT_EQ(staticBestSize({41, 13}), (wSize{43, 15}));
  EXPECT_EQ(staticBestSize({0, 0}), (wSize{2, 2}));
}

TEST(BestSize, LinesSplitAtEveryKindOfBreak) {
  using Lines = std::vector<std::string_view>;
  struct Case {
    std::string_view text;
    Lines expected;
  };
  const Case cases[] = {
      {"", {""}},
      {"one", {"one"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\n\rb", {"a", "", "b"}},  // "\n\r" is two breaks, not one
      {"a\r\n", {"a", ""}},
      {"\n", {"", ""}},
      {"a\r\n\r\nb", {"a", "", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(splitLines(c.text), c.expected);
  }
}

TEST(BestSize, TextFieldAddsMarginsBordersAndScrollBars) {
  struct Case {
    wTextMeasure m;
    std::uint32_t style;
    wSize expected;
  };
  const Case cases[] = {
      {{100, 13, 1, 1, 1, 17, 17}, 0x50010080, {113, 15}},
      {{100, 13, 3, 2, 3, 17, 17}, 0x50010084, {116, 41}},
      {{100, 13, 1, 0, 0, 17, 16}, ws::vScroll, {128, 15}},
      {{100, 13, 1, 0, 0, 17, 16}, ws::hScroll, {111, 31}},
      {{0, 13, 1, 0, 0, 17, 16}, ws::vScroll | ws::hScroll, {28, 31}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textBestSize(c.m, c.style), c.expected);
  }
}

TEST(BestSize, ComboBoxWidthFromItsWidestItem) {
  struct Case {
    std::int32_t probe;
    std::vector<std::int32_t> items;
    double scale;
    std::int32_t button;
    std::int32_t expected;
  };
  const Case cases[] = {
      {21, {}, 1.0, 17, 21 + 17 + 2},   // no items: at least as wide as high
      {21, {5}, 1.0, 17, 21 + 17 + 2},  // 5 + 8 < 21
      {21, {40, 33}, 1.0, 17, 48 + 17 + 2}, {21, {40, 33}, 1.3, 17, 60 + 17 + 2},  // 52 + 8
      {21, {41}, 1.3, 17, 61 + 17 + 2},  // 53.3 truncated before adding 8
      {21, {19}, 1.3, 17, 32 + 17 + 2},  // 24.7 -> 24
  };
  for (const Case& c : cases) {
    EXPECT_EQ(comboBestWidth(c.probe, c.items, c.scale, c.button), c.expected);
  }
}

TEST(BestSize, SimpleComboBoxShowsThreeToTenItems) {
  // A drop-down 100 wide, a field 24 high, items 16 high, a scroll bar 17 wide.
  struct Case {
    std::int32_t items;
    std::int32_t minimum;
    wSize expected;
  };
  const Case cases[] = {
      {0, 3, {100, 3 * 16 + 28}},    // an empty list is still three items high
      {5, 3, {100, 5 * 16 + 28}},    //
      {10, 3, {100, 10 * 16 + 28}},  // the last count without a scroll bar
      {11, 3, {117, 10 * 16 + 28}},  // scrolls: wider by the bar
      {0, 1, {100, 1 * 16 + 28}},    //
      {2, 12, {100, 10 * 16 + 28}},  // a minimum above ten is ten
      {11, 12, {117, 10 * 16 + 28}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.items) + " items, at least " + std::to_string(c.minimum));
    EXPECT_EQ(simpleComboSize({100, 24, 16, c.items, 17}, c.minimum), c.expected);
  }
}

TEST(BestSize, PlainWindowCoversItsChildren) {
  const std::vector<wRect> children = {{20, 20, 120, 41}, {20, 50, 300, 80}, {-5, 0, 10, 10}};
  EXPECT_EQ(plainBestSize(children, {16, 39}, {1, 1}), (wSize{316, 119}));
  EXPECT_EQ(plainBestSize({}, {16, 39}, {640, 480}), (wSize{640, 480}));
}

TEST(Styles, TheStyleWordSplitsIntoNativeStyles) {
  struct Case {
    const char* name;
    std::uint64_t style;
    bool hasParent;
    wNativeStyle expected;
  };
  const Case cases[] = {
      {"frame starts hidden and clips children", 0x02C80000, false, {0x02C80000, 0, false}},
      {"visible top level is shown later", 0x10C80000, false, {0x02C80000, 0, false}},
      {"child is visible", 0, true, {0x50000000, 0, false}},
      {"child keeps its own bits", 0x00010080, true, {0x50010080, 0, false}},
      {"extended style from bits 32 to 59",
       0x0FFFFFFF00000000,
       true,
       {0x50000000, 0x0FFFFFFF, false}},
      {"hidden owner for a top level", ws::hiddenOwner | 0x00C00000, false, {0x02C00000, 0, true}},
      {"no hidden owner for a child", ws::hiddenOwner, true, {0x50000000, 0, false}},
      {"start hidden child", ws::startHidden | 0x10000000, true, {0x40000000, 0, false}},
      {"start hidden with extended style",
       ws::startHidden | (std::uint64_t{0x200} << 32),
       true,
       {0x40000000, 0x200, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const wNativeStyle s = nativeStyle(c.style, c.hasParent);
    EXPECT_EQ(s.style, c.expected.style);
    EXPECT_EQ(s.exStyle, c.expected.exStyle);
    EXPECT_EQ(s.hiddenOwner, c.expected.hiddenOwner);
  }
  const wStyleBits bits = splitStyleBits(0x0000020000000001);
  EXPECT_EQ(bits.style, 1u);
  EXPECT_EQ(bits.exStyle, 0x200u);
}

TEST(Styles, GroupsStartAtTheFirstControlAndAtRadioBorders) {
  struct Case {
    std::optional<wClassKind> previous;
    wClassKind kind;
    bool group;
  };
  const Case cases[] = {
      {std::nullopt, wClassKind::staticText, true},
      {std::nullopt, wClassKind::radioButton, true},
      {wClassKind::staticText, wClassKind::comboBox, false},
      {wClassKind::button, wClassKind::radioButton, true},
      {wClassKind::radioButton, wClassKind::radioButton, false},
      {wClassKind::radioButton, wClassKind::button, true},
      {wClassKind::checkBox, wClassKind::checkBox, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(startsGroup(c.previous, c.kind), c.group);
  }
}

TEST(DockedBars, SideFromTheToolBarStyle) {
  struct Case {
    std::uint32_t style;
    wSide side;
  };
  const Case cases[] = {
      {0x0000, wSide::top},    {0x0001, wSide::top}, {0x0081, wSide::left},  {0x0083, wSide::right},
      {0x0003, wSide::bottom}, {0x0080, wSide::top}, {0x2983, wSide::right}, {0x294C, wSide::top},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dockedBarSide(c.style), c.side) << std::hex << c.style;
  }
  EXPECT_TRUE(dockedBarTakesRoom(true, 0x50002900));
  EXPECT_FALSE(dockedBarTakesRoom(false, 0x50002900));
  EXPECT_FALSE(dockedBarTakesRoom(true, 0x50002900 | 4));
  EXPECT_FALSE(dockedBarTakesRoom(true, 0x50002900 | 8));
  EXPECT_FALSE(dockedBarTakesRoom(true, 0x50002900 | 76));
}

TEST(ClientArea, MarginsAndDockedBarsShrinkItAndMoveItsOrigin) {
  struct Case {
    const char* name;
    wMargins margins;
    std::vector<wDockedBarRoom> bars;
    wClientArea expected;
  };
  const Case cases[] = {
      {"plain", {}, {}, {{0, 0}, {664, 211}}},
      {"margins of 20", {20, 20, 20, 20}, {}, {{20, 20}, {624, 171}}},
      {"top bar", {}, {{wSide::top, {664, 26}, true}}, {{0, 26}, {664, 185}}},
      {"left bar", {}, {{wSide::left, {30, 211}, true}}, {{30, 0}, {634, 211}}},
      {"right and bottom bars keep the origin",
       {5, 5, 5, 5},
       {{wSide::right, {30, 211}, true}, {wSide::bottom, {664, 20}, true}},
       {{5, 5}, {624, 181}}},
      {"a bar that takes no room", {}, {{wSide::top, {24, 24}, false}}, {{0, 0}, {664, 211}}},
      {"two top bars stack",
       {},
       {{wSide::top, {664, 26}, true}, {wSide::top, {664, 10}, true}},
       {{0, 36}, {664, 175}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(clientArea({664, 211}, c.margins, c.bars), c.expected);
  }
}

TEST(Buddy, RectangleOnEachSide) {
  const wRect window{100, 200, 300, 223};  // a 200 x 23 field on screen
  const wBorders even{2, 2, 2, 2};
  const wBorders thickRight{2, 2, 19, 2};  // a vertical scroll bar on the right
  struct Case {
    const char* name;
    wBorders borders;
    wSide side;
    wSize buddy;
    wRect expected;
  };
  const Case cases[] = {
      {"right", even, wSide::right, {24, 24}, {274, 202, 298, 221}},
      {"right, thicker right border", thickRight, wSide::right, {24, 24}, {274, 202, 298, 221}},
      {"left", even, wSide::left, {24, 24}, {102, 202, 126, 221}},
      {"left ignores a thicker right border",
       thickRight,
       wSide::left,
       {24, 24},
       {102, 202, 126, 221}},
      {"top", even, wSide::top, {24, 10}, {102, 202, 298, 212}},
      {"top, thicker right border", thickRight, wSide::top, {24, 10}, {102, 202, 298, 212}},
      {"bottom", even, wSide::bottom, {24, 10}, {102, 211, 298, 221}},
      {"unknown side", even, wSide::none, {24, 24}, {}},
      {"sides are single values", even, static_cast<wSide>(48), {24, 24}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(buddyRect(window, c.borders, c.side, c.buddy), c.expected);
  }
}

TEST(Buddy, BordersAndClientRoom) {
  EXPECT_EQ(measureBorders({100, 200, 300, 223}, {102, 202, 298, 221}, 0), (wBorders{2, 2, 2, 2}));
  EXPECT_EQ(measureBorders({100, 200, 300, 223}, {101, 201, 282, 222}, 1), (wBorders{2, 2, 19, 2}));
  const wRect client{2, 2, 198, 21};
  struct Case {
    wSide side;
    wRect expected;
  };
  const Case cases[] = {
      {wSide::right, {2, 2, 174, 21}}, {wSide::left, {26, 2, 198, 21}},
      {wSide::top, {2, 26, 198, 21}},  {wSide::bottom, {2, 2, 198, -3}},
      {wSide::none, client},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(clientWithoutBuddy(client, c.side, {24, 24}), c.expected);
  }
}

TEST(Navigation, KeysAControlKeeps) {
  constexpr std::uint32_t single = 0x50010080;
  constexpr std::uint32_t multi = single | es::multiLine;
  constexpr std::uint32_t multiReadOnly = multi | es::readOnly;
  struct Case {
    std::uint32_t style;
    bool tabs;
    std::uint32_t key;
    bool claimed;
    bool control = false;  // Ctrl+Tab leaves even a field that accepts tabs
  };
  const Case cases[] = {
      {single, false, vk::left, true},        {single, false, vk::right, true},
      {single, false, vk::up, false},         {single, false, vk::down, false},
      {single, false, vk::enter, false},      {single, true, vk::tab, false},
      {multi, false, vk::up, true},           {multi, false, vk::down, true},
      {multi, false, vk::enter, true},        {multiReadOnly, false, vk::enter, false},
      {multi, false, vk::tab, false},         {multi, true, vk::tab, true},
      {multiReadOnly, false, vk::left, true}, {multi, false, 'A', false},
      {multi, true, vk::tab, false, true},    {multi, true, vk::left, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textFieldClaims(c.style, c.tabs, c.key, c.control), c.claimed)
        << std::hex << c.style << " key " << std::dec << c.key << (c.control ? " with Ctrl" : "");
  }
  // Enter too: it opens the list, and must not also click the default button.
  for (std::uint32_t key : {vk::left, vk::up, vk::right, vk::down, vk::enter}) {
    EXPECT_TRUE(comboBoxClaims(key)) << key;
  }
  for (std::uint32_t key : {vk::tab, vk::pageUp, 36u, 41u})
    EXPECT_FALSE(comboBoxClaims(key)) << key;
}

TEST(Navigation, MnemonicKeysAndLabels) {
  struct KeyCase {
    std::uint32_t character;
    std::optional<char> key;
  };
  const KeyCase keys[] = {
      {'a', 'A'},
      {'I', 'I'},
      {'z', 'Z'},
      {'0', '0'},
      {'9', '9'},
      {'&', std::nullopt},
      {' ', std::nullopt},
      {0xE9, std::nullopt},  // é
      {0x149, std::nullopt},
  };
  for (const KeyCase& c : keys) EXPECT_EQ(mnemonicKey(c.character), c.key) << c.character;

  struct LabelCase {
    std::string_view label;
    char key;
    bool has;
  };
  const LabelCase labels[] = {
      {"&Installer", 'I', true}, {"&installer", 'I', true}, {"&Annuler", 'I', false},
      {"&Annuler", 'A', true},   {"Ann&uler", 'U', true},   {"Installer", 'I', false},
      {"&", 'I', false},         {"a&&b", 'B', true},  // a plain search, as the labels hold no "&&"
      {"x&1", '1', true},        {"Priv&é", 'E', false},
  };
  for (const LabelCase& c : labels) {
    EXPECT_EQ(hasMnemonic(c.label, c.key), c.has) << c.label << " " << c.key;
  }
}

TEST(Navigation, AltLetterTargetWrapsAroundFromTheFocusedControl) {
  const std::vector<wMnemonicCandidate> siblings = {
      {"Installer dans la biblioth\xc3\xa8que:", false},
      {"Bureau", true},
      {"&Palette", false},  // a static text never takes the focus
      {"&Installer", true},
      {"&Annuler", true},
      {"&Aussi", true},
  };
  struct Case {
    std::size_t focused;
    char key;
    std::optional<std::size_t> target;
  };
  const Case cases[] = {
      {1, 'I', 3},
      {4, 'I', 3},  // wraps around
      {1, 'A', 4},
      {4, 'A', 5},
      {5, 'A', 4},
      {3, 'I', 3},  // only the focused one matches: it comes last
      {1, 'P', std::nullopt},
      {1, 'X', std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mnemonicTarget(siblings, c.focused, c.key), c.target) << c.focused << " " << c.key;
  }
  EXPECT_EQ(mnemonicTarget({}, 0, 'A'), std::nullopt);
  EXPECT_TRUE(clickedByMnemonic(wClassKind::button));
  EXPECT_TRUE(clickedByMnemonic(wClassKind::radioButton));
  EXPECT_FALSE(clickedByMnemonic(wClassKind::comboBox));
}

TEST(Navigation, EnterClicksTheFocusedOrTheDefaultButton) {
  struct Case {
    wClassKind focused;
    bool defaultSibling;
    wEnterAction action;
  };
  const Case cases[] = {
      {wClassKind::button, true, wEnterAction::clickFocused},
      {wClassKind::button, false, wEnterAction::clickFocused},
      {wClassKind::textCtrl, true, wEnterAction::clickDefault},
      {wClassKind::textCtrl, false, wEnterAction::none},
      {wClassKind::comboBox, true, wEnterAction::clickDefault},
      {wClassKind::checkBox, true, wEnterAction::clickDefault},
      {wClassKind::checkBox, false, wEnterAction::clickFocused},
      {wClassKind::radioButton, false, wEnterAction::clickFocused},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(enterAction(c.focused, c.defaultSibling), c.action) << className(c.focused);
  }
}

TEST(Navigation, TheFocusedButtonOrTheDefaultOneShowsAsDefault) {
  struct Case {
    bool focusedIsButton, isTheFocused, defaultFlag, shows;
  };
  const Case cases[] = {
      {true, true, false, true},  {true, false, true, false},   {true, false, false, false},
      {false, false, true, true}, {false, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(showsAsDefault(c.focusedIsButton, c.isTheFocused, c.defaultFlag), c.shows);
  }
}

TEST(BuiltInHandlers, SizeMessagesAndAcceleratorCommands) {
  using Ids = std::vector<std::uint32_t>;
  EXPECT_EQ(sizeEventsFor(0), (Ids{wEvent_Size}));
  EXPECT_EQ(sizeEventsFor(1), (Ids{wEvent_Minimize}));
  EXPECT_EQ(sizeEventsFor(2), (Ids{wEvent_Maximize, wEvent_Size}));
  EXPECT_EQ(sizeEventsFor(3), Ids{});
  EXPECT_EQ(sizeEventsFor(4), Ids{});

  EXPECT_EQ(acceleratorCommand(0x00011234, 0), std::optional<std::uint32_t>(0x1234));
  EXPECT_EQ(acceleratorCommand(0x00001234, 0), std::nullopt);       // a menu
  EXPECT_EQ(acceleratorCommand(0x00011234, 0x1000), std::nullopt);  // a control
  EXPECT_EQ(acceleratorCommand(0x00001234, 0x1000), std::nullopt);
}

TEST(BuiltInHandlers, CommonControlMouseNotifications) {
  struct Case {
    std::int32_t code;
    std::optional<std::uint32_t> event;
  };
  const Case cases[] = {
      {-2, wEvent_NmClick},      {-3, wEvent_NmDoubleClick},
      {-5, wEvent_NmRightClick}, {-6, wEvent_NmRightDoubleClick},
      {-1, std::nullopt},    // NM_OUTOFMEMORY
      {-4, std::nullopt},    // NM_RETURN
      {-7, std::nullopt},    // NM_SETFOCUS
      {-710, std::nullopt},  // TBN_DROPDOWN
      {2, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(commonMouseEventFor(static_cast<std::uint32_t>(c.code)), c.event) << c.code;
    if (c.event) {
      EXPECT_TRUE(isCommandKind(eventKindOf(*c.event))) << "they climb";
    }
  }
}

TEST(ScrollBars, EachRequestRaisesTheGenericEventThenItsOwn) {
  using Ids = std::vector<std::uint32_t>;
  const std::uint32_t own[] = {
      wEvent_ScrollLineUp,   wEvent_ScrollLineDown,     wEvent_ScrollPageUp,
      wEvent_ScrollPageDown, wEvent_ScrollThumbRelease, wEvent_ScrollThumbTrack,
      wEvent_ScrollTop,      wEvent_ScrollBottom,       wEvent_ScrollEnd};
  for (std::uint32_t code = sb::lineUp; code <= sb::endScroll; ++code) {
    EXPECT_EQ(scrollEventsFor(code), (Ids{wEvent_Scroll, own[code]})) << code;
    EXPECT_EQ(eventKindOf(own[code]), wEventKind::scroll);
  }
  EXPECT_EQ(scrollEventsFor(9), Ids{wEvent_Scroll});
  EXPECT_EQ(scrollEventsFor(0xFFFF), Ids{wEvent_Scroll});
  EXPECT_FALSE(isCommandKind(eventKindOf(wEvent_Scroll))) << "they stay on their window";
}

TEST(ScrollBars, RequestsMoveTheThumbWithinTheRange) {
  constexpr std::uint32_t kAllPages = 0xFFFFFFFF;
  struct Case {
    const char* name;
    wScrollRange range;
    std::uint32_t code;
    std::int32_t track;
    std::int32_t expected;
  };
  const wScrollRange mid{0, 99, 10, 50};  // the thumb goes from 0 to 90
  const Case cases[] = {
      {"line up", mid, sb::lineUp, 0, 49},
      {"line down", mid, sb::lineDown, 0, 51},
      {"page up", mid, sb::pageUp, 0, 40},
      {"page down", mid, sb::pageDown, 0, 60},
      {"thumb released", mid, sb::thumbPosition, 77, 77},
      {"thumb dragged past the end", mid, sb::thumbTrack, 95, 90},
      {"thumb dragged before the start", {-50, 50, 10, 0}, sb::thumbTrack, -80, -50},
      {"top", mid, sb::top, 0, 0},
      {"bottom", mid, sb::bottom, 0, 90},
      {"end of the request", mid, sb::endScroll, 7, 50},
      {"unknown request", mid, 9, 7, 50},
      {"line up at the top", {0, 99, 10, 0}, sb::lineUp, 0, 0},
      {"line down at the bottom", {0, 99, 10, 90}, sb::lineDown, 0, 90},
      {"page down near the bottom", {0, 99, 10, 85}, sb::pageDown, 0, 90},
      {"no page: pages are lines, the end is the maximum", {0, 99, 0, 99}, sb::pageUp, 0, 98},
      {"a page wider than the range", {0, 9, 20, 0}, sb::pageDown, 0, 0},
      {"no wrap at the top of 32 bits", {kMin, kMax, 0, kMax}, sb::pageDown, 0, kMax},
      {"no wrap at the bottom of 32 bits", {kMin, kMax, 0, kMin}, sb::lineUp, 0, kMin},
      {"a page one short of 2^32 units", {kMin, kMax, kAllPages, 5}, sb::bottom, 0, kMin + 1},
      {"a stale position outside the range", {0, 99, 10, 500}, sb::endScroll, 0, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scrolledPosition(c.range, c.code, c.track), c.expected);
  }
  EXPECT_EQ(lastScrollPosition(mid), 90);
}

TEST(ScrollBars, EventsCarryTheBarAndThePosition) {
  wEventTarget target;
  for (const wScrollBar bar : {wScrollBar::horizontal, wScrollBar::vertical}) {
    const wEvent e(target, nullptr, wEvent_ScrollThumbTrack, scrollEventFirst(sb::thumbTrack, bar),
                   kMin);
    EXPECT_EQ(e.scrollBar(), bar);
    EXPECT_EQ(e.scrollPosition(), kMin);
    EXPECT_EQ(e.first() & 0xFFFF, sb::thumbTrack);
  }
}

TEST(ClassTree, TypeTestsByClass) {
  struct Case {
    wClassKind kind, base;
    bool is;
  };
  const Case cases[] = {
      {wClassKind::button, wClassKind::control, true},
      {wClassKind::button, wClassKind::window, true},
      {wClassKind::button, wClassKind::button, true},
      {wClassKind::checkBox, wClassKind::button, false},
      {wClassKind::toolBar, wClassKind::control, true},
      {wClassKind::frame, wClassKind::control, false},
      {wClassKind::panel, wClassKind::window, true},
      {wClassKind::window, wClassKind::frame, false},
      {wClassKind::statusBar, wClassKind::control, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isKindOf(c.kind, c.base), c.is) << className(c.kind) << " " << className(c.base);
  }
  EXPECT_TRUE(isDockedBar(wClassKind::toolBar));
  EXPECT_TRUE(isDockedBar(wClassKind::statusBar));
  EXPECT_FALSE(isDockedBar(wClassKind::panel));
  EXPECT_FALSE(isDockedBar(wClassKind::textCtrl));
}

}  // namespace
}  // namespace setup
