// ProgressBar: a 100-cell percentage bar for a streaming page.
#pragma once

#include <cstdint>
#include <string>

#include "core/variant.h"

namespace halvane {

class ProgressBar {
 public:
  // The current value as a Long Variant (0 before the first SetValue).
  Variant GetValue() const;
  // Converted to Long; on failure the stored value stays.
  void Max(const Variant& newMax);
  Variant Max() const;
  // Converted to String; on failure the stored value stays.
  void Color(const Variant& newColor);
  Variant Color() const;
  // Stores the value (as Long) and returns its one-line update script.
  std::string SetValue(const Variant& NewValue);
  // The whole bar.  Each argument is converted to Boolean and the Boolean is
  // written back into it (HideOutputDuring first).
  std::string Show(Variant& HideOutputDuring, Variant& HideProgressBarAfter);
  std::string Show(Variant&& HideOutputDuring, Variant&& HideProgressBarAfter) {
    return Show(HideOutputDuring, HideProgressBarAfter);
  }
  // The script hiding (true) or showing (false) the division "page"; the
  // converted Boolean is written back into the argument.
  std::string HideOutput(Variant& Hidden);
  std::string HideOutput(Variant&& Hidden) { return HideOutput(Hidden); }

 private:
  std::int32_t value_ = 0;
  std::int32_t max_ = 0;
  std::string color_ = "0000ff";
};

}  // namespace halvane
