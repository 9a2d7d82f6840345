#include "components/popupmenu/popupmenu.h"

#include <string_view>

#include "components/popupmenu/popupmenu_text.h"
#include "core/error.h"
#include "core/text_template.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.PopupMenu";

// Fixed settings: the cell and table border in points, the font size in
// points.  No property changes them.
constexpr std::int16_t kBorderWidth = 1;
constexpr std::int16_t kFontSize = 8;
// Each row is 18 pixels high.
constexpr std::int16_t kRowHeight = 18;
// A rule is this many pixels narrower than the menu.
constexpr std::int16_t kRuleInset = 10;

}  // namespace

// The default handlers are built here once, from the default colours; later
// colour changes do not rebuild them.
PopupMenu::PopupMenu() : border_color_("000000"), width_(150), bg_color_("e4e4e4") {
  const text::DecimalText border(kBorderWidth);
  on_mouse_over_ = text::Build(text::Fill<popupmenu_text::kDefaultOnMouseOver>(border, border_color_));
  on_mouse_out_ = text::Build(text::Fill<popupmenu_text::kDefaultOnMouseOut>(border, bg_color_));
}

void PopupMenu::BorderColor(const std::string& newBorderColor) { border_color_ = newBorderColor; }
void PopupMenu::Width(std::int16_t newWidth) { width_ = newWidth; }
void PopupMenu::BGColor(const std::string& newBGColor) { bg_color_ = newBGColor; }
void PopupMenu::OnMouseOver(const std::string& newOnMouseOver) { on_mouse_over_ = newOnMouseOver; }
void PopupMenu::OnMouseOut(const std::string& newOnMouseOut) { on_mouse_out_ = newOnMouseOut; }

// Each add call computes the new row count first, then appends its row to
// the stored rows in place (so that a menu of many rows is built in linear
// time), then stores the count.  Appending grows the rows once by the row's
// exact size; if that fails, the rows are as they were.
void PopupMenu::AddMenuTitle(const std::string& Display) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    text::Append(rows_, text::Fill<popupmenu_text::kTitleRow>(bg_color_, text::DecimalText(kBorderWidth),
                                                              text::DecimalText(kFontSize), Display));
    row_count_ = count;
  });
}

void PopupMenu::AddMenuItem(const std::string& Display, const std::string& OnClick, const std::string& ImagePath) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    text::Append(rows_, text::Fill<popupmenu_text::kItemRow>(bg_color_, OnClick, text::DecimalText(kBorderWidth),
                                                             text::DecimalText(kFontSize), on_mouse_over_,
                                                             on_mouse_out_, ImagePath, Display));
    row_count_ = count;
  });
}

// Both the row count and the rule width are computed before the row is
// appended: a Width below -32758 raises the overflow error and leaves the
// menu as it was, instead of leaving half a row behind.
void PopupMenu::AddHorizontalRule(const std::string& ImagePath_1x1Pixel) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    const text::DecimalText rule_width(SubInteger(width_, kRuleInset));
    text::Append(rows_,
                 text::Fill<popupmenu_text::kRuleRow>(bg_color_, text::DecimalText(kBorderWidth),
                                                      text::DecimalText(kFontSize), rule_width, ImagePath_1x1Pixel));
    row_count_ = count;
  });
}

std::string PopupMenu::EmbedPopupMenu() const {
  return WithSource(kSource, [&] {
    // More than 1820 rows overflow the 16-bit height.
    const text::DecimalText height(MulInteger(row_count_, kRowHeight));
    return text::Build(text::Fill<popupmenu_text::kMenu>(text::DecimalText(kBorderWidth), border_color_, bg_color_,
                                                         text::DecimalText(width_), height, rows_));
  });
}

}  // namespace halvane
