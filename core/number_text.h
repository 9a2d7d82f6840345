// Numbers as text: reading a number from text, the text of a Double or a
// Single, and rounding halves to even.  Fixed English (United States)
// conventions: decimal point ".", "," only as a group separator on reading.
#pragma once

#include <string>
#include <string_view>

namespace halvane {

// Reading a number from text: blanks around, optional sign, digits with
// optional "," group separators and decimal point, optional exponent; or
// "&H" followed by hexadecimal digits (unsigned).
struct NumberReading {
  enum class Status { Ok, NotANumber, Overflow } status;
  double value;
};
NumberReading ReadNumber(std::string_view text);

// At most 15 significant digits, exponent form from 1E+15 and to 1E-05.
std::string DoubleToText(double d);
// At most 7 significant digits, same forms.
std::string SingleToText(float f);
// Round to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double d);

// The decimal digits of a finite d > 0 rounded to `significant` digits,
// trailing zeros removed, and the decimal exponent of the first digit:
// 1234.5 with 3 digits gives "123" and 3.
void SignificantDigits(double d, int significant, std::string& digits, int& exponent);

}  // namespace halvane
