// AutoComplete: a text field that completes itself from the options of a
// select list in the same form.
#pragma once

#include <string>

namespace halvane {

class AutoComplete {
 public:
  // The input element; the first call of an object puts the autoComplete
  // script block in front of it.
  std::string EmbedAutoComplete(const std::string& HTMLFieldNameToBuild, const std::string& HTMLSelectNameToLink,
                                bool ForceAutoComplete, bool IsLinkedAsText);

 private:
  bool script_emitted_ = false;
};

}  // namespace halvane
