#include "components/autocomplete/autocomplete.h"

#include "components/autocomplete/autocomplete_text.h"

namespace halvane {

std::string AutoComplete::EmbedAutoComplete(const std::string& HTMLFieldNameToBuild,
                                            const std::string& HTMLSelectNameToLink, bool ForceAutoComplete,
                                            bool IsLinkedAsText) {
  using namespace autocomplete_text;
  const std::string_view force = ForceAutoComplete ? "true" : "false";
  const std::string_view linked = IsLinkedAsText ? "true" : "false";
  const auto input = text::Fill<kInput>(HTMLFieldNameToBuild, HTMLSelectNameToLink, force, linked);
  if (script_emitted_) return text::Build(input);
  std::string out = text::Build(text::Fill<kScript>(), input);
  script_emitted_ = true;
  return out;
}

}  // namespace halvane
