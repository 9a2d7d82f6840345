// Calendar: an embedded month calendar or a popup calendar beside a date field.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/variant.h"

namespace halvane {

class Calendar {
 public:
  // Supplies "now" as a Date day number; the default reads the local clock.
  using Clock = std::function<double()>;

  Calendar();
  explicit Calendar(Clock clock);

  void ImageURL(const Variant& NewURL);
  Variant ImageURL() const;
  void ActiveDate(const Variant& NewDate);
  Variant ActiveDate() const;
  std::string DisplayEmbedded(const Variant& calName);
  std::string DisplayPopup(const Variant& calName);

 private:
  void Init(double now);

  // The three page-wide script blocks; they read and change no member.
  static std::string_view WriteCommonScript();
  static std::string_view WriteEmbeddedScript();
  static std::string_view WritePopupScript();

  std::string active_date_;
  std::int16_t active_month_;  // set with active_date_ by Init
  std::int16_t active_year_;
  std::string image_url_;
  bool common_script_emitted_ = false;
  bool embedded_script_emitted_ = false;
  bool popup_script_emitted_ = false;
};

}  // namespace halvane
