// Output texts with fields: line ends, fields used several times or not at
// all, values spliced unscanned, texts already made, appending, and the decimal
// text of numbers at its digit boundaries.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text_template.h"

namespace halvane::text {
namespace {

inline constexpr std::string_view kRowRaw = R"(<a href="@URI@">@Name@</a>
<b>@Name@@Name@</b>
)";
inline constexpr auto kRow = Compile<kRowRaw>({"Name", "URI"});

inline constexpr std::string_view kFieldsOnlyRaw = "@A@@B@";
inline constexpr auto kFieldsOnly = Compile<kFieldsOnlyRaw>({"B", "A"});

inline constexpr std::string_view kPlainRaw = "one\ntwo\n\nthree";
inline constexpr auto kPlain = Compile<kPlainRaw>();

TEST(TextTemplate, FillsEveryFieldWithCrLfLineEnds) {
  EXPECT_EQ(kPlain.literal(), "one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(Build(Fill<kPlain>()), kPlain.literal());
  EXPECT_EQ(Build(Fill<kRow>("x", "/u")), "<a href=\"/u\">x</a>\r\n<b>xx</b>\r\n");
  // Empty values, values holding markers and line ends are copied as they are.
  EXPECT_EQ(Build(Fill<kRow>("", "")), "<a href=\"\"></a>\r\n<b></b>\r\n");
  EXPECT_EQ(Build(Fill<kRow>("@Name@", "a\nb")), "<a href=\"a\nb\">@Name@</a>\r\n<b>@Name@@Name@</b>\r\n");
  // Names in a different order from the fields, no literal text at all.
  EXPECT_EQ(Build(Fill<kFieldsOnly>("b", "a")), "ab");
  EXPECT_EQ(Build(Fill<kFieldsOnly>("", "")), "");
}

TEST(TextTemplate, PartsFilledOrAlreadyMade) {
  const std::string long_value(1000, 'v');
  EXPECT_EQ(Build(Fill<kFieldsOnly>("1", "2"), std::string_view("|")), "21|");
  const std::string all = Build(Fill<kPlain>(), std::string_view(), Fill<kRow>(long_value, "/"));
  EXPECT_EQ(
      all, "one\r\ntwo\r\n\r\nthree<a href=\"/\">" + long_value + "</a>\r\n<b>" + long_value + long_value + "</b>\r\n");
  EXPECT_EQ(all.size(), all.capacity()) << "the result is sized exactly";
  EXPECT_EQ(Build(), "");
}

TEST(TextTemplate, AppendKeepsWhatIsThere) {
  std::string out = "head:";
  for (int i = 0; i < 100; ++i) Append(out, Fill<kFieldsOnly>(DecimalText(i), ","));
  std::string expected = "head:";
  for (int i = 0; i < 100; ++i) expected.append(",").append(std::to_string(i));
  EXPECT_EQ(out, expected);
}

TEST(TextTemplate, DecimalTextAtItsBoundaries) {
  for (std::int32_t v : {0,     1,  9,  10,  99,  100,  101,    999,       1000,      9999,     10000,
                         32767, -1, -9, -10, -99, -100, -32768, 123456789, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(std::string_view(DecimalText(v)), std::to_string(v));
  }
  for (std::int64_t v : {std::int64_t{1} << 40, INT64_MAX, INT64_MIN, -(std::int64_t{1} << 33) - 7}) {
    EXPECT_EQ(Decimal(v), std::to_string(v));
  }
  // Zero-padded fields, a date's "05", and a width the number passes.
  std::string out = "x";
  AppendDecimal(out, 5, 2);
  AppendDecimal(out, -5, 3);
  AppendDecimal(out, 123, 2);
  AppendDecimal(out, 0, 4);
  EXPECT_EQ(out, "x05-0051230000");
}

}  // namespace
}  // namespace halvane::text
