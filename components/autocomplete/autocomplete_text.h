// The texts AutoComplete emits: the autoComplete script block, in front of
// an object's first field, and the input element.
#pragma once

#include <string_view>

#include "core/text_template.h"

namespace halvane::autocomplete_text {

inline constexpr std::string_view kScriptRaw = R"JS(
<script language="JavaScript">
function autoComplete(field, select, forceComplete, isLinkedAsText) {
var found = false;
var textRange;
var newTextRange;
var oldVal;
var newVal;
var dispType = isLinkedAsText ? 'text' : 'value';
for (var i = 0; i < select.options.length; i++) {
if (select.options[i][dispType].toUpperCase().indexOf(field.value.toUpperCase()) == 0) {
found=true;
break;
}
}
if (found) {
select.selectedIndex = i;
}else{
select.selectedIndex = -1;
}
if (field.createTextRange) {
if (forceComplete && !found) {
field.value=field.value.substring(0,field.value.length-1);
return;
}
var cursorKeys ="8;46;37;38;39;40;33;34;35;36;45;";
if (cursorKeys.indexOf(event.keyCode+";") == -1) {
textRange = field.createTextRange();
oldVal = textRange.text;
newVal = found ? select.options[i][dispType] : oldVal;
if (newVal != field.value) {
field.value = newVal;
newTextRange = field.createTextRange();
newTextRange.moveStart('character', oldVal.length) ;
newTextRange.select();
}
}
}
}
</script>
)JS";
// The raw text starts with a line break after the opening delimiter, which
// is not part of the block.
inline constexpr std::string_view kScriptLines = kScriptRaw.substr(1);
inline constexpr auto kScript = text::Compile<kScriptLines>();

// The input element that calls it.
inline constexpr std::string_view kInputRaw =
    R"(<INPUT TYPE="text" NAME='@HTMLFieldNameToBuild@' VALUE='' ONKEYUP='autoComplete(this,this.form.@HTMLSelectNameToLink@, @ForceAutoComplete@, @IsLinkedAsText@)'>)";
inline constexpr auto kInput =
    text::Compile<kInputRaw>({"HTMLFieldNameToBuild", "HTMLSelectNameToLink", "ForceAutoComplete", "IsLinkedAsText"});

}  // namespace halvane::autocomplete_text
