#include "core/date_text.h"

#include <cstddef>
#include <vector>

#include "core/dates.h"
#include "core/text.h"

namespace halvane {
namespace {

using text::EqualNoCase;

// ---- date reading ----------------------------------------------------------

struct Token {
  enum Kind { Num, Word, Sep } kind;
  std::string_view text;
  char sep;  // for Sep: '/', '-', '.', ':' or ' ' (blanks and commas)
};

bool Tokenize(std::string_view s, std::vector<Token>& out) {
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      std::size_t j = i;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      out.push_back({Token::Num, s.substr(i, j - i), 0});
      i = j;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      std::size_t j = i;
      while (j < s.size() && ((s[j] >= 'a' && s[j] <= 'z') || (s[j] >= 'A' && s[j] <= 'Z'))) ++j;
      out.push_back({Token::Word, s.substr(i, j - i), 0});
      i = j;
    } else if (c == ' ' || c == '\t' || c == ',') {
      std::size_t j = i;
      while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == ',')) ++j;
      out.push_back({Token::Sep, s.substr(i, j - i), ' '});
      i = j;
    } else if (c == '/' || c == '-' || c == '.' || c == ':') {
      out.push_back({Token::Sep, s.substr(i, 1), c});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

int ToInt(std::string_view digits) {
  int v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

// 1..12 for an English month name, full or abbreviated to three letters or
// more; 0 otherwise.
int MonthFromName(std::string_view w) {
  if (w.size() < 3) return 0;
  for (int m = 1; m <= 12; ++m) {
    if (text::StartsWithNoCase(MonthName(m), w)) return m;
  }
  return 0;
}

// True for an English weekday name, full or abbreviated to three letters or
// more.
bool IsWeekdayName(std::string_view w) {
  if (w.size() < 3) return false;
  for (int d = 1; d <= 7; ++d) {
    if (text::StartsWithNoCase(WeekdayName(d), w)) return true;
  }
  return false;
}

// Years of one or two digits fall in 1930..2029; three or four digits are
// taken as they stand.
bool YearFrom(const Token& t, int& year) {
  if (t.kind != Token::Num || t.text.size() > 4) return false;
  int y = ToInt(t.text);
  if (t.text.size() <= 2) y += y < 30 ? 2000 : 1900;
  if (y < 100 || y > 9999) return false;
  year = y;
  return true;
}

bool SmallNum(const Token& t, int& v) {
  if (t.kind != Token::Num || t.text.size() > 2) return false;
  v = ToInt(t.text);
  return true;
}

// The date part: a list of tokens with blank separators removed.
std::optional<double> ReadDatePart(const std::vector<Token>& tk) {
  std::vector<Token> t;
  for (const Token& x : tk)
    if (!(x.kind == Token::Sep && x.sep == ' ')) t.push_back(x);
  if (!t.empty() && t.front().kind == Token::Word && IsWeekdayName(t.front().text) &&
      MonthFromName(t.front().text) == 0)
    t.erase(t.begin());
  int y = 0, m = 0, d = 0;
  auto is_date_sep = [](const Token& x) {
    return x.kind == Token::Sep && (x.sep == '/' || x.sep == '-' || x.sep == '.');
  };
  if (t.size() == 5 && t[0].kind == Token::Num && is_date_sep(t[1]) && t[2].kind == Token::Num && is_date_sep(t[3]) &&
      t[4].kind == Token::Num) {
    if (t[0].text.size() >= 3) {  // year first: 2026-12-04
      if (!YearFrom(t[0], y) || !SmallNum(t[2], m) || !SmallNum(t[4], d)) return std::nullopt;
    } else {  // month/day/year
      if (!SmallNum(t[0], m) || !SmallNum(t[2], d) || !YearFrom(t[4], y)) return std::nullopt;
    }
    return DateSerial(y, m, d);
  }
  // Month names: "December 4, 2026", "Dec-4-2026", "4 Dec 2026", "4-Dec-2026".
  std::vector<Token> core;
  for (const Token& x : t)
    if (x.kind != Token::Sep || x.sep == ':')
      core.push_back(x);
    else if (x.sep != '-' && x.sep != '/' && x.sep != '.')
      return std::nullopt;
  if (core.size() == 3) {
    if (core[0].kind == Token::Word && (m = MonthFromName(core[0].text)) != 0) {
      if (!SmallNum(core[1], d) || !YearFrom(core[2], y)) return std::nullopt;
      return DateSerial(y, m, d);
    }
    if (core[1].kind == Token::Word && (m = MonthFromName(core[1].text)) != 0) {
      if (!SmallNum(core[0], d) || !YearFrom(core[2], y)) return std::nullopt;
      return DateSerial(y, m, d);
    }
  }
  return std::nullopt;
}

// The time part: h:mm or h:mm:ss, optionally AM or PM.
std::optional<double> ReadTimePart(const std::vector<Token>& t) {
  std::vector<Token> c;
  for (const Token& x : t)
    if (!(x.kind == Token::Sep && x.sep == ' ')) c.push_back(x);
  int h = 0, mi = 0, s = 0;
  std::size_t i = 0;
  if (!(i < c.size() && SmallNum(c[i], h))) return std::nullopt;
  ++i;
  if (!(i + 1 < c.size() && c[i].kind == Token::Sep && c[i].sep == ':' && SmallNum(c[i + 1], mi))) return std::nullopt;
  i += 2;
  if (i + 1 < c.size() && c[i].kind == Token::Sep && c[i].sep == ':') {
    if (!SmallNum(c[i + 1], s)) return std::nullopt;
    i += 2;
  }
  if (i < c.size()) {
    if (c[i].kind != Token::Word || i + 1 != c.size()) return std::nullopt;
    const std::string_view w = c[i].text;
    const bool am = EqualNoCase(w, "am") || EqualNoCase(w, "a");
    const bool pm = EqualNoCase(w, "pm") || EqualNoCase(w, "p");
    if (!am && !pm) return std::nullopt;
    if (h < 1 || h > 12) return std::nullopt;
    if (am && h == 12) h = 0;
    if (pm && h != 12) h += 12;
  }
  if (h > 23 || mi > 59 || s > 59) return std::nullopt;
  return TimeSerial(h, mi, s);
}

}  // namespace

std::optional<double> ReadDate(std::string_view text) {
  std::string_view s = text::Trim(text);
  if (s.empty() || s.size() > 64) return std::nullopt;
  std::vector<Token> tk;
  if (!Tokenize(s, tk)) return std::nullopt;
  // The time part starts at the number in front of the first ':'.
  std::size_t colon = tk.size();
  for (std::size_t i = 0; i < tk.size(); ++i) {
    if (tk[i].kind == Token::Sep && tk[i].sep == ':') {
      colon = i;
      break;
    }
  }
  std::vector<Token> date_part(tk.begin(), tk.end());
  std::optional<double> time;
  if (colon < tk.size()) {
    if (colon == 0 || tk[colon - 1].kind != Token::Num) return std::nullopt;
    const std::size_t start = colon - 1;
    time = ReadTimePart(std::vector<Token>(tk.begin() + static_cast<std::ptrdiff_t>(start), tk.end()));
    if (!time) return std::nullopt;
    date_part.assign(tk.begin(), tk.begin() + static_cast<std::ptrdiff_t>(start));
    // The date and the time are separated by blanks.
    if (!date_part.empty()) {
      if (!(date_part.back().kind == Token::Sep && date_part.back().sep == ' ')) return std::nullopt;
    }
  }
  bool only_blanks = true;
  for (const Token& t : date_part) only_blanks = only_blanks && t.kind == Token::Sep && t.sep == ' ';
  if (only_blanks) {
    if (!time) return std::nullopt;
    return *time;  // a time alone is a time on day 0
  }
  std::optional<double> day = ReadDatePart(date_part);
  if (!day) return std::nullopt;
  return CombineDateTime(*day, time.value_or(0.0));
}

bool IsDate(const Variant& v) {
  if (v.Type() == VarType::Date) return true;
  if (v.Type() == VarType::String) return ReadDate(v.RawString()).has_value();
  return false;
}

std::string FormatDate(const Variant& v, std::string_view pattern) {
  const DateParts p = SplitDate(ToDate(v));
  std::string out;
  out.reserve(pattern.size() + 4);
  auto two = [&out](int n) { text::AppendDecimal(out, n, 2); };
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = text::LowerAscii(pattern[i]);
    std::size_t run = 1;
    while (i + run < pattern.size() && text::LowerAscii(pattern[i + run]) == c) ++run;
    if (c == 'y' && run >= 4) {
      text::AppendDecimal(out, p.year, 4);
      run = 4;
    } else if (c == 'y' && run >= 2) {
      two(p.year % 100);
      run = 2;
    } else if (c == 'm' && run >= 2) {
      two(p.month);
      run = 2;
    } else if (c == 'm') {
      text::AppendDecimal(out, p.month);
    } else if (c == 'd' && run >= 2) {
      two(p.day);
      run = 2;
    } else if (c == 'd') {
      text::AppendDecimal(out, p.day);
    } else {
      out.push_back(pattern[i]);
      run = 1;
    }
    i += run;
  }
  return out;
}

std::string DateToText(double v) {
  const DateParts p = SplitDate(v);
  std::string out;
  // The date always (day 0 too), then the time when it is not midnight.
  const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  text::AppendDecimal(out, p.month);
  out.push_back('/');
  text::AppendDecimal(out, p.day);
  out.push_back('/');
  text::AppendDecimal(out, p.year);
  if (has_time) {
    out.push_back(' ');
    const int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    text::AppendDecimal(out, h12);
    out.push_back(':');
    text::AppendDecimal(out, p.minute, 2);
    out.push_back(':');
    text::AppendDecimal(out, p.second, 2);
    out += p.hour < 12 ? " AM" : " PM";
  }
  return out;
}

}  // namespace halvane
