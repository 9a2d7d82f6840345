// The texts Calendar emits: the three page-wide script blocks, the per-call
// part of an embedded calendar and the date field with its calendar button.
//
// Each text is kept as it appears in the page, with LF line ends that become
// CR LF at compile time.  Leading blanks and the few irregular lines are part
// of the output and must stay as they are (one line of the popup block is
// sixteen blanks and nothing else).  In the two per-call texts a field
// "@Name@" marks where a value is spliced in; '@' occurs nowhere else in the
// texts.
#pragma once

#include <string_view>

#include "core/text_template.h"

namespace halvane::calendar_text {

// The date helpers and the popup opener that both calendar forms use.
inline constexpr std::string_view kCommonScriptRaw = R"js(<SCRIPT LANGUAGE=JavaScript>
function calContextMenu(html)
{
    var lefter = event.clientX+10
    var topper = event.clientY+10
    oCalPopUp.document.body.innerHTML = html;
    oCalPopUp.show(lefter, topper, 140, 155, document.body);
}

function getDaysInMonth(whichMonth, whichYear) {
    var totDays = new Date(whichYear, whichMonth, 0);
    return totDays.getDate();
}

function getFirstDayInMonth(whichMonth, whichYear) {
    var firstDay = new Date(whichYear, whichMonth-1, 1);
    return firstDay.getDay();
}

function displayMonth(whichMonth, whichYear) {
    var arMonthsInYear = new Array("Dec", "Jan","Feb","Mar","Apr","May","Jun","Jul","Aug","Sep","Oct","Nov");
    var retVal = new Date(whichYear, whichMonth, 1);
    return arMonthsInYear[retVal.getMonth()];
}

function displayMonthNumber(whichMonth, whichYear) {
    var retVal = new Date(whichYear, whichMonth, 1);
    if (parseFloat(retVal.getMonth()) == 0) return 12;
    return retVal.getMonth();
}

function displayYear(whichMonth, whichYear) {
    var retVal = new Date(whichYear, whichMonth-1, 1);
    return retVal.getFullYear();
}

</SCRIPT>
)js";
inline constexpr auto kCommonScript = text::Compile<kCommonScriptRaw>();

// buildCal: one month as an HTML table for the embedded calendar.
inline constexpr std::string_view kEmbeddedScriptRaw = R"js(<SCRIPT LANGUAGE=JavaScript>
function buildCal(whichMonth, whichYear, calName) {
    var daysInMonth = getDaysInMonth(whichMonth, whichYear);
    var firstDayInMonth = getFirstDayInMonth(whichMonth, whichYear);
    var i;
    var j;
    var counter = 0;
    var nextMonthCounter = 0;
    var html;
    var arDayHeaders = new Array("S","M","T","W","T","F","S");
    var arCal = new Array( new Array(6), new Array(6), new Array(6), new Array(6), new Array(6), new Array(6) );
    var calToday = new Date();
    var calDayColor = "A1A1A1";
    for (i=0; i<=5; i++) {
        for (j=0; j<=6; j++) {
            counter++;
            if ( counter > firstDayInMonth && counter <= (daysInMonth + firstDayInMonth) ) {
                arCal[i][j] = displayMonthNumber(whichMonth, whichYear) + "/" + (counter - firstDayInMonth) + "/" + displayYear(whichMonth, whichYear);
            }else{
                if (counter < 7) {
                    arCal[i][j] = displayMonthNumber(whichMonth-1, whichYear) + "/" + (parseFloat(getDaysInMonth(whichMonth-1, whichYear)) - parseFloat((firstDayInMonth - counter))) + "/" + displayYear(whichMonth-1, whichYear);
                }else{
                    nextMonthCounter++;
                    arCal[i][j] = displayMonthNumber(whichMonth+1, whichYear) + "/" + parseFloat(nextMonthCounter) + "/" + displayYear(whichMonth+1, whichYear);
                }
            }
        }
    }
    html = "";
    html += "<table BGCOLOR=\"#e4e4e4\" width=\"140\" height=\"142\" STYLE=\"border:1pt solid #000000\" cellpadding=0 cellspacing=1>";
    html += "<tr><td colspan=7 width=\"100%\" height=1 valign=\"top\">";
    html += "<table BGCOLOR=\"#a1a1a1\" width=\"100%\" STYLE=\"border:1pt solid #000000\" cellpadding=0 cellspacing=0>";
    html += "<tr>";
    html += "<td nowrap style=\"cursor:hand\" width=1 align=\"right\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
    html += "onclick=\"" + calName + ".innerHTML = buildCal(" + parseFloat(whichMonth-1) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
    html += "<<&nbsp;";
    html += "</td>";
    html += "<td style=\"cursor:hand\" nowrap align=\"center\" height=1 valign=\"top\" style=\"font-size:8pt\">";
    html += "<font color=white>" + displayMonth(whichMonth, whichYear) + "</font>";
    html += "</td>";
    html += "<td nowrap style=\"cursor:hand\" width=1 align=\"left\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
    html += "onclick=\"" + calName + ".innerHTML = buildCal(" + parseFloat(whichMonth+1) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
    html += "&nbsp;>>";
    html += "</td>";
    html += "<td style=\"cursor:hand\" align=\"center\" width=100% height=1 valign=\"top\" style=\"font-size:8pt\"></td>";
    html += "<td style=\"cursor:hand\" width=1 align=\"right\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
    html += "onclick=\"" + calName + ".innerHTML = buildCal(" + parseFloat(whichMonth-12) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
    html += "<<&nbsp;";
    html += "</td>";
    html += "<td style=\"cursor:hand\" align=\"center\" height=1 valign=\"top\" style=\"font-size:8pt\">";
    html += "<font color=white>" + displayYear(whichMonth, whichYear) + "</font>";
    html += "</td>";
    html += "<td style=\"cursor:hand\" width=1 align=\"left\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
     html += "onclick=\"" + calName + ".innerHTML = buildCal(" + parseFloat(whichMonth+12) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
    html += "&nbsp;>>";
    html += "</td>";
    html += "</tr>";
    html += "</table>";
    html += "</td></tr>";
    html += "<tr>";
    for (i=0; i<=6; i++) {
        html += "<td style=\"cursor:hand\" align=\"center\" width=\"20\" height=1 valign=\"top\" style=\"font-size:8pt\">";
        html += arDayHeaders[i];
        html += "</td>";
    }
    html += "</tr>"
    for (i=0; i<=5; i++) {
        html += "<tr>";
        for (j=0; j<=6; j++) {
            html += "<td STYLE=\"border:1pt solid #000000; cursor:hand\" align=\"center\" width=\"20\" height=1 valign=\"top\" style=\"font-size:8pt\" ";
            html += " onclick=\"" + calName + "_OnClick('" + arCal[i][j] + "');\" >";
            if (arCal[i][j].split("/")[1] == 1) {
                 if (calDayColor == "A1A1A1"){
                    calDayColor = "000000";
                }else{
                    calDayColor = "A1A1A1";
                }
            }
            if ( calToday.getMonth() + 1 == arCal[i][j].split("/")[0] && calToday.getDate() == arCal[i][j].split("/")[1] && calToday.getFullYear() == arCal[i][j].split("/")[2] ) {
                html += "<font color='FF0000'>";
            }else{
                html += "<font color='" + calDayColor + "'>";
            }
            html += arCal[i][j].split("/")[1];
            html += "</font>";
            html += "</td>";
        }
        html += "</tr>";
    }
    html += "<tr>";
    html += "<td align=\"center\" BGCOLOR=\"#a1a1a1\" colspan=7 STYLE=\"border:1pt solid #000000; cursor:hand; font-size:8pt\"";
    html += "onclick=\"" + calName + ".innerHTML = buildCal(" + parseFloat(calToday.getMonth()+1) + ", " + parseFloat(calToday.getFullYear()) + ",'" + calName + "'); " + calName + "_OnClick('" + parseFloat(calToday.getMonth() + 1) + "/" + calToday.getDate() + "/" + calToday.getFullYear() + "');\">";
    html += "[ <font color=white>Today</font> ]";
    html += "</td>";
    html += "</tr>";
    html += "</table>";
    return html;
}
</script>
)js";
inline constexpr auto kEmbeddedScript = text::Compile<kEmbeddedScriptRaw>();

// buildPopupCal and the page's one popup object.
inline constexpr std::string_view kPopupScriptRaw = R"js(<script language="JavaScript">
    var oCalPopUp = window.createPopup();
    function buildPopupCal(whichMonth, whichYear, calName) {
        var daysInMonth = getDaysInMonth(whichMonth, whichYear);
        var firstDayInMonth = getFirstDayInMonth(whichMonth, whichYear);
        var i;
        var j;
        var counter = 0;
        var nextMonthCounter = 0;
        var html;
        var arDayHeaders = new Array("S","M","T","W","T","F","S");
        var arCal = new Array( new Array(6), new Array(6), new Array(6), new Array(6), new Array(6), new Array(6) );
        var calToday = new Date();
        var calDayColor = "A1A1A1";
        for (i=0; i<=5; i++) {
            for (j=0; j<=6; j++) {
                counter++;
                if ( counter > firstDayInMonth && counter <= (daysInMonth + firstDayInMonth) ) {
                    arCal[i][j] = displayMonthNumber(whichMonth, whichYear) + "/" + (counter - firstDayInMonth) + "/" + displayYear(whichMonth, whichYear);
                }else{
                    if (counter < 7) {
                        arCal[i][j] = displayMonthNumber(whichMonth-1, whichYear) + "/" + (parseFloat(getDaysInMonth(whichMonth-1, whichYear)) - parseFloat((firstDayInMonth - counter))) + "/" + displayYear(whichMonth-1, whichYear);
                    }else{
                        nextMonthCounter++;
                        arCal[i][j] = displayMonthNumber(whichMonth+1, whichYear) + "/" + parseFloat(nextMonthCounter) + "/" + displayYear(whichMonth+1, whichYear);
                    }
                }
            }
        }
        html = "";
        html += "<table BGCOLOR=\"#e4e4e4\" width=\"140\" height=\"142\" STYLE=\"border:1pt solid #000000\" cellpadding=0 cellspacing=1>";
        html += "<tr><td colspan=7 width=\"100%\" height=1 valign=\"top\">";
        html += "<table BGCOLOR=\"#a1a1a1\" width=\"100%\" STYLE=\"border:1pt solid #000000\" cellpadding=0 cellspacing=0>";
        html += "<tr>";
        html += "<td nowrap style=\"cursor:hand\" width=1 align=\"right\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
        html += "onclick=\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(" + parseFloat(whichMonth-1) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
        html += "<<&nbsp;";
        html += "</td>";
        html += "<td style=\"cursor:hand\" nowrap align=\"center\" height=1 valign=\"top\" style=\"font-size:8pt\">";
        html += "<font color=white>" + displayMonth(whichMonth, whichYear) + "</font>";
        html += "</td>";
        html += "<td nowrap style=\"cursor:hand\" width=1 align=\"left\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
        html += "onclick=\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(" + parseFloat(whichMonth+1) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
        html += "&nbsp;>>";
        html += "</td>";
        html += "<td style=\"cursor:hand\" align=\"center\" width=100% height=1 valign=\"top\" style=\"font-size:8pt\"></td>";
        html += "<td style=\"cursor:hand\" width=1 align=\"right\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
        html += "onclick=\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(" + parseFloat(whichMonth-12) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
        html += "<<&nbsp;";
        html += "</td>";
        html += "<td style=\"cursor:hand\" align=\"center\" height=1 valign=\"top\" style=\"font-size:8pt\">";
        html += "<font color=white>" + displayYear(whichMonth, whichYear) + "</font>";
        html += "</td>";
        html += "<td style=\"cursor:hand\" width=1 align=\"left\" height=1 valign=\"top\" style=\"font-size:10pt\" ";
        html += "onclick=\"window.parent.oCalPopUp.document.body.innerHTML = window.parent.buildPopupCal(" + parseFloat(whichMonth+12) + ", " + parseFloat(whichYear) + ",'" + calName + "');\">";
        html += "&nbsp;>>";
        html += "</td>";
        html += "</tr>";
        html += "</table>";
        html += "</td></tr>";
        html += "<tr>";
        for (i=0; i<=6; i++) {
            html += "<td style=\"cursor:hand\" align=\"center\" width=\"20\" height=1 valign=\"top\" style=\"font-size:8pt\">";
            html += arDayHeaders[i];
            html += "</td>";
        }
        html += "</tr>"
        for (i=0; i<=5; i++) {
            html += "<tr>";
            for (j=0; j<=6; j++) {
                html += "<td STYLE=\"border:1pt solid #000000; cursor:hand\" align=\"center\" width=\"20\" height=1 valign=\"top\" style=\"font-size:8pt\" ";
                html += " onclick=\"window.parent.document.forms[0]." + calName + ".value='" + arCal[i][j] + "'; window.parent.oCalPopUp.hide();\" >";
                if (arCal[i][j].split("/")[1] == 1) {
                    if (calDayColor == "A1A1A1"){
                        calDayColor = "000000";
                    }else{
                        calDayColor = "A1A1A1";
                    }
                }
                
                if ( calToday.getMonth() + 1 == arCal[i][j].split("/")[0] && calToday.getDate() == arCal[i][j].split("/")[1] && calToday.getFullYear() == arCal[i][j].split("/")[2] ) {
                    html += "<font color='FF0000'>";
                }else{
                    html += "<font color='" + calDayColor + "'>";
                }
                html += arCal[i][j].split("/")[1];
                html += "</font>";
                html += "</td>";
            }
            html += "</tr>";
        }
        html += "<tr>";
        html += "<td align=\"center\" BGCOLOR=\"#a1a1a1\" colspan=7 STYLE=\"border:1pt solid #000000; cursor:hand; font-size:8pt\"";
        html += " onclick=\"window.parent.document.forms[0]." + calName + ".value='" + parseFloat(calToday.getMonth() + 1) + "/" + calToday.getDate() + "/" + calToday.getFullYear() + "'; window.parent.oCalPopUp.hide();\" >";
        html += "[ <font color=white>Today</font> ]";
        html += "</td>";
        html += "</tr>";
        html += "</table>";
        return html;
    }
</script>
)js";
inline constexpr auto kPopupScript = text::Compile<kPopupScriptRaw>();

// The part every DisplayEmbedded call emits: the calendar's division and the
// script that writes the active month into it while the page loads.
inline constexpr std::string_view kEmbeddedCallRaw = R"(<DIV ID="@calName@">
<Script language="JavaScript">
var today = new Date();
document.write( buildCal(@month@, @year@, '@calName@') );
</script>
</DIV>
)";
inline constexpr auto kEmbeddedCall = text::Compile<kEmbeddedCallRaw>({"calName", "month", "year"});

// The part every DisplayPopup call emits: the read-only date field and the
// image button that opens the popup.  One line, with no line end at all.
inline constexpr std::string_view kFieldAndButtonRaw =
    R"(<input value="@ActiveDate@" readonly type="text" size="10" name="@calName@">&nbsp;<img style="cursor:hand" onclick="calContextMenu(buildPopupCal(@month@, @year@, '@calName@')); return false;" border="0" src="@ImageURL@" WIDTH="16" HEIGHT="15">)";
inline constexpr auto kFieldAndButton =
    text::Compile<kFieldAndButtonRaw>({"ActiveDate", "calName", "month", "year", "ImageURL"});

}  // namespace halvane::calendar_text
