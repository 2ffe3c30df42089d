#include "tools/probe/input_text.h"

#include <cstdio>

namespace probe {

namespace {

// Code points that show as nothing or as a blank, and so would hide a difference in a message.
bool isInvisible(unsigned long c) {
  return (c >= 0x80 && c <= 0xA0) || c == 0xAD || c == 0x034F || c == 0x061C ||
         c == 0x115F || c == 0x1160 || c == 0x180E || (c >= 0x2000 && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) || c == 0x3000 ||
         c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF ||
         (c >= 0xFFF0 && c <= 0xFFFB);
}

// Length of the well-formed UTF-8 sequence at the start of `text` and its code point, or 0.
std::size_t utf8Sequence(std::string_view text, unsigned long &codePoint) {
  const unsigned char lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4
                             : lead >= 0xE0               ? 3
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                                                          : 0;
  if (length == 0 || length > text.size()) return 0;
  codePoint = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not well formed.
  static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return 0;
  return length;
}

}  // namespace

std::string visible(std::string_view text) {
  std::string shown;
  char escape[16];
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\t' || c == '\r' || c == '\n') {
      shown += c == '\t' ? "\\t" : c == '\r' ? "\\r" : "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      shown += escape;
    } else if (c < 0x80) {
      shown += static_cast<char>(c);
    } else {
      unsigned long codePoint = 0;
      const std::size_t length = utf8Sequence(text.substr(i), codePoint);
      if (length == 0) {
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        shown += escape;
      } else if (isInvisible(codePoint)) {
        std::snprintf(escape, sizeof escape, "\\u{%04lX}", codePoint);
        shown += escape;
      } else {
        shown += text.substr(i, length);
      }
      i += length == 0 ? 1 : length;
      continue;
    }
    ++i;
  }
  return shown;
}

std::string inQuotes(std::string_view text) { return "'" + visible(text) + "'"; }

std::string quotedStart(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return inQuotes(text);
  return "'" + visible(text.substr(0, limit)) + "...'";
}

LineRead readBoundedLine(std::istream &in, std::string &line, std::size_t limit) {
  line.clear();
  std::streambuf *buffer = in.rdbuf();
  bool any = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any ? LineRead::Line : LineRead::End;
    }
    any = true;
    if (c == '\n') return LineRead::Line;
    if (line.size() == limit) return LineRead::TooLong;
    line += static_cast<char>(c);
  }
}

std::optional<std::vector<CsvField>> splitCsvLine(std::string_view line, std::string &problem) {
  std::vector<CsvField> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = start;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    CsvField field;
    std::size_t end;
    if (at < line.size() && line[at] == '"') {
      // A quoted field: up to the quote that is not doubled.
      std::size_t i = at + 1;
      for (;; ++i) {
        if (i >= line.size()) {
          problem = "a quoted field is not closed before the end of the line";
          return std::nullopt;
        }
        if (line[i] != '"') {
          field.text += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field.text += '"';
          ++i;
        } else {
          break;
        }
      }
      end = i + 1;
      while (end < line.size() && (line[end] == ' ' || line[end] == '\t')) ++end;
      if (end < line.size() && line[end] != ',') {
        problem = "text after the closing quote of a quoted field";
        return std::nullopt;
      }
    } else {
      end = line.find(',', start);
      if (end == std::string_view::npos) end = line.size();
      field.text = std::string(line.substr(start, end - start));
    }
    field.raw = line.substr(start, end - start);
    fields.push_back(std::move(field));
    if (end >= line.size()) return fields;
    start = end + 1;
  }
}

}  // namespace probe
