// Number reading and writing, batch row parsing and the command line, without a plug-in.
#include "tools/probe/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "tools/probe/batch.h"
#include "tools/probe/errors.h"
#include "tools/probe/options.h"

namespace {

using namespace probe;

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

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

TEST(CommandLine, HelpWinsOverOtherProblems) { EXPECT_TRUE(parse({"sweep", "--help"}).help); }

}  // namespace
