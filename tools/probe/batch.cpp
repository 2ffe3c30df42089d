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
#include "tools/probe/frames.h"
#include "tools/probe/host.h"
#include "tools/probe/input_text.h"
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

std::string columnName(const BatchLayout &layout, std::size_t column) {
  std::string name = "column " + std::to_string(column);
  if (column <= layout.names.size()) name += " (" + visible(layout.names[column - 1]) + ")";
  return name;
}

}  // namespace

BatchLayout defaultBatchLayout() {
  BatchLayout layout;
  for (std::size_t c = 0; c < kHitColumnCount; ++c) {
    layout.hitField[c] = c;
    layout.names.push_back(kHitColumnNames[c]);
  }
  return layout;
}

std::optional<BatchLayout> parseBatchHeader(std::string_view line, std::string &problem) {
  const std::optional<std::vector<CsvField>> fields = splitCsvLine(line, problem);
  if (!fields) return std::nullopt;
  BatchLayout layout;
  layout.fieldCount = fields->size();
  std::array<bool, kHitColumnCount> found{};
  for (std::size_t f = 0; f < fields->size(); ++f) {
    const std::string &name = (*fields)[f].text;
    for (std::size_t earlier = 0; earlier < f; ++earlier)
      if (layout.names[earlier] == name) {
        problem = "column " + std::to_string(f + 1) + " repeats the name " + inQuotes(name);
        return std::nullopt;
      }
    layout.names.push_back(name);
    std::size_t c = 0;
    while (c < kHitColumnCount && name != kHitColumnNames[c]) ++c;
    if (c == kHitColumnCount) {
      layout.passedFields.push_back(f);
    } else {
      layout.hitField[c] = f;
      found[c] = true;
    }
  }
  for (std::size_t c = 0; c < kHitColumnCount; ++c)
    if (!found[c]) {
      problem = std::string("the header has no column '") + kHitColumnNames[c] +
                "'; it must name " + batchHeader() + " (other columns are passed through)";
      return std::nullopt;
    }
  return layout;
}

std::optional<RowError> parseBatchRow(std::string_view line, const BatchLayout &layout,
                                      double values[kHitColumnCount], std::string &passed) {
  std::string problem;
  const std::optional<std::vector<CsvField>> fields = splitCsvLine(line, problem);
  if (!fields) return RowError{1, problem};
  const std::size_t count = fields->size();
  if (count > layout.fieldCount) {
    const std::size_t column = layout.fieldCount + 1;
    return RowError{static_cast<int>(column),
                    columnName(layout, column) + ": extra field " +
                        quotedStart((*fields)[column - 1].raw, kQuotedTextLimit) + " (rows have " +
                        std::to_string(layout.fieldCount) + " fields)"};
  }
  // Left to right, so the first faulty column is the one named.
  for (std::size_t f = 0; f < layout.fieldCount; ++f) {
    if (f >= count)
      return RowError{static_cast<int>(f + 1),
                      columnName(layout, f + 1) + ": missing (the row has " +
                          std::to_string(count) + " fields, rows need " +
                          std::to_string(layout.fieldCount) + ")"};
    std::size_t c = 0;
    while (c < kHitColumnCount && layout.hitField[c] != f) ++c;
    if (c == kHitColumnCount) continue;
    const NumberRead read = readNumber((*fields)[f].text, values[c]);
    if (read != NumberRead::Number)
      return RowError{static_cast<int>(f + 1),
                      columnName(layout, f + 1) + ": " + numberFault((*fields)[f].text, read)};
  }
  passed.clear();
  for (std::size_t f : layout.passedFields) {
    passed += (*fields)[f].raw;
    passed += ',';
  }
  return std::nullopt;
}

std::optional<RowError> parseBatchRow(std::string_view line, double values[kHitColumnCount]) {
  static const BatchLayout layout = defaultBatchLayout();
  std::string passed;
  return parseBatchRow(line, layout, values, passed);
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
  BatchRunner(const PluginLibrary &plugin, OutputTarget &output, const std::string &source,
              std::optional<Stokes> stokes, MatrixFrame frame)
      : plugin_(plugin),
        output_(output),
        source_(source),
        chunk_(kChunkRows),
        stokes_(stokes),
        frame_(frame) {
    // Every record starts from the same sentinels; only the ten hit columns change per row.
    blank_ = makeHitRecord(0.0, Vector3{}, Vector3{}, Vector3{});
  }

  // Writes the output's header; called once the input's header has been accepted, so that
  // input that is not a batch at all writes nothing.
  void begin(const BatchLayout &layout) {
    std::string header;
    for (std::size_t f : layout.passedFields) header += csvName(layout.names[f]) + ",";
    if (frame_ == MatrixFrame::Sp)
      appendSpCsvHeader(header);
    else
      appendHitCsvHeader(header);
    if (stokes_) {
      header.pop_back();
      for (const char *beam : {"reflected", "transmitted"})
        for (int i = 0; i < 4; ++i) header += std::string(",") + beam + "S" + std::to_string(i);
      header += '\n';
    }
    output_.write(header);
  }

  // Takes one parsed row, read from line `line`; evaluates and writes when a chunk is full.
  void add(const double values[kHitColumnCount], const std::string &passed, std::size_t line) {
    Row &row = chunk_[filled_++];
    row.record = blank_;
    setHitColumns(row.record.input, values);
    row.passed = passed;
    row.line = line;
    if (filled_ == chunk_.size()) flush();
  }

  // Evaluates the rows taken since the last flush, checks that the plug-in kept the record
  // contract for each (throwing ToolFailure naming the line when it did not), and writes them.
  void flush() {
    const FnEvaluateCoating evaluate = plugin_.evaluateCoating();
    const Clock::time_point start = Clock::now();
    {
      const PluginRunning running;
      for (std::size_t i = 0; i < filled_; ++i)
        chunk_[i].result =
            evaluate(chunk_[i].record.input, nullptr, nullptr, nullptr, chunk_[i].record.output);
    }
    statistics_.pluginTime += Clock::now() - start;

    text_.clear();
    for (std::size_t i = 0; i < filled_; ++i) {
      const Row &row = chunk_[i];
      requireContract(row.record, row.result, source_ + ":" + std::to_string(row.line));
      text_ += row.passed;
      if (frame_ == MatrixFrame::Sp)
        appendSpCsvRow(text_, row.record);
      else
        appendHitCsvRow(text_, row.record.input, row.record.output);
      if (stokes_) appendStokesColumns(row.record);
    }
    output_.write(text_);
    statistics_.hits += filled_;
    filled_ = 0;
  }

  const BatchStatistics &statistics() const { return statistics_; }

 private:
  struct Row {
    HitRecord record;
    double result;
    std::string passed;
    std::size_t line;
  };

  // A column name as a CSV field: quoted when it holds a comma, a quote or a blank edge.
  static std::string csvName(const std::string &name) {
    if (name.find_first_of(",\"") == std::string::npos && trimBlanks(name) == name) return name;
    std::string field = "\"";
    for (char c : name) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"";
  }

  // The reflected and transmitted states of --stokes, before the row's line end.
  void appendStokesColumns(const HitRecord &record) {
    text_.pop_back();
    const StokesResult result = applyBoth(record, *stokes_);
    for (const ScaledStokes &beam : {result.reflected, result.transmitted})
      for (double v : unscaled(beam)) {
        text_ += ',';
        appendShortest(text_, v);
      }
    text_ += '\n';
  }

  // --frame sp: the ten hit columns, the hit's incidence angle and folded azimuth, the nine
  // scalar outputs, then both matrices in the hit's s/p bases, R00..R33 and T00..T33.
  static void appendSpCsvHeader(std::string &header) {
    for (const char *name : kHitColumnNames) header += std::string(name) + ",";
    header += "incidence,azimuth";
    for (int i = 0; i < kOutReflectionMueller; ++i) header += std::string(",") + outputFieldName(i);
    for (char beam : {'R', 'T'})
      for (int e = 0; e < 16; ++e)
        header += std::string(",") + beam + std::to_string(e / 4) + std::to_string(e % 4);
    header += '\n';
  }

  static void appendSpCsvRow(std::string &out, const HitRecord &record) {
    const auto number = [&out](double v, char separator) {
      appendShortest(out, v);
      out += separator;
    };
    for (int index : kHitColumnRecordIndex) number(record.input[index], ',');
    const HitAngles angles = snappedAngles(record);
    number(angles.incidence, ',');
    number(angles.azimuth, ',');
    for (int i = 0; i < kOutReflectionMueller; ++i) number(record.output[i], ',');
    const double turn = frameTurn(record);
    const surf::Mat4 reflection = reflectionInSpBasis(reflectionMueller(record), turn);
    const surf::Mat4 transmission = transmissionInSpBasis(transmissionMueller(record), turn);
    for (double v : reflection.m) number(v, ',');
    for (int e = 0; e < 16; ++e) number(transmission.m[e], e + 1 < 16 ? ',' : '\n');
  }

  const PluginLibrary &plugin_;
  OutputTarget &output_;
  std::string source_;
  std::vector<Row> chunk_;
  std::size_t filled_ = 0;
  HitRecord blank_;
  std::string text_;
  std::optional<Stokes> stokes_;
  MatrixFrame frame_;
  BatchStatistics statistics_;
};

// --frame sp adds columns of its own; a passed-through column of the same name would make the
// output ambiguous to whatever reads it by name.
void refuseSpColumnClash(const BatchLayout &layout, const std::string &where) {
  for (std::size_t f : layout.passedFields) {
    const std::string &name = layout.names[f];
    bool clash = name == "incidence" || name == "azimuth";
    for (int i = 0; i < kOutReflectionMueller; ++i) clash = clash || name == outputFieldName(i);
    if (name.size() == 3 && (name[0] == 'R' || name[0] == 'T') && name[1] >= '0' &&
        name[1] <= '3' && name[2] >= '0' && name[2] <= '3')
      clash = true;
    if (clash)
      throw InputError(where + "column " + std::to_string(f + 1) + " " + inQuotes(name) +
                       " has the name of a column --frame sp writes");
  }
}

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
  const std::string source = fromStandardInput ? "standard input" : visible(options.input);
  std::ifstream file;
  if (!fromStandardInput) {
    std::error_code ignored;
    if (std::filesystem::is_directory(options.input, ignored))
      throw InputError(inQuotes(options.input) + ": is a directory, not a CSV file of ray hits");
    file.open(options.input, std::ios::binary);
    if (!file) throw InputError(inQuotes(options.input) + ": cannot open: " + std::strerror(errno));
    // --force must not replace the hits being read by their results.
    if (!options.output.empty() && std::filesystem::equivalent(options.input, options.output, ignored))
      throw InputError("-o " + inQuotes(options.output) + ": is the input file; not replaced");
  }
  std::istream &in = fromStandardInput ? std::cin : file;
  if (fromStandardInput) std::ios::sync_with_stdio(false);

  OutputTarget output(options.output, options.force);
  PluginLibrary plugin;
  requireInitResult(openPlugin(plugin, options.pluginPath));
  noteLoadedPlugin(plugin);
  BatchRunner runner(plugin, output, source, options.stokes, options.frame);

  std::string line, passed;
  std::size_t lineNumber = 0;
  std::optional<BatchLayout> layout;
  double values[kHitColumnCount];
  for (LineRead read; (read = readBoundedLine(in, line)) != LineRead::End;) {
    ++lineNumber;
    const std::string where = source + ":" + std::to_string(lineNumber) + ": ";
    if (read == LineRead::TooLong)
      throw InputError(where + "line longer than " + std::to_string(kMaxLineBytes) +
                       " bytes, starting " + quotedStart(line, kQuotedTextLimit));
    std::string_view text = withoutLineEnd(line);
    if (!layout) {
      text = withoutByteOrderMark(text);
      std::string problem;
      layout = parseBatchHeader(text, problem);
      if (!layout)
        throw InputError(where + problem + "; found " + quotedStart(text, 2 * kQuotedTextLimit + 40));
      if (options.frame == MatrixFrame::Sp) refuseSpColumnClash(*layout, where);
      runner.begin(*layout);
      continue;
    }
    if (trimBlanks(text).empty()) continue;  // blank lines, e.g. at the end of a file
    if (const std::optional<RowError> error = parseBatchRow(text, *layout, values, passed))
      throw InputError(where + error->message);
    runner.add(values, passed, lineNumber);
  }
  if (in.bad()) throw ToolFailure("reading " + inQuotes(source) + " failed");
  if (!layout)
    throw InputError(source + ": empty input; the first line must be '" + batchHeader() + "'");
  runner.flush();
  output.commit();
  if (options.timing) reportTiming(runner.statistics(), Clock::now() - start);
  return 0;
}

}  // namespace probe
