#include "tools/probe/numbers.h"

#include <charconv>
#include <system_error>

#include "tools/probe/input_text.h"

namespace probe {

std::string_view trimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

NumberRead readNumber(std::string_view text, double &value) {
  text = trimBlanks(text);
  if (text.empty()) return NumberRead::Empty;
  // from_chars takes a leading minus but not a plus; a plus is accepted once, in front of a
  // digit, point or letter (so "+-1" and "++1" stay errors).
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == '-') return NumberRead::NotANumber;
  }
  const char *end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (stop != end) return NumberRead::NotANumber;
  if (error == std::errc::result_out_of_range) return NumberRead::OutOfRange;
  return error == std::errc() ? NumberRead::Number : NumberRead::NotANumber;
}

bool parseNumber(std::string_view text, double &value) {
  return readNumber(text, value) == NumberRead::Number;
}

std::string numberFault(std::string_view text, NumberRead what) {
  switch (what) {
    case NumberRead::Empty: return "empty field";
    case NumberRead::OutOfRange:
      return quotedStart(text, kQuotedTextLimit) + " is out of range for a double";
    default: return quotedStart(text, kQuotedTextLimit) + " is not a number";
  }
}

std::vector<std::string_view> splitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

char *formatShortest(double value, char *buffer) {
  // Without a precision, to_chars gives the shortest representation that round-trips.
  return std::to_chars(buffer, buffer + kMaxNumberChars, value).ptr;
}

void appendShortest(std::string &out, double value) {
  char buffer[kMaxNumberChars];
  out.append(buffer, formatShortest(value, buffer));
}

std::string formatShortest(double value) {
  std::string text;
  appendShortest(text, value);
  return text;
}

}  // namespace probe
