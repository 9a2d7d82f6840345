#include "components/autocomplete/autocomplete.h"

#include "components/autocomplete/autocomplete_script.h"

namespace halvane {

std::string AutoComplete::EmbedAutoComplete(const std::string& HTMLFieldNameToBuild,
                                            const std::string& HTMLSelectNameToLink, bool ForceAutoComplete,
                                            bool IsLinkedAsText) {
  using namespace autocomplete_text;
  const std::string_view force = ForceAutoComplete ? "true" : "false";
  const std::string_view linked = IsLinkedAsText ? "true" : "false";

  std::string out;
  out.reserve((script_emitted_ ? 0 : kScript.view().size()) + kInputOpen.size() + HTMLFieldNameToBuild.size() +
              kInputHandler.size() + HTMLSelectNameToLink.size() + 2 * kInputComma.size() + force.size() +
              linked.size() + kInputClose.size());
  if (!script_emitted_) out.append(kScript.view());
  script_emitted_ = true;
  out.append(kInputOpen);
  out.append(HTMLFieldNameToBuild);
  out.append(kInputHandler);
  out.append(HTMLSelectNameToLink);
  out.append(kInputComma);
  out.append(force);
  out.append(kInputComma);
  out.append(linked);
  out.append(kInputClose);
  return out;
}

}  // namespace halvane
