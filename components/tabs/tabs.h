// Tabs: a row of tabs over stacked panels, each framing another page.
#pragma once

#include <cstdint>
#include <string>

#include "core/variant.h"

namespace halvane {

class Tabs {
 public:
  void IsVisible(bool NewIsVisible);
  std::string TabName() const;
  void TabName(const std::string& NewTabName);
  std::int16_t TabWidth() const;
  void TabWidth(std::int16_t NewTabWidth);
  std::int16_t PanelWidth() const;
  void PanelWidth(std::int16_t NewPanelWidth);
  std::int16_t PanelHeight() const;
  void PanelHeight(std::int16_t NewPanelHeight);
  std::int16_t TabCount() const;
  void TabCount(std::int16_t NewTabCount);
  std::string LayerColor() const;
  void LayerColor(const std::string& NewLayerColor);
  std::string JavaScriptOnClick() const;
  void JavaScriptOnClick(const std::string& NewJavaScriptOnClick);

  std::string WriteTab(const Variant& ContentName, const Variant& URL);
  void MoveNextLayerColor();
  void MovePreviousLayerColor();

 private:
  std::string tab_name_;
  std::int16_t tab_width_ = 0;
  std::int16_t panel_width_ = 0;
  std::int16_t panel_height_ = 0;
  std::string layer_color_ = "e0e0e0";
  std::string java_script_on_click_;
  std::int16_t tab_count_ = 0;
  bool script_emitted_ = false;
  std::int16_t tab_index_ = -1;
  bool is_visible_ = true;
};

}  // namespace halvane
