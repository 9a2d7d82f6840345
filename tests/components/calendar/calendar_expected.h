// Expected Calendar output as the page must receive it: each script block
// line by line, its leading blanks counted separately from its text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halvane::calendar_expected {

struct Line {
  int indent;             // leading blanks
  std::string_view text;  // the rest of the line
};

// The lines joined, each as its blanks and its text followed by CR LF.
inline std::string Join(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& l : lines) {
    out.append(static_cast<std::size_t>(l.indent), ' ');
    out.append(l.text);
    out.append("\r\n");
  }
  return out;
}

inline const std::vector<Line> kCommonLines = {
    {0, "<SCRIPT LANGUAGE=JavaScript>"},
    {0, "function calContextMenu(html)"},
    {0, "{"},
    {4, "var lefter = event.clientX+10"},
    {4, "var topper = event.clientY+10"},
    {4, "oCalPopUp.document.body.innerHTML = html;"},
    {4, "oCalPopUp.show(lefter, topper, 140, 155, document.body);"},
    {0, "}"},
    {0, ""},
    {0, "function getDaysInMonth(whichMonth, whichYear) {"},
    {4, "var totDays = new Date(whichYear, whichMonth, 0);"},
    {4, "return totDays.getDate();"},
    {0, "}"},
    {0, ""},
    {0, "function getFirstDayInMonth(whichMonth, whichYear) {"},
    {4, "var firstDay = new Date(whichYear, whichMonth-1, 1);"},
    {4, "return firstDay.getDay();"},
    {0, "}"},
    {0, ""},
    {0, "function displayMonth(whichMonth, whichYear) {"},
    {4,
     "var arMonthsInYear = new Array(\"Dec\", "
     "\"Jan\",\"Feb\",\"Mar\",\"Apr\",\"May\",\"Jun\",\"Jul\",\"Aug\",\"Sep\",\"Oct\",\"Nov\");"},
    {4, "var retVal = new Date(whichYear, whichMonth, 1);"},
    {4, "return arMonthsInYear[retVal.getMonth()];"},
    {0, "}"},
    {0, ""},
    {0, "function displayMonthNumber(whichMonth, whichYear) {"},
    {4, "var retVal = new Date(whichYear, whichMonth, 1);"},
    {4, "if (parseFloat(retVal.getMonth()) == 0) return 12;"},
    {4, "return retVal.getMonth();"},
    {0, "}"},
    {0, ""},
    {0, "function displayYear(whichMonth, whichYear) {"},
    {4, "var retVal = new Date(whichYear, whichMonth-1, 1);"},
    {4, "return retVal.getFullYear();"},
    {0, "}"},
    {0, ""},
    {0, "</SCRIPT>"},
};

inline const std::vector<Line> kEmbeddedLines = {
    {0, "<SCRIPT LANGUAGE=JavaScript>"},
    {0, "function buildCal(whichMonth, whichYear, calName) {"},
    {4, "var daysInMonth = getDaysInMonth(whichMonth, whichYear);"},
    {4, "var firstDayInMonth = getFirstDayInMonth(whichMonth, whichYear);"},
    {4, "var i;"},
    {4, "var j;"},
    {4, "var counter = 0;"},
    {4, "var nextMonthCounter = 0;"},
    {4, "var html;"},
    {4, "var arDayHeaders = new Array(\"S\",\"M\",\"T\",\"W\",\"T\",\"F\",\"S\");"},
    {4, "var arCal = new Array( new Array(6), new Array(6), new Array(6), new Array(6), new Array(6), new Array(6) );"},
    {4, "var calToday = new Date();"},
    {4, "var calDayColor = \"A1A1A1\";"},
    {4, "for (i=0; i<=5; i++) {"},
    {8, "for (j=0; j<=6; j++) {"},
    {12, "counter++;"},
    {12, "if ( counter > firstDayInMonth && counter <= (daysInMonth + firstDayInMonth) ) {"},
    {16,
     "arCal[i][j] = displayMonthNumber(whichMonth, whichYear) + \"/\" + (counter - firstDayInMonth) + \"/\" + "
     "displayYear(whichMonth, whichYear);"},
    {12, "}else{"},
    {16, "if (counter < 7) {"},
    {20,
     "arCal[i][j] = displayMonthNumber(whichMonth-1, whichYear) + \"/\" + (parseFloat(getDaysInMonth(whichMonth-1, "
     "whichYear)) - parseFloat((firstDayInMonth - counter))) + \"/\" + displayYear(whichMonth-1, whichYear);"},
    {16, "}else{"},
    {20, "nextMonthCounter++;"},
    {20,
     "arCal[i][j] = displayMonthNumber(whichMonth+1, whichYear) + \"/\" + parseFloat(nextMonthCounter) + \"/\" + "
     "displayYear(whichMonth+1, whichYear);"},
    {16, "}"},
    {12, "}"},
    {8, "}"},
    {4, "}"},
    {4, "html = \"\";"},
    {4,
     "html += \"<table BGCOLOR=\\\"#e4e4e4\\\" width=\\\"140\\\" height=\\\"142\\\" STYLE=\\\"border:1pt solid "
     "#000000\\\" cellpadding=0 cellspacing=1>\";"},
    {4, "html += \"<tr><td colspan=7 width=\\\"100%\\\" height=1 valign=\\\"top\\\">\";"},
    {4,
     "html += \"<table BGCOLOR=\\\"#a1a1a1\\\" width=\\\"100%\\\" STYLE=\\\"border:1pt solid #000000\\\" cellpadding=0 "
     "cellspacing=0>\";"},
    {4, "html += \"<tr>\";"},
    {4,
     "html += \"<td nowrap style=\\\"cursor:hand\\\" width=1 align=\\\"right\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {4,
     "html += \"onclick=\\\"\" + calName + \".innerHTML = buildCal(\" + parseFloat(whichMonth-1) + \", \" + "
     "parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {4, "html += \"<<&nbsp;\";"},
    {4, "html += \"</td>\";"},
    {4,
     "html += \"<td style=\\\"cursor:hand\\\" nowrap align=\\\"center\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {4, "html += \"<font color=white>\" + displayMonth(whichMonth, whichYear) + \"</font>\";"},
    {4, "html += \"</td>\";"},
    {4,
     "html += \"<td nowrap style=\\\"cursor:hand\\\" width=1 align=\\\"left\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {4,
     "html += \"onclick=\\\"\" + calName + \".innerHTML = buildCal(\" + parseFloat(whichMonth+1) + \", \" + "
     "parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {4, "html += \"&nbsp;>>\";"},
    {4, "html += \"</td>\";"},
    {4,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" width=100% height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\"></td>\";"},
    {4,
     "html += \"<td style=\\\"cursor:hand\\\" width=1 align=\\\"right\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {4,
     "html += \"onclick=\\\"\" + calName + \".innerHTML = buildCal(\" + parseFloat(whichMonth-12) + \", \" + "
     "parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {4, "html += \"<<&nbsp;\";"},
    {4, "html += \"</td>\";"},
    {4,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {4, "html += \"<font color=white>\" + displayYear(whichMonth, whichYear) + \"</font>\";"},
    {4, "html += \"</td>\";"},
    {4,
     "html += \"<td style=\\\"cursor:hand\\\" width=1 align=\\\"left\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {5,
     "html += \"onclick=\\\"\" + calName + \".innerHTML = buildCal(\" + parseFloat(whichMonth+12) + \", \" + "
     "parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {4, "html += \"&nbsp;>>\";"},
    {4, "html += \"</td>\";"},
    {4, "html += \"</tr>\";"},
    {4, "html += \"</table>\";"},
    {4, "html += \"</td></tr>\";"},
    {4, "html += \"<tr>\";"},
    {4, "for (i=0; i<=6; i++) {"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" width=\\\"20\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {8, "html += arDayHeaders[i];"},
    {8, "html += \"</td>\";"},
    {4, "}"},
    {4, "html += \"</tr>\""},
    {4, "for (i=0; i<=5; i++) {"},
    {8, "html += \"<tr>\";"},
    {8, "for (j=0; j<=6; j++) {"},
    {12,
     "html += \"<td STYLE=\\\"border:1pt solid #000000; cursor:hand\\\" align=\\\"center\\\" width=\\\"20\\\" height=1 "
     "valign=\\\"top\\\" style=\\\"font-size:8pt\\\" \";"},
    {12, "html += \" onclick=\\\"\" + calName + \"_OnClick('\" + arCal[i][j] + \"');\\\" >\";"},
    {12, "if (arCal[i][j].split(\"/\")[1] == 1) {"},
    {17, "if (calDayColor == \"A1A1A1\"){"},
    {20, "calDayColor = \"000000\";"},
    {16, "}else{"},
    {20, "calDayColor = \"A1A1A1\";"},
    {16, "}"},
    {12, "}"},
    {12,
     "if ( calToday.getMonth() + 1 == arCal[i][j].split(\"/\")[0] && calToday.getDate() == arCal[i][j].split(\"/\")[1] "
     "&& calToday.getFullYear() == arCal[i][j].split(\"/\")[2] ) {"},
    {16, "html += \"<font color='FF0000'>\";"},
    {12, "}else{"},
    {16, "html += \"<font color='\" + calDayColor + \"'>\";"},
    {12, "}"},
    {12, "html += arCal[i][j].split(\"/\")[1];"},
    {12, "html += \"</font>\";"},
    {12, "html += \"</td>\";"},
    {8, "}"},
    {8, "html += \"</tr>\";"},
    {4, "}"},
    {4, "html += \"<tr>\";"},
    {4,
     "html += \"<td align=\\\"center\\\" BGCOLOR=\\\"#a1a1a1\\\" colspan=7 STYLE=\\\"border:1pt solid #000000; "
     "cursor:hand; font-size:8pt\\\"\";"},
    {4,
     "html += \"onclick=\\\"\" + calName + \".innerHTML = buildCal(\" + parseFloat(calToday.getMonth()+1) + \", \" + "
     "parseFloat(calToday.getFullYear()) + \",'\" + calName + \"'); \" + calName + \"_OnClick('\" + "
     "parseFloat(calToday.getMonth() + 1) + \"/\" + calToday.getDate() + \"/\" + calToday.getFullYear() + "
     "\"');\\\">\";"},
    {4, "html += \"[ <font color=white>Today</font> ]\";"},
    {4, "html += \"</td>\";"},
    {4, "html += \"</tr>\";"},
    {4, "html += \"</table>\";"},
    {4, "return html;"},
    {0, "}"},
    {0, "</script>"},
};

// Line 80 is sixteen blanks and nothing else.
inline const std::vector<Line> kPopupLines = {
    {0, "<script language=\"JavaScript\">"},
    {4, "var oCalPopUp = window.createPopup();"},
    {4, "function buildPopupCal(whichMonth, whichYear, calName) {"},
    {8, "var daysInMonth = getDaysInMonth(whichMonth, whichYear);"},
    {8, "var firstDayInMonth = getFirstDayInMonth(whichMonth, whichYear);"},
    {8, "var i;"},
    {8, "var j;"},
    {8, "var counter = 0;"},
    {8, "var nextMonthCounter = 0;"},
    {8, "var html;"},
    {8, "var arDayHeaders = new Array(\"S\",\"M\",\"T\",\"W\",\"T\",\"F\",\"S\");"},
    {8, "var arCal = new Array( new Array(6), new Array(6), new Array(6), new Array(6), new Array(6), new Array(6) );"},
    {8, "var calToday = new Date();"},
    {8, "var calDayColor = \"A1A1A1\";"},
    {8, "for (i=0; i<=5; i++) {"},
    {12, "for (j=0; j<=6; j++) {"},
    {16, "counter++;"},
    {16, "if ( counter > firstDayInMonth && counter <= (daysInMonth + firstDayInMonth) ) {"},
    {20,
     "arCal[i][j] = displayMonthNumber(whichMonth, whichYear) + \"/\" + (counter - firstDayInMonth) + \"/\" + "
     "displayYear(whichMonth, whichYear);"},
    {16, "}else{"},
    {20, "if (counter < 7) {"},
    {24,
     "arCal[i][j] = displayMonthNumber(whichMonth-1, whichYear) + \"/\" + (parseFloat(getDaysInMonth(whichMonth-1, "
     "whichYear)) - parseFloat((firstDayInMonth - counter))) + \"/\" + displayYear(whichMonth-1, whichYear);"},
    {20, "}else{"},
    {24, "nextMonthCounter++;"},
    {24,
     "arCal[i][j] = displayMonthNumber(whichMonth+1, whichYear) + \"/\" + parseFloat(nextMonthCounter) + \"/\" + "
     "displayYear(whichMonth+1, whichYear);"},
    {20, "}"},
    {16, "}"},
    {12, "}"},
    {8, "}"},
    {8, "html = \"\";"},
    {8,
     "html += \"<table BGCOLOR=\\\"#e4e4e4\\\" width=\\\"140\\\" height=\\\"142\\\" STYLE=\\\"border:1pt solid "
     "#000000\\\" cellpadding=0 cellspacing=1>\";"},
    {8, "html += \"<tr><td colspan=7 width=\\\"100%\\\" height=1 valign=\\\"top\\\">\";"},
    {8,
     "html += \"<table BGCOLOR=\\\"#a1a1a1\\\" width=\\\"100%\\\" STYLE=\\\"border:1pt solid #000000\\\" cellpadding=0 "
     "cellspacing=0>\";"},
    {8, "html += \"<tr>\";"},
    {8,
     "html += \"<td nowrap style=\\\"cursor:hand\\\" width=1 align=\\\"right\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {8,
     "html += \"onclick=\\\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(\" + "
     "parseFloat(whichMonth-1) + \", \" + parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {8, "html += \"<<&nbsp;\";"},
    {8, "html += \"</td>\";"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" nowrap align=\\\"center\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {8, "html += \"<font color=white>\" + displayMonth(whichMonth, whichYear) + \"</font>\";"},
    {8, "html += \"</td>\";"},
    {8,
     "html += \"<td nowrap style=\\\"cursor:hand\\\" width=1 align=\\\"left\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {8,
     "html += \"onclick=\\\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(\" + "
     "parseFloat(whichMonth+1) + \", \" + parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {8, "html += \"&nbsp;>>\";"},
    {8, "html += \"</td>\";"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" width=100% height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\"></td>\";"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" width=1 align=\\\"right\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {8,
     "html += \"onclick=\\\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(\" + "
     "parseFloat(whichMonth-12) + \", \" + parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {8, "html += \"<<&nbsp;\";"},
    {8, "html += \"</td>\";"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {8, "html += \"<font color=white>\" + displayYear(whichMonth, whichYear) + \"</font>\";"},
    {8, "html += \"</td>\";"},
    {8,
     "html += \"<td style=\\\"cursor:hand\\\" width=1 align=\\\"left\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:10pt\\\" \";"},
    {8,
     "html += \"onclick=\\\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(\" + "
     "parseFloat(whichMonth+12) + \", \" + parseFloat(whichYear) + \",'\" + calName + \"');\\\">\";"},
    {8, "html += \"&nbsp;>>\";"},
    {8, "html += \"</td>\";"},
    {8, "html += \"</tr>\";"},
    {8, "html += \"</table>\";"},
    {8, "html += \"</td></tr>\";"},
    {8, "html += \"<tr>\";"},
    {8, "for (i=0; i<=6; i++) {"},
    {12,
     "html += \"<td style=\\\"cursor:hand\\\" align=\\\"center\\\" width=\\\"20\\\" height=1 valign=\\\"top\\\" "
     "style=\\\"font-size:8pt\\\">\";"},
    {12, "html += arDayHeaders[i];"},
    {12, "html += \"</td>\";"},
    {8, "}"},
    {8, "html += \"</tr>\""},
    {8, "for (i=0; i<=5; i++) {"},
    {12, "html += \"<tr>\";"},
    {12, "for (j=0; j<=6; j++) {"},
    {16,
     "html += \"<td STYLE=\\\"border:1pt solid #000000; cursor:hand\\\" align=\\\"center\\\" width=\\\"20\\\" height=1 "
     "valign=\\\"top\\\" style=\\\"font-size:8pt\\\" \";"},
    {16,
     "html += \" onclick=\\\"window.parent.document.forms[0].\" + calName + \".value='\" + arCal[i][j] + \"'; "
     "window.parent.oCalPopUp.hide();\\\" >\";"},
    {16, "if (arCal[i][j].split(\"/\")[1] == 1) {"},
    {20, "if (calDayColor == \"A1A1A1\"){"},
    {24, "calDayColor = \"000000\";"},
    {20, "}else{"},
    {24, "calDayColor = \"A1A1A1\";"},
    {20, "}"},
    {16, "}"},
    {16, ""},
    {16,
     "if ( calToday.getMonth() + 1 == arCal[i][j].split(\"/\")[0] && calToday.getDate() == arCal[i][j].split(\"/\")[1] "
     "&& calToday.getFullYear() == arCal[i][j].split(\"/\")[2] ) {"},
    {20, "html += \"<font color='FF0000'>\";"},
    {16, "}else{"},
    {20, "html += \"<font color='\" + calDayColor + \"'>\";"},
    {16, "}"},
    {16, "html += arCal[i][j].split(\"/\")[1];"},
    {16, "html += \"</font>\";"},
    {16, "html += \"</td>\";"},
    {12, "}"},
    {12, "html += \"</tr>\";"},
    {8, "}"},
    {8, "html += \"<tr>\";"},
    {8,
     "html += \"<td align=\\\"center\\\" BGCOLOR=\\\"#a1a1a1\\\" colspan=7 STYLE=\\\"border:1pt solid #000000; "
     "cursor:hand; font-size:8pt\\\"\";"},
    {8,
     "html += \" onclick=\\\"window.parent.document.forms[0].\" + calName + \".value='\" + "
     "parseFloat(calToday.getMonth() + 1) + \"/\" + calToday.getDate() + \"/\" + calToday.getFullYear() + \"'; "
     "window.parent.oCalPopUp.hide();\\\" >\";"},
    {8, "html += \"[ <font color=white>Today</font> ]\";"},
    {8, "html += \"</td>\";"},
    {8, "html += \"</tr>\";"},
    {8, "html += \"</table>\";"},
    {8, "return html;"},
    {4, "}"},
    {0, "</script>"},
};

inline const std::string kCommon = Join(kCommonLines);
inline const std::string kEmbedded = Join(kEmbeddedLines);
inline const std::string kPopup = Join(kPopupLines);

// The six lines of one DisplayEmbedded call.
inline std::string EmbeddedCall(const std::string& name, const std::string& month, const std::string& year) {
  return "<DIV ID=\"" + name +
         "\">\r\n"
         "<Script language=\"JavaScript\">\r\n"
         "var today = new Date();\r\n"
         "document.write( buildCal(" +
         month + ", " + year + ", '" + name +
         "') );\r\n"
         "</script>\r\n"
         "</DIV>\r\n";
}

// The field and button of one DisplayPopup call: no line end anywhere.
inline std::string FieldAndButton(const std::string& name, const std::string& date, const std::string& month,
                                  const std::string& year, const std::string& image = "Calendar.gif") {
  return "<input value=\"" + date + "\" readonly type=\"text\" size=\"10\" name=\"" + name + "\">&nbsp;" +
         "<img style=\"cursor:hand\" onclick=\"calContextMenu(buildPopupCal(" + month + ", " + year + ", '" + name +
         "')); return false;\" border=\"0\" src=\"" + image + "\" WIDTH=\"16\" HEIGHT=\"15\">";
}

}  // namespace halvane::calendar_expected
