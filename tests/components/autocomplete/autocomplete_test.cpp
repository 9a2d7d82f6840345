#include "components/autocomplete/autocomplete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace halvane {
namespace {

// The 39 lines of the autoComplete script block, each ended by CR LF.
std::string ScriptBlock() {
  static const std::vector<std::string> kLines = {
      "<script language=\"JavaScript\">",
      "function autoComplete(field, select, forceComplete, isLinkedAsText) {",
      "var found = false;",
      "var textRange;",
      "var newTextRange;",
      "var oldVal;",
      "var newVal;",
      "var dispType = isLinkedAsText ? 'text' : 'value';",
      "for (var i = 0; i < select.options.length; i++) {",
      "if (select.options[i][dispType].toUpperCase().indexOf(field.value.toUpperCase()) == 0) {",
      "found=true;",
      "break;",
      "}",
      "}",
      "if (found) {",
      "select.selectedIndex = i;",
      "}else{",
      "select.selectedIndex = -1;",
      "}",
      "if (field.createTextRange) {",
      "if (forceComplete && !found) {",
      "field.value=field.value.substring(0,field.value.length-1);",
      "return;",
      "}",
      "var cursorKeys =\"8;46;37;38;39;40;33;34;35;36;45;\";",
      "if (cursorKeys.indexOf(event.keyCode+\";\") == -1) {",
      "textRange = field.createTextRange();",
      "oldVal = textRange.text;",
      "newVal = found ? select.options[i][dispType] : oldVal;",
      "if (newVal != field.value) {",
      "field.value = newVal;",
      "newTextRange = field.createTextRange();",
      "newTextRange.moveStart('character', oldVal.length) ;",
      "newTextRange.select();",
      "}",
      "}",
      "}",
      "}",
      "</script>"};
  std::string s;
  for (const auto& l : kLines) s += l + "\r\n";
  return s;
}

const std::string kCityField =
    "<INPUT TYPE=\"text\" NAME='city' VALUE='' "
    "ONKEYUP='autoComplete(this,this.form.cityList, true, false)'>";

TEST(AutoComplete, FirstCallCarriesTheScriptBlockThenTheField) {
  AutoComplete ac;
  const std::string first = ac.EmbedAutoComplete("city", "cityList", true, false);
  EXPECT_EQ(first, ScriptBlock() + kCityField);
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 39);
  EXPECT_NE(first.substr(first.size() - 2), "\r\n");
}

TEST(AutoComplete, LaterCallsReturnTheFieldAlone) {
  AutoComplete ac;
  ac.EmbedAutoComplete("x", "y", false, false);
  EXPECT_EQ(ac.EmbedAutoComplete("city", "cityList", true, false), kCityField);
  EXPECT_EQ(ac.EmbedAutoComplete("a", "b", false, true),
            "<INPUT TYPE=\"text\" NAME='a' VALUE='' ONKEYUP='autoComplete(this,this.form.b, false, true)'>");
}

TEST(AutoComplete, EachObjectEmitsItsOwnBlock) {
  AutoComplete one, two;
  EXPECT_EQ(one.EmbedAutoComplete("c", "l", true, true).find("function autoComplete"), 32u);
  EXPECT_EQ(two.EmbedAutoComplete("c", "l", true, true).find("function autoComplete"), 32u);
  EXPECT_EQ(one.EmbedAutoComplete("c", "l", true, true).find("function autoComplete"), std::string::npos);
}

TEST(AutoComplete, NamesAreSplicedUnchecked) {
  AutoComplete ac;
  ac.EmbedAutoComplete("", "", false, false);
  EXPECT_EQ(ac.EmbedAutoComplete("", "", false, false),
            "<INPUT TYPE=\"text\" NAME='' VALUE='' ONKEYUP='autoComplete(this,this.form., false, false)'>");
  EXPECT_EQ(ac.EmbedAutoComplete("it's", "l", false, false),
            "<INPUT TYPE=\"text\" NAME='it's' VALUE='' ONKEYUP='autoComplete(this,this.form.l, false, false)'>");
}

}  // namespace
}  // namespace halvane
