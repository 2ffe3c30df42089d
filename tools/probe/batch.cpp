// The batch command: one plug-in call per CSV row, results as CSV.
#include "tools/probe/batch.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "tools/probe/commands.h"
#include "tools/probe/errors.h"
#include "tools/probe/host.h"
#include "tools/probe/numbers.h"
#include "tools/probe/output_file.h"

namespace probe {

std::string batchHeader() {
  std::string header;
  for (int c = 0; c < kHitColumnCount; ++c) {
    if (c > 0) header += ',';
    header += kHitColumnNames[c];
  }
  return header;
}

std::string_view withoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view withoutByteOrderMark(std::string_view line) {
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    line.remove_prefix(kByteOrderMark.size());
  return line;
}

namespace {

std::string columnName(int column) {
  std::string name = "column " + std::to_string(column);
  if (column <= kHitColumnCount) name += std::string(" (") + kHitColumnNames[column - 1] + ")";
  return name;
}

}  // namespace

std::optional<RowError> parseBatchRow(std::string_view line, double values[kHitColumnCount]) {
  std::size_t start = 0;
  for (int c = 1;; ++c) {
    const std::size_t comma = line.find(',', start);
    const std::string_view field = line.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (c > kHitColumnCount)
      return RowError{c, columnName(c) + ": extra field '" + std::string(field) + "' (rows have " +
                             std::to_string(kHitColumnCount) + " fields)"};
    if (!parseNumber(field, values[c - 1])) {
      const std::string what = trimBlanks(field).empty()
                                   ? "empty field"
                                   : "'" + std::string(field) + "' is not a number";
      return RowError{c, columnName(c) + ": " + what};
    }
    if (comma == std::string_view::npos) {
      if (c < kHitColumnCount)
        return RowError{c + 1, columnName(c + 1) + ": missing (the row has " + std::to_string(c) +
                                   " fields, rows need " + std::to_string(kHitColumnCount) + ")"};
      return std::nullopt;
    }
    start = comma + 1;
  }
}

namespace {

// Rows are evaluated and written in chunks: memory stays small for any input size, and the
// plug-in calls of a chunk run back to back so their time can be measured by itself.
constexpr std::size_t kChunkRows = 4096;

using Clock = std::chrono::steady_clock;

struct BatchStatistics {
  std::size_t hits = 0;
  Clock::duration pluginTime{};
};

class BatchRunner {
 public:
  BatchRunner(const PluginLibrary &plugin, OutputTarget &output)
      : plugin_(plugin), output_(output), chunk_(kChunkRows) {
    // Every record starts from the same sentinels; only the ten hit columns change per row.
    blank_ = makeHitRecord(0.0, Vector3{}, Vector3{}, Vector3{});
  }

  // Writes the output's header; called once the input's header has been accepted, so that
  // input that is not a batch at all writes nothing.
  void begin() {
    std::string header;
    appendHitCsvHeader(header);
    output_.write(header);
  }

  // Takes one parsed row; evaluates and writes when a chunk is full.
  void add(const double values[kHitColumnCount]) {
    HitRecord &record = chunk_[filled_++];
    record = blank_;
    setHitColumns(record.input, values);
    if (filled_ == chunk_.size()) flush();
  }

  void flush() {
    const FnEvaluateCoating evaluate = plugin_.evaluateCoating();
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < filled_; ++i)
      evaluate(chunk_[i].input, nullptr, nullptr, nullptr, chunk_[i].output);
    statistics_.pluginTime += Clock::now() - start;

    text_.clear();
    for (std::size_t i = 0; i < filled_; ++i)
      appendHitCsvRow(text_, chunk_[i].input, chunk_[i].output);
    output_.write(text_);
    statistics_.hits += filled_;
    filled_ = 0;
  }

  const BatchStatistics &statistics() const { return statistics_; }

 private:
  const PluginLibrary &plugin_;
  OutputTarget &output_;
  std::vector<HitRecord> chunk_;
  std::size_t filled_ = 0;
  HitRecord blank_;
  std::string text_;
  BatchStatistics statistics_;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void reportTiming(const BatchStatistics &s, Clock::duration total) {
  const double plugin = seconds(s.pluginTime);
  const double perHit = s.hits ? plugin / static_cast<double>(s.hits) * 1e9 : 0.0;
  std::fprintf(stderr,
               "surf-probe: %zu hits; plug-in %.6f s (%.1f ns per hit); reading, parsing and "
               "writing %.6f s; total %.6f s\n",
               s.hits, plugin, perHit, seconds(total) - plugin, seconds(total));
}

}  // namespace

int runBatch(const ProbeOptions &options) {
  const Clock::time_point start = Clock::now();
  const bool fromStandardInput = options.input == "-";
  const std::string source = fromStandardInput ? "standard input" : options.input;
  std::ifstream file;
  if (!fromStandardInput) {
    std::error_code ignored;
    if (std::filesystem::is_directory(options.input, ignored))
      throw InputError("'" + source + "': is a directory, not a CSV file of ray hits");
    file.open(options.input, std::ios::binary);
    if (!file) throw InputError("'" + source + "': cannot open: " + std::strerror(errno));
  }
  std::istream &in = fromStandardInput ? std::cin : file;
  if (fromStandardInput) std::ios::sync_with_stdio(false);

  OutputTarget output(options.output, options.force);
  PluginLibrary plugin;
  openPlugin(plugin, options.pluginPath);
  BatchRunner runner(plugin, output);

  std::string line;
  std::size_t lineNumber = 0;
  bool headerSeen = false;
  double values[kHitColumnCount];
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string_view text = withoutLineEnd(line);
    if (!headerSeen) {
      text = withoutByteOrderMark(text);
      if (text != batchHeader())
        throw InputError(source + ":" + std::to_string(lineNumber) + ": the header must be '" +
                         batchHeader() + "', found '" + std::string(text) + "'");
      headerSeen = true;
      runner.begin();
      continue;
    }
    if (trimBlanks(text).empty()) continue;  // blank lines, e.g. at the end of a file
    if (const std::optional<RowError> error = parseBatchRow(text, values))
      throw InputError(source + ":" + std::to_string(lineNumber) + ": " + error->message);
    runner.add(values);
  }
  if (in.bad()) throw ToolFailure("reading '" + source + "' failed");
  if (!headerSeen)
    throw InputError(source + ": empty input; the first line must be '" + batchHeader() + "'");
  runner.flush();
  output.commit();
  if (options.timing) reportTiming(runner.statistics(), Clock::now() - start);
  return 0;
}

}  // namespace probe
