#include "core/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/text.h"

namespace halvane {
namespace {

// The text of d with at most `digits` significant digits.
std::string FloatText(double d, int digits) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
  if (d == 0.0) return "0";
  std::string out;
  if (d < 0) {
    out.push_back('-');
    d = -d;
  }
  std::string m;
  int e;
  SignificantDigits(d, digits, m, e);
  if (e >= 15 || e <= -5) {
    out.push_back(m[0]);
    if (m.size() > 1) {
      out.push_back('.');
      out.append(m, 1, std::string::npos);
    }
    out.push_back('E');
    out.push_back(e < 0 ? '-' : '+');
    int ae = e < 0 ? -e : e;
    if (ae < 10) out.push_back('0');
    text::AppendDecimal(out, ae);
  } else if (e >= 0) {
    const auto int_digits = static_cast<std::size_t>(e) + 1;
    if (m.size() <= int_digits) {
      out += m;
      out.append(int_digits - m.size(), '0');
    } else {
      out.append(m, 0, int_digits);
      out.push_back('.');
      out.append(m, int_digits, std::string::npos);
    }
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-e - 1), '0');
    out += m;
  }
  return out;
}

}  // namespace

void SignificantDigits(double d, int significant, std::string& mantissa, int& exponent) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, d);
  mantissa.clear();
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') mantissa.push_back(*p);
  }
  exponent = 0;
  if (*p == 'e') {
    ++p;
    bool neg = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (; *p; ++p) exponent = exponent * 10 + (*p - '0');
    if (neg) exponent = -exponent;
  }
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
}

NumberReading ReadNumber(std::string_view text) {
  const NumberReading kNaN{NumberReading::Status::NotANumber, 0.0};
  std::string_view s = text::Trim(text);
  if (s.empty()) return kNaN;
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
    s.remove_prefix(2);
    if (s.empty()) return kNaN;
    double v = 0.0;
    for (char c : s) {
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return kNaN;
      v = v * 16.0 + digit;
    }
    if (std::isinf(v)) return {NumberReading::Status::Overflow, 0.0};
    return {NumberReading::Status::Ok, v};
  }
  // Decimal: [sign] digits-with-commas [. digits] [E [sign] digits]
  std::string clean;
  clean.reserve(s.size());
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') {
    if (s[i] == '-') clean.push_back('-');
    ++i;
  }
  std::size_t digits = 0;
  while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || (s[i] == ',' && digits > 0))) {
    if (s[i] != ',') {
      clean.push_back(s[i]);
      ++digits;
    }
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    clean.push_back('.');
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      clean.push_back(s[i]);
      ++digits;
      ++i;
    }
  }
  if (digits == 0) return kNaN;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    clean.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean.push_back(s[i++]);
    std::size_t exp_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      clean.push_back(s[i++]);
      ++exp_digits;
    }
    if (exp_digits == 0) return kNaN;
  }
  if (i != s.size()) return kNaN;
  double v = 0.0;
  const char* first = clean.data();
  const char* last = clean.data() + clean.size();
  auto res = std::from_chars(first, last, v);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large overflows; too small is zero.
    const std::size_t e = clean.find('e');
    if (e != std::string::npos && e + 1 < clean.size() && clean[e + 1] == '-') return {NumberReading::Status::Ok, 0.0};
    return {NumberReading::Status::Overflow, 0.0};
  }
  if (res.ec != std::errc() || res.ptr != last) return kNaN;
  return {NumberReading::Status::Ok, v};
}

std::string DoubleToText(double d) { return FloatText(d, 15); }
std::string SingleToText(float f) { return FloatText(static_cast<double>(f), 7); }

double RoundHalfEven(double d) {
  if (!std::isfinite(d)) return d;
  const double f = std::floor(d);
  const double diff = d - f;
  if (diff > 0.5) return f + 1.0;
  if (diff < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

}  // namespace halvane
