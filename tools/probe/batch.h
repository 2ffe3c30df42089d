// batch.h - reading ray hits from CSV, one per row.
#ifndef SURF_PROBE_BATCH_H
#define SURF_PROBE_BATCH_H

#include <optional>
#include <string>
#include <string_view>

#include "tools/probe/records.h"

namespace probe {

// The one header a batch input may start with.
std::string batchHeader();

// A malformed row: which column (1-based) and what is wrong with it.
struct RowError {
  int column;
  std::string message;  // names the column, e.g. "column 3 (rayY): 'abc' is not a number"
};

// Parses one data row (line end already removed) into `values`, in kHitColumnNames order.
std::optional<RowError> parseBatchRow(std::string_view line, double values[kHitColumnCount]);

// Removes a trailing carriage return (files written on Windows) from a line.
std::string_view withoutLineEnd(std::string_view line);

// Removes a UTF-8 byte-order mark, which some spreadsheet programs put in front of a CSV.
std::string_view withoutByteOrderMark(std::string_view line);

}  // namespace probe

#endif
