// Layer-colour stepping of Tabs: every row of the colour table, the darkening
// walk from the default colour, and the colours that cannot be read.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "components/tabs/tabs.h"
#include "core/error.h"

namespace halvane {
namespace {

struct ColourStep {
  const char* before;
  bool lighter;
  const char* after;
};

void PrintTo(const ColourStep& row, std::ostream* os) {
  *os << row.before << (row.lighter ? " next " : " previous ") << row.after;
}

class ColourTable : public ::testing::TestWithParam<ColourStep> {};

TEST_P(ColourTable, StepsEachChannel) {
  const ColourStep& row = GetParam();
  Tabs tabs;
  tabs.LayerColor(row.before);
  if (row.lighter) {
    tabs.MoveNextLayerColor();
  } else {
    tabs.MovePreviousLayerColor();
  }
  EXPECT_EQ(tabs.LayerColor(), row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, ColourTable,
                         ::testing::Values(ColourStep{"e0e0e0", true, "EFEFEF"}, ColourStep{"EFEFEF", true, "FEFEFE"},
                                           ColourStep{"FEFEFE", true, "FFFFFF"},  // 269 clamps to 255
                                           ColourStep{"FFFFFF", true, "FFFFFF"},
                                           ColourStep{"000102", true, "0F1011"},  // F padded to 0F
                                           ColourStep{"f5f0f1", true, "FFFFFF"},  // 260, 255, 256
                                           ColourStep{"e0e0e0", false, "D1D1D1"},
                                           ColourStep{"100f0e", false, "0100FF"},  // -1 wraps to 255
                                           ColourStep{"0f0f0f", false, "000000"}, ColourStep{"0F0F0F", false, "000000"},
                                           ColourStep{"0a0a0a", false, "FFFFFF"},  // -5 wraps to 255
                                           ColourStep{"000000", false, "FFFFFF"},
                                           // Five characters: the blue channel is the single "e" (14).
                                           ColourStep{"e0e0e", true, "EFEF1D"}, ColourStep{"e0e0e", false, "D1D1FF"},
                                           // Characters after the sixth are read by no step and dropped.
                                           ColourStep{"e0e0e0ff", true, "EFEFEF"}));

TEST(TabsColour, FifteenDarkerStepsFromTheDefaultWrapToWhite) {
  Tabs tabs;
  ASSERT_EQ(tabs.LayerColor(), "e0e0e0");
  const char* expected[15] = {"D1D1D1", "C2C2C2", "B3B3B3", "A4A4A4", "959595", "868686", "777777", "686868",
                              "595959", "4A4A4A", "3B3B3B", "2C2C2C", "1D1D1D", "0E0E0E", "FFFFFF"};
  for (int i = 0; i < 15; ++i) {
    tabs.MovePreviousLayerColor();
    EXPECT_EQ(tabs.LayerColor(), expected[i]) << "after step " << (i + 1);
  }
}

// A colour that cannot be read raises type mismatch from the Tabs source and
// stays exactly as it was.
void ExpectUnreadable(const std::string& colour, bool lighter) {
  Tabs tabs;
  tabs.LayerColor(colour);
  try {
    if (lighter) {
      tabs.MoveNextLayerColor();
    } else {
      tabs.MovePreviousLayerColor();
    }
    ADD_FAILURE() << "no error for \"" << colour << "\"";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 13) << colour;
    EXPECT_EQ(e.Source(), "Halvane.Tabs") << colour;
    EXPECT_EQ(e.Description(), "Type mismatch") << colour;
    EXPECT_EQ(e.Status(), 0x800A000Du);
  }
  EXPECT_EQ(tabs.LayerColor(), colour);
}

TEST(TabsColour, UnreadableColoursRaiseAndStayUnchanged) {
  for (bool lighter : {true, false}) {
    ExpectUnreadable("#e0e0e0", lighter);  // "&H#e" is no number
    ExpectUnreadable("e0e0", lighter);     // third channel empty: "&H" alone
    ExpectUnreadable("", lighter);
    ExpectUnreadable("e0e0g0", lighter);  // a digit that is not hexadecimal
    ExpectUnreadable("zz0000", lighter);  // fails in the first channel
  }
}

}  // namespace
}  // namespace halvane
