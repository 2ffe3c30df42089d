// surf-probe run as a user runs it, with the built plug-in: exit statuses, messages, files
// left behind, and numbers compared bit for bit with direct calls into the plug-in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "tests/support/bits.h"
#include "tools/probe/dataset_identity.h"
#include "tools/probe/map.h"
#include "tools/probe/options.h"
#include "tools/probe/plot.h"
#include "tools/probe/plugin_loader.h"
#include "tools/probe/records.h"

namespace {

namespace fs = std::filesystem;
using probe::HitRecord;

using surf_test::bits;

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> split(const std::string &text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

// A CSV text as rows of name -> number, read with strtod (not with the probe's own parser).
std::vector<std::map<std::string, double>> readCsv(const std::string &text) {
  const std::vector<std::string> lines = split(text, '\n');
  std::vector<std::map<std::string, double>> rows;
  if (lines.empty()) return rows;
  const std::vector<std::string> names = split(lines[0], ',');
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const std::vector<std::string> fields = split(lines[i], ',');
    EXPECT_EQ(fields.size(), names.size()) << "line " << i + 1;
    std::map<std::string, double> row;
    for (std::size_t c = 0; c < fields.size() && c < names.size(); ++c) {
      char *end = nullptr;
      row[names[c]] = std::strtod(fields[c].c_str(), &end);
      EXPECT_EQ(*end, '\0') << names[c] << " = '" << fields[c] << "'";
    }
    rows.push_back(row);
  }
  return rows;
}

// The plug-in called directly, for the values surf-probe should have shown.
const probe::PluginLibrary &directPlugin() {
  static probe::PluginLibrary plugin;
  static const std::string error = plugin.open(SURF_PLUGIN_PATH);
  EXPECT_EQ(error, "");
  return plugin;
}

HitRecord evaluateDirectly(const double columns[probe::kHitColumnCount]) {
  HitRecord record{};
  probe::setHitColumns(record.input, columns);
  directPlugin().evaluateCoating()(record.input, nullptr, nullptr, nullptr, record.output);
  return record;
}

// Every hit column (as the plug-in left it) and every output, bit for bit.
void expectRowMatches(const std::map<std::string, double> &row, const HitRecord &expected,
                      const std::string &context) {
  for (int c = 0; c < probe::kHitColumnCount; ++c)
    EXPECT_EQ(bits(row.at(probe::kHitColumnNames[c])),
              bits(expected.input[probe::kHitColumnRecordIndex[c]]))
        << context << " " << probe::kHitColumnNames[c];
  for (int i = 0; i < kCoatingOutputCount; ++i)
    EXPECT_EQ(bits(row.at(probe::outputFieldName(i))), bits(expected.output[i]))
        << context << " " << probe::outputFieldName(i);
}

struct ProbeRun {
  int status;
  std::string out, err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(PROBE_TEST_WORK_DIR) / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  // Runs surf-probe with `args` (shell words) in the test's directory, `environment` put in
  // front (e.g. "PATH=/x"), standard output sent where `output` says. A process a signal ended
  // has status 128 + the signal's number, as the shell reports it.
  ProbeRun probe(const std::string &args, const std::string &input = "",
                 const std::string &environment = "", const std::string &output = ">stdout") {
    writeFile(dir_ / "stdin", input);
    writeFile(dir_ / "stdout", "");
    const std::string command = "cd '" + dir_.string() + "' && " + environment + " '" +
                                SURF_PROBE_PATH + "' --plugin '" + SURF_PLUGIN_PATH + "' " + args +
                                " <stdin 2>stderr " + output;
    const int raw = std::system(command.c_str());
    return ProbeRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir_ / "stdout"),
                    readFile(dir_ / "stderr")};
  }

  // Files in the test's directory other than the ones probe() itself uses.
  std::vector<std::string> filesLeft() const {
    std::vector<std::string> names;
    for (const fs::directory_entry &e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name != "stdin" && name != "stdout" && name != "stderr") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

const char *const kBatchHeader =
    "wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ\n";

TEST_F(Cli, HelpPrintsUsage) {
  const ProbeRun run = probe("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Usage:"), std::string::npos);
  EXPECT_NE(run.out.find("surf-probe batch"), std::string::npos);
}

// Runs of blanks as one space, so checks do not depend on the table's column widths.
std::string squeezeBlanks(const std::string &text) {
  std::string out;
  for (char c : text)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  return out;
}

TEST_F(Cli, DefaultHitShowsTheWorkedExample) {
  const ProbeRun run = probe("");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string table = squeezeBlanks(run.out);
  const std::string identity = std::string(" dataset ") + SURF_DATASET_NAME +
                               ", data file SHA-256 " + SURF_DATASET_SHA256 + "\n";
  for (const char *line : {identity.c_str(), "ray direction 0.3, 0.2, 0.9327379053088815\n",
                           "reference direction 1, 0, 0\n", "surface normal 0, 0, 1\n",
                           "incidence angle 21.1342922148 deg\n",
                           "folded azimuth 33.6900675260 deg\n", "reflectionPhase 180\n",
                           "transmissionPhase 0\n", "auxiliaryValue -1\n"})
    EXPECT_NE(table.find(line), std::string::npos) << line << "\n" << run.out;
  for (int i = 0; i < kOutReflectionMueller; ++i)
    EXPECT_NE(table.find(std::string(" ") + probe::outputFieldName(i) + " "), std::string::npos);
  EXPECT_NE(table.find("reflectionMueller"), std::string::npos);
  EXPECT_NE(table.find("transmissionMueller"), std::string::npos);
}

// The eigen-axes are named in the s/p basis only where the hit has one: a ray along a +z
// normal has the limit basis, a ray along a tilted normal no plane of incidence at all.
TEST_F(Cli, EigenAxesAreNamedInTheBasisTheHitHas) {
  const struct {
    const char *args;
    bool spBasis;
  } cases[] = {
      {"--incidence 30 --azimuth 20", true},
      {"--ray 0,0,-1", true},
      {"--normal 0.36,0.48,0.8 --ray -0.36,-0.48,-0.8 --stokes 1,1,0,0", false},
      {"--normal 0.6,0,-0.8 --ray 0.6,0,-0.8", false},
  };
  for (const auto &c : cases) {
    const ProbeRun run = probe(c.args);
    ASSERT_EQ(run.status, 0) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out.find("in the s/p basis") != std::string::npos, c.spBasis) << c.args;
    EXPECT_EQ(run.out.find("no plane of incidence") == std::string::npos, c.spBasis) << c.args;
  }
}

// The identity is read from the plug-in file; a truncated or damaged file gives the identity or
// none, never a read outside it (the asan suite runs this).
TEST(DatasetIdentity, ReadFromThePluginFileAndNothingBeyondIt) {
  const std::string image = readFile(SURF_PLUGIN_PATH);
  const std::optional<probe::DatasetIdentity> identity = probe::datasetIdentityOf(image);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->name, SURF_DATASET_NAME);
  EXPECT_EQ(identity->sha256, SURF_DATASET_SHA256);
  // The section headers come last, so a file cut short has lost them (or the later ones).
  for (std::size_t size = 0; size < image.size(); size += size < 4096 ? 1 : 4093) {
    const auto found = probe::datasetIdentityOf(std::string_view(image).substr(0, size));
    EXPECT_TRUE(!found || found->sha256 == identity->sha256) << size;
    EXPECT_TRUE(!found || size > image.size() - 4096) << size;
  }
  std::mt19937 random(99);
  for (int i = 0; i < 2000; ++i) {
    std::string damaged = image;
    for (int k = 0; k < 4; ++k) damaged[random() % 4096] = static_cast<char>(random());
    const std::optional<probe::DatasetIdentity> found = probe::datasetIdentityOf(damaged);
    if (found) EXPECT_EQ(found->name.size(), identity->name.size()) << i;
  }
  EXPECT_FALSE(probe::readDatasetIdentity(SURF_PROBE_PATH));
}

TEST_F(Cli, CsvCarriesThePluginsNumbersExactly) {
  struct Case {
    const char *args;
    double columns[probe::kHitColumnCount];
  } cases[] = {
      {"", {0.555, 0.3, 0.2, std::sqrt(0.87), 1, 0, 0, 0, 0, 1}},
      // Snapped by the plug-in: the CSV must show the record after the call.
      {"--ray 1e-13,0.6,0.8 --normal 3e-13,-4e-13,0.9999999999995",
       {0.555, 1e-13, 0.6, 0.8, 1, 0, 0, 3e-13, -4e-13, 0.9999999999995}},
      {"--wavelength 0.4321 --ray -0.5,0.5,-0.7071067811865476 --reference 0,1,0 --normal 0,0,-1",
       {0.4321, -0.5, 0.5, -0.7071067811865476, 0, 1, 0, 0, 0, -1}},
      {"--wavelength nan", {NAN, 0.3, 0.2, std::sqrt(0.87), 1, 0, 0, 0, 0, 1}},
  };
  for (const Case &c : cases) {
    const ProbeRun run = probe(std::string("--format csv ") + c.args);
    ASSERT_EQ(run.status, 0) << c.args << "\n" << run.err;
    const auto rows = readCsv(run.out);
    ASSERT_EQ(rows.size(), 1u) << c.args;
    expectRowMatches(rows[0], evaluateDirectly(c.columns), c.args);
  }
}

TEST_F(Cli, CsvShowsTheSnappedVectors) {
  const ProbeRun run = probe("--format csv --ray 1e-13,0.6,0.8 --normal 1e-13,0,1.0000000000001");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto row = readCsv(run.out).at(0);
  EXPECT_EQ(bits(row.at("rayX")), bits(0.0));
  EXPECT_EQ(row.at("normalX"), 0.0);
  EXPECT_EQ(row.at("normalZ"), 1.0000000000001);  // the component that is one keeps its value
}

// The state is given in the incident frame: the reflection matrix takes it as it is, the
// transmission matrix in the mirror-image frame (U and V negated), and the transmitted state is
// shown mirrored back into the incident frame.
TEST_F(Cli, StokesOutputIsTheMatrixTimesTheStateInItsFrame) {
  const double s[4] = {1, 0.6, 0.48, 0.64};
  const ProbeRun run = probe("--format csv --stokes 1,0.6,0.48,0.64");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto row = readCsv(run.out).at(0);
  for (const std::string beam : {"reflect", "transmiss"}) {
    const std::string prefix = beam == "reflect" ? "reflected" : "transmitted";
    const double mirror[4] = {1, 1, beam == "reflect" ? 1.0 : -1.0, beam == "reflect" ? 1.0 : -1.0};
    double out[4];
    for (int i = 0; i < 4; ++i) {
      out[i] = 0;
      for (int j = 0; j < 4; ++j)
        out[i] += row.at(beam + "ionMueller" + std::to_string(i) + std::to_string(j)) * mirror[j] *
                  s[j];
      out[i] *= mirror[i];
      EXPECT_NEAR(row.at(prefix + "S" + std::to_string(i)), out[i], 1e-15) << prefix << i;
    }
    const double polarized = std::sqrt(out[1] * out[1] + out[2] * out[2] + out[3] * out[3]);
    EXPECT_NEAR(row.at(prefix + "DegreeOfPolarization"), polarized / out[0], 1e-12);
    EXPECT_NEAR(row.at(prefix + "Orientation"), 0.5 * std::atan2(out[2], out[1]) * 180 / M_PI,
                1e-9);
  }
  // The readable table shows the same states, batch the same Stokes vectors.
  const ProbeRun table = probe("--stokes 1,0.6,0.48,0.64");
  EXPECT_NE(table.out.find("reflected Stokes"), std::string::npos);
  EXPECT_NE(table.out.find("polarization degree"), std::string::npos);
  const ProbeRun batch = probe("batch --stokes 1,0.6,0.48,0.64",
                               std::string(kBatchHeader) + "0.555,0.3,0.2,0.9327379053088815,1,0,0,0,0,1\n");
  ASSERT_EQ(batch.status, 0) << batch.err;
  const auto batchRow = readCsv(batch.out).at(0);
  for (const char *beam : {"reflected", "transmitted"})
    for (int i = 0; i < 4; ++i) {
      const std::string name = beam + std::string("S") + std::to_string(i);
      EXPECT_EQ(bits(batchRow.at(name)), bits(row.at(name))) << name;
    }
}

struct BadRun {
  std::string args;
  const char *fragment;
};

TEST_F(Cli, BadInputExitsWithStatusTwoAndSaysWhy) {
  const BadRun cases[] = {
      {"--bogus", "unknown option '--bogus'"},
      {"--ray", "--ray: missing value"},
      {"--ray 0.3,abc,1", "--ray: component 2 'abc' of '0.3,abc,1' is not a number"},
      {"--ray 0.3,0.2", "--ray: expected 3 comma-separated numbers, got 2"},
      {"--reference 1,0,0junk", "--reference: component 3 '0junk'"},
      {"--wavelength 0.5.5", "--wavelength: '0.5.5' is not a number"},
      {"--plugin /nonexistent/surf.so", "--plugin '/nonexistent/surf.so': cannot load"},
      {std::string("--plugin '") + INCOMPLETE_PLUGIN_PATH + "'",
       "does not export fnEvaluateCoating"},
      {"sweep --over incidence --step 0", "--step: must be positive"},
      {"sweep --over incidence --from 10 --to 5", "--to: 5 is below --from 10"},
      {"sweep --over azimuth --normal 0,0,1", "--normal: an angle sweep works on the +z normal"},
      {"batch missing.csv", "'missing.csv': cannot open"},
      {"batch .", "'.': is a directory"},
      {"sweep --over incidence --to 100", "an incidence sweep runs within 0 .. 90 degrees"},
      {"plot -o chart.svg", "charts are drawn as PNG"},
  };
  for (const BadRun &c : cases) {
    const ProbeRun run = probe(c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.err.find(c.fragment), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.args;
  }
}

TEST_F(Cli, BatchMatchesDirectCallsBitForBit) {
  std::mt19937_64 random(424242);
  std::uniform_real_distribution<double> unit(-1.0, 1.0), wavelength(0.38, 0.72);
  std::vector<std::array<double, probe::kHitColumnCount>> hits;
  for (int i = 0; i < 300; ++i) {
    const double x = unit(random), y = unit(random), z = unit(random);
    const double n = std::sqrt(x * x + y * y + z * z);
    hits.push_back({wavelength(random), x / n, y / n, z / n, 1, 0, 0, 0, 0, 1});
  }
  hits.push_back({0.555, 1e-13, -2e-13, 1, 0.5, 0.5, 0.7071067811865476, 0.6, 0, 0.8});
  hits.push_back({0.7, 1, 0, 0, 0, 1, 0, 1e-300, 0, -1});
  std::string input = kBatchHeader;
  for (const auto &h : hits) {
    for (int c = 0; c < probe::kHitColumnCount; ++c) {
      char field[32];
      std::snprintf(field, sizeof field, "%.17g", h[c]);
      input += field;
      input += c + 1 < probe::kHitColumnCount ? ',' : '\n';
    }
  }
  writeFile(dir_ / "hits.csv", input);

  const ProbeRun fromFile = probe("batch hits.csv -o out.csv");
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  const ProbeRun fromStdin = probe("batch -", input);
  ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
  EXPECT_EQ(readFile(dir_ / "out.csv"), fromStdin.out);

  const auto rows = readCsv(fromStdin.out);
  ASSERT_EQ(rows.size(), hits.size());
  for (std::size_t i = 0; i < hits.size(); ++i)
    expectRowMatches(rows[i], evaluateDirectly(hits[i].data()), "row " + std::to_string(i + 2));
}

TEST_F(Cli, BatchAcceptsWindowsLineEndsAndBlankLines) {
  const ProbeRun run = probe("batch", std::string("\xEF\xBB\xBF") +
                                          "wavelength,rayX,rayY,rayZ,referenceX,referenceY,"
                                          "referenceZ,normalX,normalY,normalZ\r\n"
                                          "0.555,0.3,0.2,0.9327379053088815,1,0,0,0,0,1\r\n\r\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readCsv(run.out).size(), 1u);
}

TEST_F(Cli, MalformedBatchRowsNameTheLineAndColumn) {
  const std::string good = "0.555,0.3,0.2,0.9,1,0,0,0,0,1\n";
  const struct {
    std::string text;
    const char *fragment;
    const char *options = "";
  } cases[] = {
      {kBatchHeader + good + "0.555,0.3,x,0.9,1,0,0,0,0,1\n",
       "bad.csv:3: column 3 (rayY): 'x' is not a number"},
      {kBatchHeader + good + good + "0.555,0.3,0.2\n", "bad.csv:4: column 4 (rayZ): missing"},
      {kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1,5\n"),
       "bad.csv:2: column 11: extra field '5'"},
      {"wavelength,rayX\n" + good, "bad.csv:1: the header has no column 'rayY'"},
      // Messages show what prints as nothing, and quote at most the start of a long line.
      {std::string("wavelength\xC2\xA0") + (kBatchHeader + 10) + good, "no column 'wavelength'; it must name wavelength,rayX,rayY,rayZ,referenceX,referenceY,"
       "referenceZ,normalX,normalY,normalZ (other columns are passed through); found "
       "'wavelength\\u{00A0},rayX"},
      {kBatchHeader + std::string("0.555,0.3,0.2\r,0.9,1,0,0,0,0,1\n"),
       "bad.csv:2: column 3 (rayY): '0.2\\r' is not a number"},
      {kBatchHeader + std::string("0.555,0.3,1e-400,0.9,1,0,0,0,0,1\n"),
       "bad.csv:2: column 3 (rayY): '1e-400' is out of range for a double"},
      {kBatchHeader + good + std::string(3 << 20, '7') + "\n",
       "bad.csv:3: line longer than 1048576 bytes, starting '777"},
      {"", "bad.csv: empty input"},
      // A passed-through column named like one --frame sp adds would make its output ambiguous.
      {std::string("R01,") + kBatchHeader + "5," + good,
       "bad.csv:1: column 1 'R01' has the name of a column --frame sp writes", " --frame sp"},
      {std::string("azimuth,") + kBatchHeader + "5," + good,
       "bad.csv:1: column 1 'azimuth' has the name of a column --frame sp writes", " --frame sp"},
  };
  for (const auto &c : cases) {
    writeFile(dir_ / "bad.csv", c.text);
    const ProbeRun run = probe(std::string("batch bad.csv -o out.csv") + c.options);
    EXPECT_EQ(run.status, 2) << c.fragment;
    EXPECT_NE(run.err.find(c.fragment), std::string::npos) << run.err.substr(0, 400);
    EXPECT_LT(run.err.size(), 600u) << c.fragment;
    EXPECT_EQ(filesLeft(), std::vector<std::string>{"bad.csv"}) << c.fragment;
  }
  // Input that is not a batch writes nothing to standard output either, not even a header.
  writeFile(dir_ / "bad.csv", "wavelength,rayX\n" + good);
  const ProbeRun run = probe("batch bad.csv");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
}

TEST_F(Cli, BatchNeverOverwritesWithoutForce) {
  writeFile(dir_ / "hits.csv", kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"));
  writeFile(dir_ / "results.csv", "precious\n");
  const ProbeRun refused = probe("batch hits.csv -o results.csv");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("-o 'results.csv': the file exists; pass --force"), std::string::npos)
      << refused.err;
  EXPECT_EQ(readFile(dir_ / "results.csv"), "precious\n");

  const ProbeRun replaced = probe("batch hits.csv -o results.csv --force");
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(readCsv(readFile(dir_ / "results.csv")).size(), 1u);
  // Not even with --force does a run replace its own input.
  const std::string hits = readFile(dir_ / "hits.csv");
  const ProbeRun itself = probe("batch hits.csv -o ./hits.csv --force");
  EXPECT_EQ(itself.status, 2);
  EXPECT_NE(itself.err.find("-o './hits.csv': is the input file"), std::string::npos) << itself.err;
  EXPECT_EQ(readFile(dir_ / "hits.csv"), hits);
  EXPECT_EQ(filesLeft(), (std::vector<std::string>{"hits.csv", "results.csv"}));
}

TEST_F(Cli, FailedRunLeavesTheUsersFileWhole) {
  // More rows than one chunk, so part of the output has been written when the bad row comes.
  std::string input = kBatchHeader;
  for (int i = 0; i < 10000; ++i) input += "0.555,0.3,0.2,0.9,1,0,0,0,0,1\n";
  input += "0.555,0.3,0.2,0.9,1,0,0,0,0,oops\n";
  writeFile(dir_ / "hits.csv", input);
  writeFile(dir_ / "results.csv", "precious\n");
  const ProbeRun run = probe("batch hits.csv -o results.csv --force");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("hits.csv:10002: column 10 (normalZ): 'oops'"), std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(dir_ / "results.csv"), "precious\n");
  EXPECT_EQ(filesLeft(), (std::vector<std::string>{"hits.csv", "results.csv"}));
}

TEST_F(Cli, BatchTimingReportsThePluginTimeSeparately) {
  const ProbeRun run =
      probe("batch --timing", kBatchHeader + std::string("0.5,0,0,1,1,0,0,0,0,1\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("1 hits; plug-in "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("reading, parsing and writing"), std::string::npos) << run.err;
}

// A sweep point must agree with the single hit the same options describe, its eigen-axis
// columns with the first row of that hit's Mueller matrices read in the s/p basis (with the
// reference direction along +x, the reflection matrix's own frame, and the mirror image of the
// transmission matrix's), and its figures of merit with the scalar outputs: the two eigen-values
// of each matrix add up to s plus p (the table keeps that sum to its six digits).
TEST_F(Cli, SweepAgreesWithSingleHits) {
  const ProbeRun sweep = probe("sweep --over incidence --from 0 --to 60 --step 15 --azimuth 120");
  ASSERT_EQ(sweep.status, 0) << sweep.err;
  const auto rows = readCsv(sweep.out);
  ASSERT_EQ(rows.size(), 5u);
  for (const auto &row : rows) {
    const double incidence = row.at("incidence");
    EXPECT_NEAR(row.at("incidenceAngle"), incidence, 1e-9);
    EXPECT_NEAR(row.at("azimuthAngle"), incidence == 0 ? 0 : 60, 1e-9);  // 120 folds to 60

    char args[128];
    std::snprintf(args, sizeof args, "--format csv --incidence %.17g --azimuth 120", incidence);
    const auto hit = readCsv(probe(args).out).at(0);
    for (const char *name : {"reflectanceS", "reflectanceP", "transmittanceS", "transmittanceP",
                             "absorptanceS", "absorptanceP"})
      EXPECT_EQ(bits(row.at(name)), bits(hit.at(name))) << name << " at " << incidence;
    for (const std::string beam : {"reflection", "transmission"}) {
      const double m00 = hit.at(beam + "Mueller00"), m01 = hit.at(beam + "Mueller01"),
                   m02 = hit.at(beam + "Mueller02");
      EXPECT_NEAR(row.at(beam + "Diattenuation"), std::hypot(m01, m02) / m00, 1e-14);
      const double sense = beam == "reflection" ? 1.0 : -1.0;
      const double axis = sense * 0.5 * std::atan2(m02, m01) * 180 / M_PI;
      EXPECT_NEAR(std::remainder(row.at(beam + "Axis") - axis, 180.0), 0.0, 1e-9);
    }
    const double pass = row.at("passTransmittance"), block = row.at("blockTransmittance");
    EXPECT_NEAR(pass + block, hit.at("transmittanceS") + hit.at("transmittanceP"), 6e-7);
    EXPECT_NEAR(row.at("extinctionRatio"), pass / block, 1e-9 * pass / block);
    EXPECT_NEAR(row.at("transmittedPolarizationDegree"), (pass - block) / (pass + block), 1e-12);
    const double contrast = row.at("reflectionContrast");
    const double reflected = hit.at("reflectanceS") + hit.at("reflectanceP");
    const double polarization = (contrast - 1) / (contrast + 1);
    EXPECT_NEAR(row.at("reflectedPolarizationDegree"), polarization, 1e-12);
    EXPECT_NEAR(reflected, 2 * hit.at("reflectionMueller00"), 6e-7);
    EXPECT_EQ(hit.at("extinctionRatio"), row.at("extinctionRatio"));
  }
}

TEST_F(Cli, SweepWritesItsFileOnlyWhenAsked) {
  writeFile(dir_ / "sweep.csv", "precious\n");
  EXPECT_EQ(probe("sweep --over wavelength -o sweep.csv").status, 2);
  EXPECT_EQ(readFile(dir_ / "sweep.csv"), "precious\n");
  const ProbeRun run = probe("sweep --over wavelength --stokes 1,0,0,0 -o sweep.csv --force");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = readCsv(readFile(dir_ / "sweep.csv"));
  ASSERT_EQ(rows.size(), 61u);
  EXPECT_EQ(rows.front().at("wavelength"), 0.4);
  EXPECT_EQ(rows.back().at("wavelength"), 0.7);
  EXPECT_TRUE(rows.front().count("transmittedOrientation"));
}

// True when there is no gnuplot to draw with; CI installs gnuplot, so there a missing one is a
// failure, not a reason to skip.
bool gnuplotMissing() {
  const char *path = std::getenv("PATH");
  if (!probe::findOnPath("gnuplot", path ? path : "").empty()) return false;
  const char *ci = std::getenv("CI");
  if (ci != nullptr && std::string(ci) == "true") ADD_FAILURE() << "gnuplot is not installed";
  return true;
}

TEST_F(Cli, PlotRendersAPngOfTheRequestedSize) {
  if (gnuplotMissing()) GTEST_SKIP() << "no gnuplot (apt-get install gnuplot-nox)";
  const ProbeRun run = probe("plot -o chart.png --size 800x600 --wavelengths 0.45,0.6");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::optional<probe::PngSize> size = probe::readPngSize((dir_ / "chart.png").string());
  ASSERT_TRUE(size) << "not a PNG";
  EXPECT_EQ(size->width, 800u);
  EXPECT_EQ(size->height, 600u);
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"chart.png"});
}

// The map's data: every azimuth scan covers the cone, and near the normal the pass axis lies
// along the surface's x-axis whatever the plane of incidence (the grid is fixed in the surface).
TEST(Map, CoversTheConeAndShowsTheGridNearTheNormal) {
  probe::ProbeOptions options;
  options.quantity = probe::MapQuantity::Axis;
  options.reference = {0.3, -0.8, 0.1};
  const probe::MapData data = probe::evaluateMapData(directPlugin(), options);
  ASSERT_EQ(data.incidences.size(), 90u);
  ASSERT_EQ(data.scans.size(), 181u);
  for (const probe::MapScan &scan : data.scans) {
    ASSERT_EQ(scan.values.size(), 90u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(scan.values[i], 0.0, 0.1) << scan.azimuth << " " << i;
  }
  options.quantity = probe::MapQuantity::Extinction;
  probe::MapData extinction = probe::evaluateMapData(directPlugin(), options);
  for (const probe::MapScan &scan : extinction.scans)
    for (double v : scan.values) ASSERT_GT(v, 1.0) << scan.azimuth;
  extinction.title = "dataset my_coat^2";
  const std::string script = probe::buildMapScript(extinction);
  EXPECT_NE(script.find("set logscale cb"), std::string::npos);
  EXPECT_NE(script.find("set title 'dataset my_coat^2' noenhanced\n"), std::string::npos);
  EXPECT_EQ(std::count(script.begin(), script.end(), '\n') > 90 * 181, true);
}

TEST_F(Cli, MapRendersAPngOfTheRequestedSize) {
  if (gnuplotMissing()) GTEST_SKIP() << "no gnuplot (apt-get install gnuplot-nox)";
  for (const char *quantity : {"extinction", "axis"}) {
    const std::string name = std::string(quantity) + ".png";
    const ProbeRun run = probe("map --quantity " + std::string(quantity) +
                               " --size 700x600 -o " + name);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<probe::PngSize> size = probe::readPngSize((dir_ / name).string());
    ASSERT_TRUE(size) << "not a PNG";
    EXPECT_EQ(size->width, 700u);
    EXPECT_EQ(size->height, 600u);
    // A drawn map, not an empty canvas: it compresses to far more than a blank image.
    EXPECT_GT(fs::file_size(dir_ / name), 20000u) << quantity;
  }
}

// Both coatings named; a plug-in compared with itself differs nowhere.
TEST_F(Cli, CompareNamesBothDatasetsAndFindsNoDifferenceWithItself) {
  // probe() passes --plugin, which names plug-in A.
  const ProbeRun run = probe(std::string("compare '") + SURF_PLUGIN_PATH + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string identity = std::string(": dataset ") + SURF_DATASET_NAME;
  EXPECT_NE(run.out.find("  A  "), std::string::npos);
  EXPECT_NE(run.out.find(identity), run.out.rfind(identity)) << run.out;
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = run.out.find("   by 0 at", at)) != std::string::npos; ++at) ++lines;
  for (std::size_t at = 0; (at = run.out.find("   factor 1 at", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 7u) << run.out;
  const ProbeRun one = probe("compare");
  EXPECT_EQ(one.status, 2);
  EXPECT_NE(one.err.find("compare needs two plug-ins"), std::string::npos) << one.err;
}

TEST_F(Cli, PlotRefusesANameThatIsNotPng) {
  const ProbeRun run = probe("plot -o chart.svg");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("chart.svg"), std::string::npos) << run.err;
  EXPECT_TRUE(filesLeft().empty());
}

TEST_F(Cli, PlotWithoutGnuplotNamesThePackage) {
  fs::create_directories(dir_ / "empty");
  writeFile(dir_ / "chart.png", "precious");
  const ProbeRun run =
      probe("plot -o chart.png --force", "", "PATH='" + (dir_ / "empty").string() + "'");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("gnuplot-nox"), std::string::npos) << run.err;
  EXPECT_EQ(readFile(dir_ / "chart.png"), "precious");
}

// Every command that writes to standard output fails with status 1 and a message when the
// output does not arrive: a full device, or a standard output the caller closed.
TEST_F(Cli, EveryWriteErrorExitsOneWithAMessage) {
  writeFile(dir_ / "hits.csv", kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"));
  for (const char *output : {">/dev/full", ">&-"})
    for (const char *args : {"", "--format csv", "--stokes 1,1,0,0", "--help", "batch hits.csv",
                             "sweep --over wavelength"}) {
      const ProbeRun run = probe(args, "", "", output);
      EXPECT_EQ(run.status, 1) << args << " " << output;
      EXPECT_NE(run.err.find("writing standard output failed"), std::string::npos)
          << args << " " << output << ": " << run.err;
      EXPECT_EQ(filesLeft(), std::vector<std::string>{"hits.csv"}) << args << " " << output;
    }
}

// --force replaces a regular file only, keeping its permission bits; anything else is refused
// by name and left as it was.
TEST_F(Cli, ForceReplacesOnlyARegularFileAndKeepsItsPermissions) {
  writeFile(dir_ / "hits.csv", kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"));
  writeFile(dir_ / "private.csv", "secret\n");
  fs::permissions(dir_ / "private.csv",
                 fs::perms::owner_read | fs::perms::owner_write | fs::perms::set_uid);
  const ProbeRun replaced = probe("batch hits.csv -o private.csv --force");
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(readCsv(readFile(dir_ / "private.csv")).size(), 1u);
  EXPECT_EQ(fs::status(dir_ / "private.csv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  fs::create_symlink("private.csv", dir_ / "link");
  fs::create_directory(dir_ / "folder");
  ASSERT_EQ(std::system(("mkfifo '" + (dir_ / "fifo").string() + "'").c_str()), 0);
  const struct {
    const char *target, *kind;
    fs::file_type type;
  } cases[] = {{"link", "a symbolic link", fs::file_type::symlink},
               {"folder", "a directory", fs::file_type::directory},
               {"fifo", "a FIFO", fs::file_type::fifo},
               {"/dev/null", "a character device", fs::file_type::character}};
  for (const auto &c : cases) {
    const ProbeRun run = probe(std::string("batch hits.csv --force -o ") + c.target);
    EXPECT_EQ(run.status, 2) << c.target;
    EXPECT_NE(run.err.find(std::string("-o '") + c.target + "': is " + c.kind +
                           "; --force replaces only a regular file"),
              std::string::npos)
        << run.err;
    const fs::path target = c.target[0] == '/' ? fs::path(c.target) : dir_ / c.target;
    EXPECT_EQ(fs::symlink_status(target).type(), c.type) << c.target;
  }
  EXPECT_EQ(filesLeft(),
            (std::vector<std::string>{"fifo", "folder", "hits.csv", "link", "private.csv"}));
}

// batch, sweep and hit all check what the plug-in did to the record; the commands that write a
// file leave none behind when it broke the contract.
TEST_F(Cli, EveryEvaluatingCommandChecksTheRecordContract) {
  writeFile(dir_ / "hits.csv", kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"));
  const std::string faulty = std::string("--plugin '") + FAULTY_PLUGIN_PATH + "' ";
  const struct {
    const char *fault, *fragment;
  } faults[] = {{"host", "the plug-in changed host element 2 of the input record"},
                {"unwritten", "the plug-in left output transmissionMueller33 unwritten"},
                {"return", "fnEvaluateCoating returned 1 instead of 0"}};
  for (const auto &f : faults) {
    const std::string environment = std::string("SURF_TEST_PLUGIN_FAULT=") + f.fault;
    for (const char *args : {"batch hits.csv -o out.csv", "sweep --over azimuth -o out.csv", ""}) {
      const ProbeRun run = probe(faulty + args, "", environment);
      EXPECT_EQ(run.status, 1) << f.fault << " " << args;
      EXPECT_NE(run.err.find(f.fragment), std::string::npos) << args << ": " << run.err;
      EXPECT_EQ(filesLeft(), std::vector<std::string>{"hits.csv"}) << f.fault << " " << args;
    }
  }
  // The same plug-in keeping the contract passes.
  EXPECT_EQ(probe(faulty + "batch hits.csv").status, 0);
  EXPECT_EQ(probe(faulty + "sweep --over azimuth").status, 0);
  const ProbeRun message = probe(faulty + "batch hits.csv", "", "SURF_TEST_PLUGIN_FAULT=host");
  EXPECT_NE(message.err.find("hits.csv:2: the plug-in changed host element 2"), std::string::npos)
      << message.err;
}

// Sets a signal's disposition in this process, and so in the probes it starts, for its lifetime.
class SignalDisposition {
 public:
  SignalDisposition(int signalNumber, void (*handler)(int))
      : signalNumber_(signalNumber), previous_(std::signal(signalNumber, handler)) {}
  ~SignalDisposition() { std::signal(signalNumber_, previous_); }

 private:
  int signalNumber_;
  void (*previous_)(int);
};

// An interrupted run, or one whose plug-in crashes, removes its temporary file and leaves the
// user's file as it was; it ends by the signal, as it would have without the probe's handler,
// and names a crash. A stop signal its caller ignores (nohup, a job a script started with &)
// stays ignored.
TEST_F(Cli, SignalsRemoveTemporaryFiles) {
  writeFile(dir_ / "hits.csv", kBatchHeader + std::string("0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"));
  const std::string faulty = std::string("--plugin '") + FAULTY_PLUGIN_PATH + "' ";
  const struct {
    const char *fault;
    int signalNumber;
    bool ignoredByCaller;
    const char *message;
  } cases[] = {{"SIGINT", SIGINT, false, ""},
               {"SIGTERM", SIGTERM, false, ""},
               {"SIGHUP", SIGHUP, false, ""},
               {"crash", SIGSEGV, false, "surf-probe: the plug-in crashed (SIGSEGV)\n"},
               {"SIGINT", SIGINT, true, ""},
               {"SIGHUP", SIGHUP, true, ""}};
  for (const auto &c : cases) {
    const SignalDisposition caller(c.signalNumber, c.ignoredByCaller ? SIG_IGN : SIG_DFL);
    for (const char *args : {"batch hits.csv -o results.csv --force",
                             "sweep --over incidence -o results.csv --force"}) {
      const std::string context =
          std::string(c.fault) + (c.ignoredByCaller ? " ignored " : " ") + args;
      writeFile(dir_ / "results.csv", "precious\n");
      const ProbeRun run =
          probe(faulty + args, "", std::string("SURF_TEST_PLUGIN_FAULT=") + c.fault);
      EXPECT_EQ(run.status, c.ignoredByCaller ? 0 : 128 + c.signalNumber) << context;
      EXPECT_EQ(readFile(dir_ / "results.csv") == "precious\n", !c.ignoredByCaller) << context;
      EXPECT_EQ(filesLeft(), (std::vector<std::string>{"hits.csv", "results.csv"})) << context;
      EXPECT_EQ(run.err.find("crash") == std::string::npos, *c.message == '\0') << run.err;
      EXPECT_NE(run.err.find(c.message), std::string::npos) << context << ": " << run.err;
    }
  }
}

// A chart interrupted while gnuplot draws it leaves nothing behind: the probe ends gnuplot before
// it removes the temporary file, which gnuplot would otherwise write again. The stand-in for
// gnuplot draws, says so, and draws again once the probe has gone, as gnuplot reading the rest
// of its script would.
TEST_F(Cli, InterruptedChartLeavesNoFileBehind) {
  const fs::path fake = dir_ / "fake-gnuplot";
  writeFile(fake,
            "#!/bin/sh\n"
            "out=$(sed -n \"s/^set output '\\(.*\\)'$/\\1/p\")\n"
            "echo drawn >\"$out\"\n"
            "echo $$ >ready.part && mv ready.part ready\n"
            "while kill -0 $PPID 2>/dev/null; do sleep 0.01; done\n"
            "echo drawn again >\"$out\"\n"
            "touch finished\n");
  fs::permissions(fake, fs::perms::owner_all);
  for (const char *command : {"plot", "map"})
    for (int signalNumber : {SIGTERM, SIGHUP}) {
      const std::string context = std::string(command) + " " + strsignal(signalNumber);
      const std::vector<std::string> args = {SURF_PROBE_PATH, "--plugin", SURF_PLUGIN_PATH,
                                             command, "-o", "chart.png", "--gnuplot",
                                             fake.string()};
      std::vector<char *> argv;
      for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
      argv.push_back(nullptr);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
      posix_spawn_file_actions_addopen(&actions, 2, "stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      posix_spawnattr_t attributes;
      posix_spawnattr_init(&attributes);
      sigset_t defaults;
      sigemptyset(&defaults);
      sigaddset(&defaults, signalNumber);
      posix_spawnattr_setsigdefault(&attributes, &defaults);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
      pid_t pid;
      ASSERT_EQ(posix_spawn(&pid, SURF_PROBE_PATH, &actions, &attributes, argv.data(), environ), 0);
      posix_spawn_file_actions_destroy(&actions);
      posix_spawnattr_destroy(&attributes);

      const auto waitFor = [](const std::function<bool()> &done) {
        for (int i = 0; i < 2000 && !done(); ++i) usleep(10000);
        return done();
      };
      const bool ready = waitFor([&] { return fs::exists(dir_ / "ready"); });
      kill(pid, signalNumber);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(ready) << context << ": " << readFile(dir_ / "stderr");
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << context;
      // Without the probe ending it, the stand-in draws again and says "finished".
      const pid_t gnuplot = std::stoi(readFile(dir_ / "ready"));
      waitFor([&] { return kill(gnuplot, 0) != 0 || fs::exists(dir_ / "finished"); });
      EXPECT_EQ(filesLeft(), (std::vector<std::string>{"fake-gnuplot", "ready"})) << context;
      fs::remove(dir_ / "ready");
      fs::remove(dir_ / "finished");
    }
}

// A reader that goes away is a write error with a message, not a death by SIGPIPE: gnuplot
// that reads nothing, and a pipe closed after one byte.
TEST_F(Cli, NoSignalOfItsOwnMaking) {
  const ProbeRun plot = probe("plot -o f.png --gnuplot /bin/true");
  EXPECT_EQ(plot.status, 1);
  EXPECT_NE(plot.err.find("'/bin/true'"), std::string::npos) << plot.err;
  EXPECT_TRUE(filesLeft().empty());
  const ProbeRun folder = probe("plot -o f.png --gnuplot /tmp");
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("--gnuplot '/tmp': not an executable file"), std::string::npos);

  std::string input = kBatchHeader;
  for (int i = 0; i < 20000; ++i) input += "0.555,0.3,0.2,0.9,1,0,0,0,0,1\n";
  writeFile(dir_ / "stdin", input);
  const std::string command = "cd '" + dir_.string() + "' && { '" + SURF_PROBE_PATH +
                              "' --plugin '" + SURF_PLUGIN_PATH +
                              "' batch <stdin 2>stderr; echo $? >status; } | head -c 1 >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(readFile(dir_ / "status"), "1\n");
  EXPECT_NE(readFile(dir_ / "stderr").find("writing standard output failed: Broken pipe"),
            std::string::npos)
      << readFile(dir_ / "stderr");
}

// No user text reaches gnuplot where it could be read as a command: a name with a control
// character is refused before anything runs, and the file it would have named is untouched.
TEST_F(Cli, PlotRefusesNamesGnuplotWouldReadAsCommands) {
  writeFile(dir_ / "keep.txt", "precious\n");
  const ProbeRun run = probe("plot -o \"$(printf 'keep.txt\\n.png')\"");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("-o 'keep.txt\\n.png': the path holds a control character"), std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(dir_ / "keep.txt"), "precious\n");
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"keep.txt"});
}

// The probe hands the plug-in what a careful host would, and says so: directions as unit
// vectors, values beyond the table with a warning naming the samples used instead.
TEST_F(Cli, ActsAsACarefulHost) {
  const ProbeRun typed = probe("--format csv --ray 0.5,0,1 --normal 0,0,2");
  ASSERT_EQ(typed.status, 0) << typed.err;
  EXPECT_NE(typed.err.find("note: --ray 0.5,0,1 is not a unit vector; the plug-in is given "
                           "0.4472135954999579, 0, 0.8944271909999159"),
            std::string::npos)
      << typed.err;
  EXPECT_NE(typed.err.find("note: --normal 0,0,2 is not a unit vector"), std::string::npos);
  const ProbeRun unit = probe("--format csv --ray 0.4472135954999579,0,0.8944271909999159");
  EXPECT_EQ(typed.out, unit.out);
  // No note for a unit vector; standard error only names the plug-in and its dataset.
  EXPECT_EQ(unit.err.find("note:"), std::string::npos) << unit.err;
  EXPECT_NE(unit.err.find(": dataset "), std::string::npos) << unit.err;

  const struct {
    const char *args, *warning;
  } cases[] = {
      {"--wavelength 550",
       "wavelength 550 um lies above the table (0.4 .. 0.7 um); the plug-in uses the 0.7 um "
       "samples (it looks like nanometres: 550 nm is 0.55 um)"},
      {"--wavelength 0.35", "wavelength 0.35 um lies below the table"},
      {"--incidence 89.5", "incidence angle 89.50000000000014 deg lies beyond the table's last row "
                           "(89 deg); the plug-in uses the 89 deg samples"},
      {"sweep --over wavelength --from 0.6 --to 0.8 --step 0.1",
       "1 of 3 points lie outside the table; the first: wavelength 0.8 um"},
  };
  for (const auto &c : cases) {
    const ProbeRun run = probe(c.args);
    EXPECT_EQ(run.status, 0) << c.args << run.err;
    EXPECT_NE(run.err.find(std::string("warning: ") + c.warning), std::string::npos)
        << c.args << ": " << run.err;
  }
}

// Batch passes extra columns through (in front) and reads quoted numbers; the hit columns may
// come in any order. The results are those of the plain file.
TEST_F(Cli, BatchPassesExtraColumnsThrough) {
  const ProbeRun plain = probe("batch", std::string(kBatchHeader) +
                                            "0.555,0.3,0.2,0.9,1,0,0,0,0,1\n"
                                            "0.62,0,0.6,0.8,1,0,0,0.6,0,0.8\n");
  ASSERT_EQ(plain.status, 0) << plain.err;
  const ProbeRun extra = probe(
      "batch",
      "id,normalZ,normalY,normalX,referenceZ,referenceY,referenceX,rayZ,rayY,rayX,wavelength\n"
      "A1,1,0,0,0,0,1,\"0.9\",0.2,0.3,\"0.555\"\n"
      "\"B,2\",0.8,0,0.6,0,0,1,0.8,0.6,0,0.62\n");
  ASSERT_EQ(extra.status, 0) << extra.err;
  const std::vector<std::string> plainLines = split(plain.out, '\n'),
                                 extraLines = split(extra.out, '\n');
  ASSERT_EQ(plainLines.size(), 4u);
  ASSERT_EQ(extraLines.size(), 4u);
  EXPECT_EQ(extraLines[0], "id," + plainLines[0]);
  EXPECT_EQ(extraLines[1], "A1," + plainLines[1]);
  EXPECT_EQ(extraLines[2], "\"B,2\"," + plainLines[2]);
}

}  // namespace
