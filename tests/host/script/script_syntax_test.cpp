// Page-script source text: literals, names, line structure and syntax errors.
#include <gtest/gtest.h>

#include "host/script/script_test_util.h"

namespace halvane::script {
namespace {

using testing::Out;
using testing::RunText;

TEST(ScriptLiterals, WholeNumbersAreTypedByRange) {
  EXPECT_EQ(Out("Response.Write TypeName(32767) & TypeName(32768) & TypeName(2147483647) & TypeName(2147483648)"),
            "IntegerLongLongDouble");
  // The minus sign belongs to the literal.
  EXPECT_EQ(Out("Response.Write TypeName(-32768) & TypeName(-32769) & TypeName(-2147483648) & "
                "TypeName(-2147483649)"),
            "IntegerLongLongDouble");
  EXPECT_EQ(Out("Response.Write -32768 & \" \" & -2147483648 & \" \" & 2147483648"),
            "-32768 -2147483648 2147483648");
  // A minus before anything else is the negation of the value.
  EXPECT_EQ(Out("a = 32768\nResponse.Write TypeName(-a) & \" \" & -a & \" \" & -(-5) & TypeName(- -5)"),
            "Long -32768 5Integer");
}

TEST(ScriptLiterals, HexadecimalIsUnsignedAndTypedByRange) {
  EXPECT_EQ(Out("Response.Write &H1F & TypeName(&H1F) & \" \" & &hFFFF & TypeName(&HFFFF) & \" \" & "
                "&HFFFFFFFF & TypeName(&HFFFFFFFF)"),
            "31Integer 65535Long 4294967295Double");
  EXPECT_EQ(Out("Response.Write -&H8000 & TypeName(-&H8000)"), "-32768Integer");
}

TEST(ScriptLiterals, DoublesStringsDatesAndConstants) {
  EXPECT_EQ(Out("Response.Write 2.5 & TypeName(2.5) & \" \" & 1E+15 & \" \" & 1e-5 & \" \" & 12e2 & TypeName(12e2)"),
            "2.5Double 1E+15 1E-05 1200Double");
  EXPECT_EQ(Out("Response.Write \"say \"\"hi\"\"\" & \"\" & \"é\""), "say \"hi\"\xC3\xA9");
  EXPECT_EQ(Out("Response.Write #3/5/2004# & \"|\" & #3/5/2004 14:30:00# & \"|\" & TypeName(#3/5/2004#)"),
            "3/5/2004|3/5/2004 2:30:00 PM|Date");
  EXPECT_EQ(Out("Response.Write True & False & \"[\" & Null & Empty & \"]\" & vbCrLf"), "TrueFalse[]\r\n");
  EXPECT_EQ(Out("Response.Write VarType(Empty) & VarType(Null) & VarType(1) & VarType(70000) & VarType(CSng(1)) & "
                "VarType(1.5) & VarType(#1/1/2000#) & VarType(\"\") & VarType(True)"),
            "01234578" "11");
}

TEST(ScriptSource, NamesAndKeywordsIgnoreCase) {
  EXPECT_EQ(Out("DIM Abc\nabc = \"x\"\nRESPONSE.WRITE ABC & TYPENAME(aBc)\n"
                "set T = createobject(\"halvane.TREE\")\nresponse.write typename(t.writemenufooter())\n"),
            "xStringString");
}

TEST(ScriptSource, CommentsSeparatorsContinuationsAndLineEnds) {
  EXPECT_EQ(Out("' a comment\r\nResponse.Write \"a\" ' another\r\nResponse.Write \"'\": Response.Write \"b\"\r\n"
                "Response.Write \"c\" & _\r\n   \"d\" _\n & \"e\"\n"),
            "a'bcde");
  // A byte-order mark before the first line is not part of the script.
  EXPECT_EQ(Out("\xEF\xBB\xBFResponse.Write 1"), "1");
  // Empty statements are allowed; nothing at all is a script too.
  EXPECT_EQ(Out(":::\n\n"), "");
  EXPECT_EQ(Out(""), "");
}

struct SyntaxCase {
  const char* source;
  int line;
  int column;
  const char* message;
};

class ScriptSyntaxError : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(ScriptSyntaxError, ReportsLineColumnAndWhatWasExpected) {
  const SyntaxCase& c = GetParam();
  try {
    Parse(c.source, "page.hvs");
    FAIL() << "parsed: " << c.source;
  } catch (const SyntaxError& e) {
    EXPECT_EQ(e.Position().line, c.line) << c.source;
    EXPECT_EQ(e.Position().column, c.column) << c.source;
    EXPECT_EQ(e.Message(), c.message) << c.source;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptSyntaxError,
    ::testing::Values(
        SyntaxCase{"x = (1\n", 1, 7, "expected ')', found end of line"},
        SyntaxCase{"x = 1 2", 1, 7, "expected end of statement, found number 2"},
        SyntaxCase{"Response.Write \"abc\n", 1, 16, "unterminated string: expected '\"' before the end of the line"},
        SyntaxCase{"a = 1\n  b = #2/30/2004#", 2, 7, "invalid date literal '#2/30/2004#'"},
        SyntaxCase{"b = #3/5/2004", 1, 5, "unterminated date literal: expected '#' before the end of the line"},
        SyntaxCase{"x = \"\xC3\xA9\" @", 1, 9, "unexpected character '@'"},
        SyntaxCase{"x = 12abc", 1, 5, "invalid number '12a'"},
        SyntaxCase{"If x Then\nResponse.Write 1\n", 3, 1, "expected 'End If' to close the 'If' of line 1, found end of file"},
        SyntaxCase{"If x Then Response.Write 1\nEnd If", 1, 11, "expected end of line after 'Then', found 'Response'"},
        SyntaxCase{"If x\n", 1, 5, "expected 'Then', found end of line"},
        SyntaxCase{"For i = 1 To 2\nx = 1\n", 3, 1, "expected 'Next' to close the 'For' of line 1, found end of file"},
        SyntaxCase{"For i = 1 2\nNext", 1, 11, "expected 'To', found number 2"},
        SyntaxCase{"For i = 1 To 2\nNext j", 2, 6, "expected 'i' after 'Next', found 'j'"},
        SyntaxCase{"x = 1\nNext", 2, 1, "'Next' without 'For'"},
        SyntaxCase{"Else", 1, 1, "'Else' without 'If'"},
        SyntaxCase{"End If", 1, 1, "'End' without 'If'"},
        SyntaxCase{"If 1 Then\nEnd For", 2, 5, "expected 'If' after 'End', found 'For'"},
        SyntaxCase{"Set o = CreateObject(\"Halvane.Tree\")\no.WriteNode(\"a\", \"b\")", 2, 16,
                   "expected ')', found ','; a call statement takes its arguments without parentheses (o.M a, b) "
                   "or with 'Call' (Call o.M(a, b))"},
        SyntaxCase{"Dim a, 5", 1, 8, "expected a variable name, found number 5"},
        SyntaxCase{"Dim Len", 1, 5, "expected a variable name, found the function 'Len'"},
        SyntaxCase{"x = Len \"a\"", 1, 9, "expected '(' after 'Len', found string \"a\""},
        SyntaxCase{"x = CStr(1, 2)", 1, 11, "expected ')', found ','; 'CStr' takes one argument"},
        SyntaxCase{"x", 1, 2, "expected '=' or '.', found end of file"},
        SyntaxCase{"On Error Resume", 1, 16, "expected 'Next' after 'Resume', found end of file"},
        SyntaxCase{"On Error GoTo 1", 1, 15, "expected 0 after 'GoTo', found number 1"},
        SyntaxCase{"On Error Stop", 1, 10, "expected 'Resume Next' or 'GoTo 0' after 'On Error', found 'Stop'"},
        SyntaxCase{"Response.Send 1", 1, 10, "expected 'Write' or 'Flush' after 'Response.', found 'Send'"},
        SyntaxCase{"Response.Write", 1, 15, "expected an expression after 'Response.Write', found end of file"},
        SyntaxCase{"x = Err.Line", 1, 9, "expected 'Number', 'Source' or 'Description' after 'Err.', found 'Line'"},
        SyntaxCase{"Err.Raise 5", 1, 5, "expected 'Clear' after 'Err.', found 'Raise'"},
        SyntaxCase{"x = 1 &", 1, 8, "expected an expression, found end of file"},
        SyntaxCase{"Set o = \n", 1, 9, "expected an expression, found end of line"},
        SyntaxCase{"x = 1 _ y", 1, 7, "unexpected character '_'"},
        SyntaxCase{"Call Sleep(1)", 1, 6, "expected an object member after 'Call', found 'Sleep'"},
        SyntaxCase{"Call Response.Write(1, 2)", 1, 20, "expected one argument of 'Response.Write'"}));

TEST(ScriptSyntax, DeepNestingIsASyntaxErrorNotACrash) {
  std::string deep = "x = " + std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_THROW(Parse(deep, "deep.hvs"), SyntaxError);
  std::string ifs;
  for (int i = 0; i < 1000; ++i) ifs += "If 1 Then\n";
  EXPECT_THROW(Parse(ifs, "deep.hvs"), SyntaxError);
}

TEST(ScriptSyntax, DescribeNamesFileLineAndColumn) {
  try {
    Parse("x = 1\ny = (", "pages/a.hvs");
    FAIL();
  } catch (const SyntaxError& e) {
    EXPECT_EQ(Describe("pages/a.hvs", e), "pages/a.hvs:2:6: syntax error: expected an expression, found end of file");
  }
}

}  // namespace
}  // namespace halvane::script
