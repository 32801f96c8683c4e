// Layout rules of the text panel and the title line, free of the terminal.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "tui/panel.h"
#include "tui/title.h"

namespace {

struct FitCase {
  std::string text;
  int column;
  int width;
  bool shown;
  std::string expected;
};

class PanelFitText : public ::testing::TestWithParam<FitCase> {};

TEST_P(PanelFitText, RefusesTooWideShortensPastFrameAndMasksControls) {
  const FitCase& c = GetParam();
  std::string shown = "unchanged";
  EXPECT_EQ(panelFitText(c.text.c_str(), c.column, c.width, &shown), c.shown);
  if (c.shown) {
    EXPECT_EQ(shown, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PanelFitText,
    ::testing::Values(FitCase{std::string(80, 'a'), 1, 80, true, std::string(74, 'a') + "..."},
                      FitCase{std::string(81, 'a'), 1, 80, false, ""},
                      FitCase{std::string(48, 'b'), 30, 80, true, std::string(48, 'b')},
                      FitCase{std::string(49, 'b'), 30, 80, true, std::string(45, 'b') + "..."},
                      FitCase{"a\tb\x01"
                              "c\xe9",
                              5, 80, true, "a.b.c."},
                      FitCase{"abcdef", 76, 80, false, ""},  // room 2: not even "..." fits
                      FitCase{"", 1, 80, true, ""}));

// In a UTF-8 locale a translated label keeps its letters, while a stray
// Latin-1 byte from a record value, or a character cut by shortening, is masked.
TEST(PanelFitText, MultibyteLocaleKeepsWholeCharactersOnly) {
  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  std::string shown;
  EXPECT_TRUE(
      panelFitText("Oberfl\xc3\xa4"
                   "che",
                   1, 80, &shown));
  EXPECT_EQ(shown,
            "Oberfl\xc3\xa4"
            "che");
  EXPECT_TRUE(panelFitText("caf\xe9\x01", 1, 80, &shown));
  EXPECT_EQ(shown, "caf..");
  EXPECT_TRUE(
      panelFitText("abcdefgh\xc3\xa4"
                   "zzz",
                   1, 15, &shown));  // cut inside the two-byte letter
  EXPECT_EQ(shown, "abcdefgh....");
  std::setlocale(LC_CTYPE, previous.c_str());
}

TEST(PanelFitText, AbsentTextIsRefused) {
  std::string shown;
  EXPECT_FALSE(panelFitText(nullptr, 1, 80, &shown));
}

struct MergeCase {
  std::string oldText;
  int column;
  std::string text;
  std::string expected;
};

class PanelMergeLine : public ::testing::TestWithParam<MergeCase> {};

TEST_P(PanelMergeLine, OverlaysAtColumnAndDropsTrailingBlanks) {
  const MergeCase& c = GetParam();
  EXPECT_EQ(panelMergeLine(c.oldText.c_str(), c.column, c.text.c_str()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PanelMergeLine,
    ::testing::Values(MergeCase{" ", 1, "abcde", "abcde"}, MergeCase{"abcde", 10, "x", "abcde    x"},
                      MergeCase{"abcde", 1, "XY", "XYcde"}, MergeCase{" ", 5, "label   ", "    label"},
                      MergeCase{" ", 1, "   ", " "},        // a row never shrinks below one cell
                      MergeCase{"keep", 0, "Xab", "abep"},  // cells before the line are dropped
                      MergeCase{" ", 509, "abcdef", std::string(508, ' ') + "abc"}));

TEST(PanelMergeLine, OldTextLongerThanTheLineIsCutToItsCells) {
  const std::string longText(600, 'z');
  EXPECT_EQ(panelMergeLine(longText.c_str(), 1, "a"), "a" + std::string(PanelLineCells - 1, 'z'));
}

struct BreakCase {
  std::string rest;
  std::size_t width;
  std::size_t expected;
};

class PanelBreakAt : public ::testing::TestWithParam<BreakCase> {};

TEST_P(PanelBreakAt, BreaksAtLastBlankWithinWidthOrHardAtWidth) {
  const BreakCase& c = GetParam();
  EXPECT_EQ(panelBreakAt(c.rest, c.width), c.expected);
}

const std::string HelpText = "Displays this on-screen help.  All other commands will be ignored.";

INSTANTIATE_TEST_SUITE_P(
    Cases, PanelBreakAt,
    ::testing::Values(BreakCase{HelpText, 57, 54},        // "... commands will" | "be ignored."
                      BreakCase{HelpText, 58, 57},        // "... will be" | "ignored."
                      BreakCase{"abcdefghij klm", 5, 5},  // a word longer than the width
                      BreakCase{" abcdefgh", 4, 4}));     // a blank at position 0 is no break

struct TitleCase {
  const char* versionText;
  int width;
  std::string expected;
};

class TitleLine : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleLine, PutsVersionNextToRightFrameAndNeverPastIt) {
  const TitleCase& c = GetParam();
  EXPECT_EQ(titleLine(c.versionText, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TitleLine,
    ::testing::Values(TitleCase{EditorVersionText, 80,
                                "Altura Korvane Image-safe Data Editor" + std::string(33, ' ') + "v4.00.05"},
                      TitleCase{ViewerVersionText, 48,
                                "Altura Korvane Image-safe Data Viewer" + std::string(1, ' ') + "v4.00.05"},
                      TitleCase{ViewerVersionText, 40, "Altura Korvane Image-safe Data Viewer "},
                      TitleCase{ViewerVersionText, 1, ""}));

}  // namespace
