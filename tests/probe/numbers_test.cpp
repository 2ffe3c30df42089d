// Number reading and writing, batch row parsing and the command line, without a plug-in.
#include "tools/probe/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "tests/support/bits.h"
#include "tools/probe/batch.h"
#include "tools/probe/errors.h"
#include "tools/probe/input_text.h"
#include "tools/probe/options.h"

namespace {

using namespace probe;

using surf_test::bits;

struct NumberCase {
  const char *text;
  bool accepted;
  double value;
};

TEST(ParseNumber, AcceptsExactlyOneNumber) {
  const NumberCase cases[] = {
      {"0.3", true, 0.3},  {" -1.5e-3\t", true, -1.5e-3},
      {"+2", true, 2.0},   {"1e308", true, 1e308},
      {"", false, 0},      {"  ", false, 0},
      {"abc", false, 0},   {"0.3x", false, 0},
      {"1,2", false, 0},   {"1 2", false, 0},
      {"++1", false, 0},   {"+-1", false, 0},
      {"1e400", false, 0}, {"0x10", false, 0},
      {"+", false, 0},     {"-", false, 0},
      {".5", true, 0.5},   {"5.", true, 5.0},
  };
  for (const NumberCase &c : cases) {
    double value = -999.0;
    EXPECT_EQ(parseNumber(c.text, value), c.accepted) << "'" << c.text << "'";
    if (c.accepted) EXPECT_EQ(value, c.value) << "'" << c.text << "'";
  }
}

TEST(ReadNumber, TellsOutOfRangeFromNotANumber) {
  const struct {
    const char *text;
    NumberRead read;
    const char *fault;
  } cases[] = {
      {"1e999", NumberRead::OutOfRange, "'1e999' is out of range"},
      {"-1e999", NumberRead::OutOfRange, "out of range"},
      {"1e-400", NumberRead::OutOfRange, "'1e-400' is out of range"},
      {"1e-310", NumberRead::Number, ""},  // subnormal, but a double holds it
      {" ", NumberRead::Empty, "empty field"},
      {"0.5\r", NumberRead::NotANumber, "'0.5\\r' is not a number"},
      {"1e999x", NumberRead::NotANumber, "is not a number"},
  };
  for (const auto &c : cases) {
    double value;
    EXPECT_EQ(readNumber(c.text, value), c.read) << c.text;
    if (c.read != NumberRead::Number)
      EXPECT_NE(numberFault(c.text, c.read).find(c.fault), std::string::npos)
          << numberFault(c.text, c.read);
  }
}

TEST(Visible, ShowsWhatPrintsAsNothing) {
  const struct {
    const char *text, *shown;
  } cases[] = {
      {"rayX 0.5", "rayX 0.5"},
      {"a\tb\r\n", "a\\tb\\r\\n"},
      {"\x01\x7F", "\\x01\\x7F"},
      {"wavelength\xC2\xA0", "wavelength\\u{00A0}"},     // no-break space
      {"\xEF\xBB\xBFx\xE2\x80\x8By", "\\u{FEFF}x\\u{200B}y"},  // byte-order mark, zero width
      {"r\xC3\xA9sultats", "r\xC3\xA9sultats"},        // a letter stays a letter
      {"\xFF\xC0\xAF", "\\xFF\\xC0\\xAF"},             // not UTF-8, overlong form
  };
  for (const auto &c : cases) EXPECT_EQ(visible(c.text), c.shown);
  EXPECT_EQ(quotedStart(std::string(100, 'x'), 4), "'xxxx...'");
}

TEST(ReadBoundedLine, KeepsOnlyTheStartOfALongLine) {
  std::istringstream in("short\n" + std::string(100, 'y') + "\nlast");
  std::string line;
  EXPECT_EQ(readBoundedLine(in, line, 100), LineRead::Line);
  EXPECT_EQ(line, "short");
  EXPECT_EQ(readBoundedLine(in, line, 100), LineRead::Line);  // exactly at the limit
  EXPECT_EQ(line, std::string(100, 'y'));
  EXPECT_EQ(readBoundedLine(in, line, 100), LineRead::Line);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(readBoundedLine(in, line, 100), LineRead::End);
  std::istringstream endless(std::string(5000, '\0'));
  EXPECT_EQ(readBoundedLine(endless, line, 100), LineRead::TooLong);
  EXPECT_EQ(line, std::string(100, '\0'));
}

TEST(SplitCsvLine, ReadsQuotedFieldsAsSpreadsheetsWriteThem) {
  std::string problem;
  const auto fields = splitCsvLine(" \"0.5\" ,\"a,\"\"b\"\"\",x,", problem);
  ASSERT_TRUE(fields) << problem;
  ASSERT_EQ(fields->size(), 4u);
  EXPECT_EQ((*fields)[0].text, "0.5");
  EXPECT_EQ((*fields)[1].text, "a,\"b\"");
  EXPECT_EQ((*fields)[1].raw, "\"a,\"\"b\"\"\"");
  EXPECT_EQ((*fields)[2].text, "x");
  EXPECT_EQ((*fields)[3].text, "");
  EXPECT_FALSE(splitCsvLine("1,\"2", problem));
  EXPECT_NE(problem.find("not closed"), std::string::npos);
  EXPECT_FALSE(splitCsvLine("\"1\"2", problem));
  EXPECT_NE(problem.find("after the closing quote"), std::string::npos);
}

TEST(ParseNumber, ReadsNotANumberAndInfinities) {
  double value = 0;
  ASSERT_TRUE(parseNumber("nan", value));
  EXPECT_TRUE(std::isnan(value));
  ASSERT_TRUE(parseNumber("-inf", value));
  EXPECT_EQ(value, -std::numeric_limits<double>::infinity());
}

TEST(FormatShortest, RoundTripsRandomBitPatterns) {
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 200000; ++i) {
    uint64_t b = random();
    double v;
    std::memcpy(&v, &b, sizeof v);
    if (std::isnan(v)) continue;  // payloads are not carried through text
    const std::string text = formatShortest(v);
    double back = 0;
    ASSERT_TRUE(parseNumber(text, back)) << text;
    ASSERT_EQ(bits(back), bits(v)) << text;
  }
}

TEST(FormatShortest, KeepsSignedZeroAndSpecialValues) {
  const double values[] = {-0.0, 0.0, std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity(), 0.1 + 0.2};
  for (double v : values) {
    double back = 1;
    ASSERT_TRUE(parseNumber(formatShortest(v), back));
    EXPECT_EQ(bits(back), bits(v)) << formatShortest(v);
  }
  EXPECT_EQ(formatShortest(0.3), "0.3");  // shortest, not 0.29999999999999999
  EXPECT_EQ(formatShortest(0.1 + 0.2), "0.30000000000000004");
}

struct RowCase {
  const char *line;
  int column;            // 0: the row is good
  const char *fragment;  // expected in the message
};

TEST(ParseBatchRow, NamesTheFaultyColumn) {
  const RowCase cases[] = {
      {"0.555,0.3,0.2,0.9,1,0,0,0,0,1", 0, ""},
      {" 0.555 , 0.3,0.2,0.9,1,0,0,0,0,1 ", 0, ""},
      {"0.555,0.3,abc,0.9,1,0,0,0,0,1", 3, "column 3 (rayY): 'abc' is not a number"},
      {"0.555,0.3,0.2,0.9,1,0,0,0,0", 10, "column 10 (normalZ): missing"},
      {"0.555,0.3", 3, "column 3 (rayY): missing (the row has 2 fields"},
      {"0.555,0.3,0.2,0.9,1,0,0,0,0,1,7", 11, "column 11: extra field '7'"},
      {"0.555,0.3,0.2,0.9,1,0,0,0,0,1,", 11, "column 11: extra field ''"},
      {"0.555,,0.2,0.9,1,0,0,0,0,1", 2, "column 2 (rayX): empty field"},
      {"0.555,0.3,0.2,0.9,1,0,0,0,0,1x", 10, "column 10 (normalZ): '1x' is not a number"},
      {"", 1, "column 1 (wavelength): empty field"},
  };
  for (const RowCase &c : cases) {
    double values[kHitColumnCount];
    const std::optional<RowError> error = parseBatchRow(c.line, values);
    if (c.column == 0) {
      EXPECT_FALSE(error) << c.line << ": " << error->message;
      continue;
    }
    ASSERT_TRUE(error) << c.line;
    EXPECT_EQ(error->column, c.column) << c.line;
    EXPECT_NE(error->message.find(c.fragment), std::string::npos) << error->message;
  }
}

TEST(ParseBatchRow, StoresColumnsInOrder) {
  double values[kHitColumnCount];
  ASSERT_FALSE(parseBatchRow("1,2,3,4,5,6,7,8,9,10", values));
  for (int c = 0; c < kHitColumnCount; ++c) EXPECT_EQ(values[c], c + 1.0);
}

TEST(ParseBatchRow, FindsHitColumnsByNameAndPassesTheOthersThrough) {
  std::string problem;
  const std::optional<BatchLayout> layout = parseBatchHeader(
      "id,normalZ,normalY,normalX,referenceZ,referenceY,referenceX,rayZ,rayY,rayX,wavelength,"
      "\"note, free\"",
      problem);
  ASSERT_TRUE(layout) << problem;
  double values[kHitColumnCount];
  std::string passed;
  ASSERT_FALSE(parseBatchRow("A7,10,9,8,7,6,5,4,3,2,\"1\",\"x, y\"", *layout, values, passed));
  for (int c = 0; c < kHitColumnCount; ++c) EXPECT_EQ(values[c], c + 1.0);
  EXPECT_EQ(passed, "A7,\"x, y\",");
  const std::optional<RowError> error =
      parseBatchRow("A7,10,9,8,7,6,5,4,3,2,1e999,x", *layout, values, passed);
  ASSERT_TRUE(error);
  EXPECT_NE(error->message.find("column 11 (wavelength): '1e999' is out of range"),
            std::string::npos) << error->message;

  const struct {
    const char *header, *fragment;
  } bad[] = {
      {"wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY",
       "no column 'normalZ'"},
      {"wavelength\xC2\xA0,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ",
       "no column 'wavelength'"},
      {"id,id,wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ",
       "column 2 repeats the name 'id'"},
  };
  for (const auto &c : bad) {
    EXPECT_FALSE(parseBatchHeader(c.header, problem)) << c.header;
    EXPECT_NE(problem.find(c.fragment), std::string::npos) << problem;
  }
}

TEST(BatchLines, StripsCarriageReturnAndByteOrderMark) {
  EXPECT_EQ(withoutLineEnd("a,b\r"), "a,b");
  EXPECT_EQ(withoutLineEnd("a,b"), "a,b");
  EXPECT_EQ(withoutByteOrderMark("\xEF\xBB\xBFwavelength"), "wavelength");
  EXPECT_EQ(batchHeader(),
            "wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ");
}

ProbeOptions parse(std::vector<std::string> args) { return parseCommandLine(args); }

TEST(CommandLine, DefaultsToTheWorkedExample) {
  const ProbeOptions o = parse({});
  EXPECT_EQ(o.command, Command::Hit);
  EXPECT_EQ(o.wavelength, 0.555);
  const Vector3 ray = resolvedRay(o);
  EXPECT_EQ(ray.x, 0.3);
  EXPECT_EQ(ray.y, 0.2);
  EXPECT_EQ(ray.z, std::sqrt(0.87));
  EXPECT_EQ(resolvedNormal(o).z, 1.0);
  EXPECT_EQ(o.reference.x, 1.0);
}

TEST(CommandLine, ReadsValuesInBothForms) {
  const ProbeOptions o =
      parse({"--ray", "-0.6,0,0.8", "--wavelength=0.6", "--stokes", "1,0,0,1", "--format", "csv"});
  EXPECT_EQ(resolvedRay(o).x, -0.6);
  EXPECT_EQ(o.wavelength, 0.6);
  ASSERT_TRUE(o.stokes);
  EXPECT_EQ((*o.stokes)[3], 1.0);
  EXPECT_EQ(o.format, HitFormat::Csv);

  const ProbeOptions b = parse({"batch", "in.csv", "-o", "out.csv", "--force", "--timing"});
  EXPECT_EQ(b.command, Command::Batch);
  EXPECT_EQ(b.input, "in.csv");
  EXPECT_EQ(b.output, "out.csv");
  EXPECT_TRUE(b.force && b.timing);

  const ProbeOptions s = parse({"sweep", "--over", "azimuth", "--from", "-10", "--step", "2"});
  EXPECT_EQ(*s.over, SweepQuantity::Azimuth);
  EXPECT_EQ(*s.from, -10.0);
}

TEST(CommandLine, BuildsTheRayFromAngles) {
  const Vector3 ray = resolvedRay(parse({"--incidence", "90", "--azimuth", "90"}));
  EXPECT_NEAR(ray.x, 0.0, 1e-15);
  EXPECT_EQ(ray.y, 1.0);
  EXPECT_NEAR(ray.z, 0.0, 1e-15);
  // The angle not given keeps the worked example's value.
  const Vector3 tilted = resolvedRay(parse({"--incidence", "0"}));
  EXPECT_EQ(tilted.z, 1.0);
  const Vector3 example = resolvedRay(parse({"--azimuth", "33.69006752597979"}));
  EXPECT_NEAR(example.x, 0.3, 1e-15);
  EXPECT_NEAR(example.y, 0.2, 1e-15);
}

struct BadCommandLine {
  std::vector<std::string> args;
  const char *fragment;
};

TEST(CommandLine, RejectsBadInputNamingTheOption) {
  const BadCommandLine cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--ray"}, "--ray: missing value"},
      {{"--ray", "0.3,abc,1"}, "--ray: component 2 'abc'"},
      {{"--ray", "0.3,0.2"}, "--ray: expected 3 comma-separated numbers, got 2"},
      {{"--ray", "1,2,3,"}, "got 4"},
      {{"--normal", "1,2,3x"}, "--normal: component 3 '3x'"},
      {{"--wavelength", "0.5 nm"}, "--wavelength: '0.5 nm' is not a number"},
      {{"--stokes", "1,2,0,0"}, "--stokes: '1,2,0,0' is not a Stokes vector"},
      {{"--stokes", "-1,0,0,0"}, "--stokes"},
      {{"--format", "xml"}, "--format: 'xml' is not one of table, csv"},
      {{"--timing"}, "--timing is not an option of the single-hit command"},
      {{"--help=yes"}, "--help takes no value"},
      {{"--ray", "1,0,0", "--incidence", "10"}, "either --ray or --incidence/--azimuth"},
      {{"--azimuth", "10", "--normal", "0,0,1"}, "leave out --normal"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"stray"}, "unknown command 'stray'"},
      {{"batch", "a.csv", "b.csv"}, "unexpected argument 'b.csv'"},
      {{"batch", "--force"}, "--force only makes sense with -o FILE"},
      {{"batch", "-o"}, "--output: missing value"},
      {{"sweep"}, "sweep needs --over"},
      {{"sweep", "--over", "time"}, "--over: 'time' is not one of"},
      {{"sweep", "--over", "incidence", "--incidence", "5"},
       "--incidence is what the sweep varies"},
      {{"sweep", "--over", "azimuth", "--ray", "0,0,1"}, "--ray: an angle sweep"},
      {{"sweep", "--over", "wavelength", "--wavelength", "0.5"}, "--wavelength is what"},
      {{"sweep", "--over", "incidence", "--from", "nan"}, "--from: 'nan' is not a finite number"},
      {{"plot", "--size", "100x100"}, "--size: '100x100' is not WIDTHxHEIGHT"},
      {{"plot", "--size", "800"}, "--size: '800' is not WIDTHxHEIGHT"},
      {{"plot", "--wavelengths", "0.5,,0.6"}, "--wavelengths: component 2 ''"},
      {{"--wavelength", "1e999"}, "--wavelength: '1e999' is out of range for a double"},
      {{"--ray", "0.3,1e-400,1"}, "component 2 '1e-400' of '0.3,1e-400,1' is out of range"},
      {{"--ray", "0,0,0"}, "--ray: '0,0,0' is not a direction: it has zero length"},
      {{"--normal", "nan,0,1"}, "--normal: 'nan,0,1' is not a direction: every component"},
      {{"--reference", "0,inf,0"}, "--reference: '0,inf,0' is not a direction"},
      {{"--incidence", "120"}, "--incidence: 120 is outside 0 .. 90 degrees"},
      {{"sweep", "--over", "azimuth", "--incidence", "-1"}, "--incidence: -1 is outside"},
  };
  for (const BadCommandLine &c : cases) {
    try {
      parse(c.args);
      ADD_FAILURE() << "accepted: " << c.args[0];
    } catch (const InputError &e) {
      EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos)
          << "message: " << e.what() << "\nexpected: " << c.fragment;
    }
  }
}

// Directions reach the plug-in as unit vectors: scaled when their length is not one, bit for
// bit as typed when it is (within 1e-12), and the probe tells which it scaled.
TEST(CommandLine, MakesDirectionsUnitVectors) {
  const struct {
    Vector3 typed, used;
  } cases[] = {
      {{0.5, 0, 1}, {0.5 / std::sqrt(1.25), 0, 1 / std::sqrt(1.25)}},
      {{1e200, 0, 0}, {1, 0, 0}},
      {{3e-200, -4e-200, 0}, {0.6, -0.8, 0}},
      {{0.3, 0.2, std::sqrt(0.87)}, {0.3, 0.2, std::sqrt(0.87)}},
      {{0, 0, 1.0000000000001}, {0, 0, 1.0000000000001}},
  };
  for (const auto &c : cases) {
    const Vector3 used = unitDirection(c.typed);
    EXPECT_NEAR(used.x, c.used.x, 1e-15) << c.typed.x;
    EXPECT_NEAR(used.y, c.used.y, 1e-15) << c.typed.x;
    EXPECT_NEAR(used.z, c.used.z, 1e-15) << c.typed.x;
    EXPECT_NEAR(std::sqrt(used.x * used.x + used.y * used.y + used.z * used.z), 1.0, 2e-12);
  }
  EXPECT_EQ(bits(unitDirection({0.3, 0.2, std::sqrt(0.87)}).z), bits(std::sqrt(0.87)));
  const std::vector<std::string> notes = directionNotes(parse({"--ray", "0.5,0,1"}));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("--ray 0.5,0,1 is not a unit vector"), std::string::npos) << notes[0];
  EXPECT_TRUE(directionNotes(parse({"--ray", "0.6,0,0.8"})).empty());
}

TEST(CommandLine, HelpWinsOverOtherProblems) { EXPECT_TRUE(parse({"sweep", "--help"}).help); }

}  // namespace
