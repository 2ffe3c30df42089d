// input_text.h - the user's text, read and shown safely: lines of bounded length, CSV fields
// as spreadsheets write them, and quotations in messages that show every character.
#ifndef SURF_PROBE_INPUT_TEXT_H
#define SURF_PROBE_INPUT_TEXT_H

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace probe {

// `text` as a message shows it: printable characters as they are; tab, carriage return and
// line feed as \t, \r, \n; other control bytes and bytes that are not UTF-8 as \xNN; characters
// that print as nothing or as a blank (no-break and zero-width spaces, byte-order marks,
// direction marks, ...) as \u{XXXX}. Two texts that differ show differently.
std::string visible(std::string_view text);
// visible(text) in single quotes.
std::string inQuotes(std::string_view text);
// The first `limit` bytes of `text`, shown visibly and quoted, with "..." when it is longer.
// Messages quote a field of the user's input with at most kQuotedTextLimit bytes.
constexpr std::size_t kQuotedTextLimit = 60;
std::string quotedStart(std::string_view text, std::size_t limit);

// Reads one line, without its line feed, into `line`. A line longer than `limit` bytes is not
// read whole: `line` holds its first `limit` bytes, the rest is left unread (it may never end,
// as on /dev/zero), and the result says it was too long.
constexpr std::size_t kMaxLineBytes = 1 << 20;
enum class LineRead { Line, TooLong, End };
LineRead readBoundedLine(std::istream &in, std::string &line, std::size_t limit = kMaxLineBytes);

// One CSV field: `text` is its value (quotes removed, doubled quotes made single), `raw` the
// field exactly as the line wrote it.
struct CsvField {
  std::string text;
  std::string_view raw;
};
// Splits one line at its commas as RFC 4180 reads them: a field that starts with a double quote
// runs to the matching quote, commas included. Blanks around a quoted field are allowed. Returns
// nullopt and sets `problem` when a quoted field is not closed, or text follows its closing
// quote.
std::optional<std::vector<CsvField>> splitCsvLine(std::string_view line, std::string &problem);

}  // namespace probe

#endif
