#include "components/popupmenu/popupmenu.h"

#include <string_view>

#include "components/popupmenu/popupmenu_text.h"
#include "core/error.h"
#include "core/text.h"
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
  const std::string border = text::Decimal(kBorderWidth);
  popupmenu_text::AppendFilled(on_mouse_over_, popupmenu_text::kDefaultOnMouseOver,
                               {{"BorderWidth", border}, {"BorderColor", border_color_}});
  popupmenu_text::AppendFilled(on_mouse_out_, popupmenu_text::kDefaultOnMouseOut,
                               {{"BorderWidth", border}, {"BGColor", bg_color_}});
}

void PopupMenu::BorderColor(const std::string& newBorderColor) { border_color_ = newBorderColor; }
void PopupMenu::Width(std::int16_t newWidth) { width_ = newWidth; }
void PopupMenu::BGColor(const std::string& newBGColor) { bg_color_ = newBGColor; }
void PopupMenu::OnMouseOver(const std::string& newOnMouseOver) { on_mouse_over_ = newOnMouseOver; }
void PopupMenu::OnMouseOut(const std::string& newOnMouseOut) { on_mouse_out_ = newOnMouseOut; }

// Appends one row to the stored rows, appending in place so that a menu of
// many rows is built in linear time.  The new row count is computed by the
// caller before anything changes; it is stored only once the row is complete,
// and a row that cannot be completed is taken back.
void PopupMenu::AppendRow(std::int16_t new_count, std::string_view tmpl,
                          std::initializer_list<std::pair<std::string_view, std::string_view>> fields) {
  const std::size_t mark = rows_.size();
  try {
    popupmenu_text::AppendFilled(rows_, tmpl, fields);
  } catch (...) {
    rows_.resize(mark);
    throw;
  }
  row_count_ = new_count;
}

void PopupMenu::AddMenuTitle(const std::string& Display) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    const std::string border = text::Decimal(kBorderWidth);
    const std::string font = text::Decimal(kFontSize);
    AppendRow(count, popupmenu_text::kTitleRow,
              {{"BGColor", bg_color_}, {"BorderWidth", border}, {"FontSize", font}, {"Display", Display}});
  });
}

void PopupMenu::AddMenuItem(const std::string& Display, const std::string& OnClick, const std::string& ImagePath) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    const std::string border = text::Decimal(kBorderWidth);
    const std::string font = text::Decimal(kFontSize);
    AppendRow(count, popupmenu_text::kItemRow,
              {{"BGColor", bg_color_},
               {"OnClick", OnClick},
               {"BorderWidth", border},
               {"FontSize", font},
               {"OnMouseOver", on_mouse_over_},
               {"OnMouseOut", on_mouse_out_},
               {"ImagePath", ImagePath},
               {"Display", Display}});
  });
}

// Both the row count and the rule width are computed before the row is
// appended: a Width below -32758 raises the overflow error and leaves the
// menu as it was, instead of leaving half a row behind.
void PopupMenu::AddHorizontalRule(const std::string& ImagePath_1x1Pixel) {
  WithSource(kSource, [&] {
    const std::int16_t count = AddInteger(row_count_, 1);
    const std::string rule_width = text::Decimal(SubInteger(width_, kRuleInset));
    const std::string border = text::Decimal(kBorderWidth);
    const std::string font = text::Decimal(kFontSize);
    AppendRow(count, popupmenu_text::kRuleRow,
              {{"BGColor", bg_color_},
               {"BorderWidth", border},
               {"FontSize", font},
               {"RuleWidth", rule_width},
               {"ImagePath_1x1Pixel", ImagePath_1x1Pixel}});
  });
}

std::string PopupMenu::EmbedPopupMenu() const {
  return WithSource(kSource, [&] {
    // More than 1820 rows overflow the 16-bit height.
    const std::string height = text::Decimal(MulInteger(row_count_, kRowHeight));
    const std::string border = text::Decimal(kBorderWidth);
    const std::string width = text::Decimal(width_);
    std::string out;
    out.reserve(popupmenu_text::kMenu.view().size() + rows_.size() + border_color_.size() + bg_color_.size() + 64);
    popupmenu_text::AppendFilled(out, popupmenu_text::kMenu,
                                 {{"BorderWidth", border},
                                  {"BorderColor", border_color_},
                                  {"BGColor", bg_color_},
                                  {"Width", width},
                                  {"Height", height},
                                  {"Rows", rows_}});
    return out;
  });
}

}  // namespace halvane
