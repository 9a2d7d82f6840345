// PopupMenu: a context menu of titles, items and rules that replaces the
// browser's own menu on right-click.
#pragma once

#include <cstdint>
#include <string>

namespace halvane {

class PopupMenu {
 public:
  PopupMenu();

  void BorderColor(const std::string& newBorderColor);
  void Width(std::int16_t newWidth);
  void BGColor(const std::string& newBGColor);
  void OnMouseOver(const std::string& newOnMouseOver);
  void OnMouseOut(const std::string& newOnMouseOut);
  // Each add call appends its row at once, with the settings current now.
  void AddMenuTitle(const std::string& Display);
  void AddMenuItem(const std::string& Display, const std::string& OnClick, const std::string& ImagePath);
  void AddHorizontalRule(const std::string& ImagePath_1x1Pixel);
  // The whole menu; the object is unchanged by the call.
  std::string EmbedPopupMenu() const;

 private:
  std::string border_color_;
  std::int16_t width_;  // set by the constructor
  std::string bg_color_;
  std::string on_mouse_over_;
  std::string on_mouse_out_;
  std::string rows_;
  std::int16_t row_count_ = 0;
};

}  // namespace halvane
