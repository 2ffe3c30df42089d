// batch.h - reading ray hits from CSV, one per row.
#ifndef SURF_PROBE_BATCH_H
#define SURF_PROBE_BATCH_H

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/probe/records.h"

namespace probe {

// The header of a batch input that holds the ten hit columns and nothing else.
std::string batchHeader();

// Where a batch input keeps its columns. The header names the ten hit columns, each once, in
// any order; columns of other names (an id, a comment) are passed through to the output, in
// front of the hit columns, as the input wrote them.
struct BatchLayout {
  std::array<std::size_t, kHitColumnCount> hitField;  // the field of each hit column
  std::vector<std::size_t> passedFields;              // fields of the other columns
  std::vector<std::string> names;                     // every column's name, as written
  std::size_t fieldCount = kHitColumnCount;
};
// The layout of batchHeader().
BatchLayout defaultBatchLayout();
// Reads a header line (line end and byte-order mark removed); nullopt and `problem` set when it
// lacks a hit column or names a column twice.
std::optional<BatchLayout> parseBatchHeader(std::string_view line, std::string &problem);

// A malformed row: which column (1-based) and what is wrong with it.
struct RowError {
  int column;
  std::string message;  // names the column, e.g. "column 3 (rayY): 'abc' is not a number"
};

// Parses one data row (line end already removed) into `values`, in kHitColumnNames order, and
// the passed-through fields, each as written and separated by commas, into `passed`. Numbers may
// be quoted ("0.5"), as spreadsheets write them.
std::optional<RowError> parseBatchRow(std::string_view line, const BatchLayout &layout,
                                      double values[kHitColumnCount], std::string &passed);
// The same for a row of batchHeader()'s columns.
std::optional<RowError> parseBatchRow(std::string_view line, double values[kHitColumnCount]);

// Removes a trailing carriage return (files written on Windows) from a line.
std::string_view withoutLineEnd(std::string_view line);

// Removes a UTF-8 byte-order mark, which some spreadsheet programs put in front of a CSV.
std::string_view withoutByteOrderMark(std::string_view line);

}  // namespace probe

#endif
