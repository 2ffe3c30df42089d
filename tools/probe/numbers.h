// numbers.h - reading and writing the numbers surf-probe exchanges with the user.
//
// Reading is strict: a field is one decimal number and nothing else, so "3x" or "1,2" is an
// error rather than 3 or 1. Writing uses the shortest decimal form that reads back as the same
// double, so a CSV written by surf-probe carries the plug-in's results bit for bit.
#ifndef SURF_PROBE_NUMBERS_H
#define SURF_PROBE_NUMBERS_H

#include <string>
#include <string_view>
#include <vector>

namespace probe {

// Spaces and tabs around a field are not part of it.
std::string_view trimBlanks(std::string_view text);

// Parses all of `text` (blanks around it allowed) as one number: an optional sign, decimal
// digits with optional fraction and exponent, or nan / inf / infinity in any case. Returns
// false for anything else, including an empty field, trailing characters and a magnitude
// beyond the range of a double.
bool parseNumber(std::string_view text, double &value);

// parseNumber, telling why a text is refused: nothing but blanks, not a number at all, or a
// number whose magnitude a double cannot hold (above 1.8e308, or so small that it would round
// to zero, below 2.5e-324).
enum class NumberRead { Number, Empty, NotANumber, OutOfRange };
NumberRead readNumber(std::string_view text, double &value);
// What is wrong with `text`, for a message: "empty field", "'1e999' is out of range for a
// double", "'0.3x' is not a number" (the text shown with invisible characters made visible).
std::string numberFault(std::string_view text, NumberRead what);

// Splits `text` at every comma; "a,,b" gives three fields, "" gives one empty field.
std::vector<std::string_view> splitFields(std::string_view text);

// Maximum characters formatShortest writes (sign, 17 digits, point, exponent).
constexpr int kMaxNumberChars = 32;

// Writes the shortest decimal form of `value` that parses back to the same double into `buffer`
// (at least kMaxNumberChars long) and returns one past its last character. Not-a-number is
// written as "nan" or "-nan", infinities as "inf" or "-inf"; parseNumber reads all of them back.
char *formatShortest(double value, char *buffer);

// Appends the shortest round-trip form of `value` to `out`.
void appendShortest(std::string &out, double value);

std::string formatShortest(double value);

}  // namespace probe

#endif
