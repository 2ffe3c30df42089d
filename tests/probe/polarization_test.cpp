// Stokes arithmetic, eigen-axis recovery, sweep ranges and the chart helpers, on states and
// matrices whose answers are known by hand.
#include "tools/probe/polarization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "mueller/mueller.h"
#include "tests/support/bits.h"
#include "tools/probe/errors.h"
#include "tools/probe/plot.h"
#include "tools/probe/sweep.h"

namespace {

using namespace probe;
using surf_test::bits;

constexpr double kTight = 1e-12;
const double kPi = std::acos(-1.0);

// The ideal linear polarizer with its transmission axis at `angle` degrees, written out from
// the textbook form (1/2)[[1, c, s, 0], [c, c^2, cs, 0], [s, cs, s^2, 0], [0, 0, 0, 0]].
std::array<double, 16> idealPolarizer(double angle) {
  const double c = std::cos(2 * angle * kPi / 180), s = std::sin(2 * angle * kPi / 180);
  return {0.5,     0.5 * c,     0.5 * s,     0, 0.5 * c, 0.5 * c * c, 0.5 * c * s, 0,
          0.5 * s, 0.5 * c * s, 0.5 * s * s, 0, 0,       0,           0,           0};
}

TEST(Stokes, UnpolarizedLightThroughAnIdealPolarizer) {
  for (double angle : {0.0, 30.0, 45.0, -60.0, 90.0}) {
    const std::array<double, 16> m = idealPolarizer(angle);
    const PolarizationState out = describeStokes(applyMueller(m.data(), Stokes{1, 0, 0, 0}));
    EXPECT_NEAR(out.intensity, 0.5, kTight) << angle;
    EXPECT_NEAR(out.degreeOfPolarization, 1.0, kTight) << angle;
    EXPECT_NEAR(out.orientation, angle == -60.0 ? -60.0 : angle, 1e-9) << angle;
    EXPECT_NEAR(out.ellipticity, 0.0, kTight) << angle;
  }
}

TEST(Stokes, MalusLawForLinearInput) {
  // Linear light at 0 degrees through the polarizer at angle a: intensity cos^2(a).
  for (double a : {0.0, 20.0, 45.0, 70.0, 90.0}) {
    const std::array<double, 16> m = idealPolarizer(a);
    const Stokes out = unscaled(applyMueller(m.data(), linearStokes(0.0)));
    const double c = std::cos(a * kPi / 180);
    EXPECT_NEAR(out[0], c * c, kTight) << a;
  }
}

TEST(Stokes, DescribesKnownStates) {
  struct Case {
    Stokes s;
    double dop, orientation, ellipticity;
  } cases[] = {
      {{1, 1, 0, 0}, 1, 0, 0},      {{1, 0, 1, 0}, 1, 45, 0},     {{1, -1, 0, 0}, 1, 90, 0},
      {{1, 0, -1, 0}, 1, -45, 0},   {{1, 0, 0, 1}, 1, 0, 45},     {{1, 0, 0, -1}, 1, 0, -45},
      {{2, 0.5, 0, 0}, 0.25, 0, 0}, {{1, -1, -0.0, 0}, 1, 90, 0},
      // Scaled before squaring: no finite state overflows or underflows on the way.
      {{1e-170, 1e-170, 0, 0}, 1, 0, 0}, {{1e200, 0, 0, 0}, 0, 0, 0},
      {{1.7e308, 0, 1.7e308, 0}, 1, 45, 0}, {{4e-320, 0, 0, -4e-320}, 1, 0, -45},
  };
  for (const Case &c : cases) {
    const PolarizationState d = describeStokes(c.s);
    EXPECT_NEAR(d.degreeOfPolarization, c.dop, kTight);
    EXPECT_NEAR(d.orientation, c.orientation, kTight) << c.s[1] << "," << c.s[2];
    EXPECT_NEAR(d.ellipticity, c.ellipticity, kTight);
  }
}

TEST(Stokes, RejectsUnphysicalStates) {
  EXPECT_TRUE(isPhysicalStokes({1, 0.6, 0.8, 0}));
  EXPECT_TRUE(isPhysicalStokes({0, 0, 0, 0}));
  EXPECT_TRUE(isPhysicalStokes({2e200, 1e200, 0, 0}));
  EXPECT_FALSE(isPhysicalStokes({1, 0.6, 0.8, 0.1}));
  EXPECT_FALSE(isPhysicalStokes({-1, 0, 0, 0}));
  EXPECT_FALSE(isPhysicalStokes({1e200, 2e200, 0, 0}));  // squares beyond the range of a double
}

TEST(Stokes, HugeStatesStayFiniteAndADarkBeamHasNoDegree) {
  const std::array<double, 16> m = idealPolarizer(0);
  const Stokes out = unscaled(applyMueller(m.data(), Stokes{1.7e308, 1.7e308, 0, 0}));
  EXPECT_EQ(out[0], 1.7e308);
  EXPECT_EQ(out[1], 1.7e308);
  const double dark = describeStokes(Stokes{0, 0, 0, 0}).degreeOfPolarization;
  EXPECT_TRUE(std::isnan(dark));
  EXPECT_FALSE(std::signbit(dark));  // printed "nan", not "-nan"
}

// A state far below or above the ordinary range is described as its twin of ordinary size is,
// to the bit, and its components are the twin's scaled once: the description works on the
// scaled product, not on its rounded components. The states are whole numbers, so each scaled
// state is exact.
TEST(Stokes, TinyAndHugeStatesAreDescribedAsTheirOrdinaryTwins) {
  const surf::Mat4 m =
      surf::rotatedDiattenuatorMueller(31.0, 0.9, 0.05, surf::kReflectionRetardance);
  for (const Stokes &twin : {Stokes{1, 0, 0, 1}, Stokes{1, 1, 0, 0}, Stokes{25, 15, 12, 16}}) {
    const PolarizationState expected = describeStokes(applyMueller(m.m, twin));
    const Stokes expectedComponents = unscaled(applyMueller(m.m, twin));
    for (int power : {-1074, -1066, 990}) {
      const Stokes state{std::ldexp(twin[0], power), std::ldexp(twin[1], power),
                         std::ldexp(twin[2], power), std::ldexp(twin[3], power)};
      const ScaledStokes out = applyMueller(m.m, state);
      const PolarizationState d = describeStokes(out);
      const std::string context = std::to_string(twin[0]) + " at 2^" + std::to_string(power);
      EXPECT_EQ(bits(d.degreeOfPolarization), bits(expected.degreeOfPolarization)) << context;
      EXPECT_EQ(bits(d.orientation), bits(expected.orientation)) << context;
      EXPECT_EQ(bits(d.ellipticity), bits(expected.ellipticity)) << context;
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bits(unscaled(out)[i]), bits(std::ldexp(expectedComponents[i], power)))
            << context << " S" << i;
    }
  }
}

TEST(EigenAxis, IdealPolarizerGivesItsAxisAndFullDiattenuation) {
  for (double angle : {0.0, 10.0, 45.0, 89.0, -30.0}) {
    const std::array<double, 16> m = idealPolarizer(angle);
    const EigenAxis e = recoverEigenAxis(m.data());
    EXPECT_NEAR(e.axis, angle, 1e-9);
    EXPECT_NEAR(e.diattenuation, 1.0, kTight);
  }
}

// Same convention as the plug-in's matrices: built with the library's own Mueller builder.
TEST(EigenAxis, RecoversTheRotationOfTheLibrarysDiattenuator) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> angle(-89.0, 89.0), eigen(0.05, 0.95);
  for (int i = 0; i < 200; ++i) {
    const double alpha = angle(random), e1 = eigen(random), e2 = eigen(random);
    for (double delta : {0.0, surf::kReflectionRetardance}) {
      const surf::Mat4 m = surf::rotatedDiattenuatorMueller(alpha, e1, e2, delta);
      const EigenAxis e = recoverEigenAxis(m.m);
      // The reported axis is the brighter one: alpha when e1 > e2, perpendicular otherwise.
      double expected = e1 > e2 ? alpha : alpha + 90.0;
      if (expected > 90.0) expected -= 180.0;
      EXPECT_NEAR(e.axis, expected, 1e-9) << alpha << " " << e1 << " " << e2;
      EXPECT_NEAR(e.diattenuation, std::fabs(e1 - e2) / (e1 + e2), 1e-12);

      // Light polarized along that axis comes out along it, fully polarized, with the larger
      // eigen-value as its intensity, whatever the retardance.
      const PolarizationState out = describeStokes(applyMueller(m.m, linearStokes(e.axis)));
      EXPECT_NEAR(out.intensity, std::max(e1, e2), 1e-12);
      EXPECT_NEAR(out.degreeOfPolarization, 1.0, 1e-9);
      EXPECT_NEAR(std::remainder(out.orientation - e.axis, 180.0), 0.0, 1e-7);
    }
  }
}

TEST(EigenAxis, NonPolarizingMatrixHasNoDiattenuation) {
  const surf::Mat4 m = surf::rotatedDiattenuatorMueller(30.0, 0.4, 0.4, 0.0);
  EXPECT_NEAR(recoverEigenAxis(m.m).diattenuation, 0.0, 1e-15);
}

// Each point is the number a user would write for it (0.42, not 0.42000000000000004), unless
// the step is finer than fifteen digits; a range wider than the largest double still counts.
TEST(SweepValues, CoverTheRangeEndsIncluded) {
  const double eps = std::numeric_limits<double>::epsilon();
  struct Case {
    SweepRange range;
    std::size_t count;
    double last;
    std::size_t index;  // and the value there
    double value;
  } cases[] = {
      {{0, 89, 1}, 90, 89, 7, 7},
      {{0.40, 0.70, 0.005}, 61, 0.70, 3, 0.415},
      {{0, 10, 3}, 4, 9, 2, 6},
      {{5, 5, 1}, 1, 5, 0, 5},
      {{-10, 10, 10}, 3, 10, 1, 0},
      {{0, 360, 5}, 73, 360, 72, 360},
      {{0.4, 0.5, 0.01}, 11, 0.5, 2, 0.42},
      {{0, 1, 0.1}, 11, 1, 3, 0.3},
      {{1, 1 + 8 * eps, 2 * eps}, 5, 1 + 8 * eps, 1, 1 + 2 * eps},
      {{-1e308, 1e308, 1e307}, 21, 1e308, 19, 9e307},
  };
  for (const Case &c : cases) {
    const std::vector<double> v = sweepValues(c.range);
    ASSERT_EQ(v.size(), c.count) << c.range.from << ".." << c.range.to;
    EXPECT_EQ(v.front(), c.range.from);
    EXPECT_EQ(v.back(), c.last);
    EXPECT_EQ(v[c.index], c.value) << c.range.from << ".." << c.range.to;
  }
}

TEST(SweepValues, RejectsEmptyEndlessAndInfiniteRanges) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const SweepRange &range : std::vector<SweepRange>{{0, 10, 0},
                                                         {0, 10, -1},
                                                         {10, 0, 1},
                                                         {0, 1e9, 1e-3},
                                                         {-1e308, 1e308, 1e-300},
                                                         {0, 10, inf},
                                                         {0, inf, 1},
                                                         {NAN, 10, 1}})
    EXPECT_THROW(sweepValues(range), InputError) << range.from << ".." << range.to;
}

class TempDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("surf-probe-test-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string file(const std::string &name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

using PlotHelpers = TempDirectory;

TEST_F(PlotHelpers, FindsExecutablesOnThePath) {
  const std::string tool = file("gnuplot");
  std::ofstream(tool) << "#!/bin/sh\n";
  EXPECT_EQ(findOnPath("gnuplot", dir_.string()), "");  // not executable yet
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  EXPECT_EQ(findOnPath("gnuplot", "/nonexistent::" + dir_.string()), tool);
  EXPECT_EQ(findOnPath("gnuplot", ""), "");
  std::filesystem::create_directories(dir_ / "sub" / "gnuplot");  // a directory is no program
  EXPECT_EQ(findOnPath("gnuplot", (dir_ / "sub").string()), "");
}

TEST_F(PlotHelpers, ReadsThePngHeader) {
  const unsigned char png[24] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0,    13,
                                 'I',  'H', 'D', 'R', 0,    0,    0x04, 0xB0, 0, 0, 0x03, 0x84};
  std::ofstream(file("a.png"), std::ios::binary).write(reinterpret_cast<const char *>(png), 24);
  const std::optional<PngSize> size = readPngSize(file("a.png"));
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 1200u);
  EXPECT_EQ(size->height, 900u);

  std::ofstream(file("b.png"), std::ios::binary) << "GIF89a not a png at all....";
  EXPECT_FALSE(readPngSize(file("b.png")));
  EXPECT_FALSE(readPngSize(file("missing.png")));
}

// User text reaches the script only inside single quotes, where gnuplot reads no escapes:
// quotes doubled, control characters (which would end the command) shown as escapes, and the
// output path absolute, as a name starting with '|' would start a shell command.
TEST(PlotScript, QuotesUserTextSoGnuplotCannotReadCommands) {
  EXPECT_EQ(gnuplotQuoted("it's"), "'it''s'");
  EXPECT_EQ(gnuplotQuoted("x\nsystem(\"touch PWNED\")\n"), "'x\\nsystem(\"touch PWNED\")\\n'");
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(gnuplotOutputPath("/charts/o'k.png", "-o"), "'/charts/o''k.png'");
  EXPECT_EQ(gnuplotOutputPath("|touch PWNED.png", "-o"), "'" + cwd + "/|touch PWNED.png'");
  for (const char *name : {"keep.txt\n.png", "a\rb.png", "tab\t.png"})
    EXPECT_THROW(gnuplotOutputPath(name, "-o"), InputError) << name;
}

TEST(PlotScript, HoldsEveryPoint) {
  PlotData data;
  data.outputPath = "/charts/o'k.png";
  data.title = "my_new^coat{x}.so";
  SweepPoint p{};
  p.value = 12.5;
  p.angles.incidence = 12.5;
  p.record.output[kOutReflectanceS] = 0.25;
  data.incidenceSweeps = {{0.5, {p, p}}, {0.6, {p}}};
  data.azimuthSweep = {p, p, p};
  const std::string script = buildGnuplotScript(data);
  EXPECT_NE(script.find("set output '/charts/o''k.png'"), std::string::npos);
  EXPECT_NE(script.find("'Rs 0.6 um'"), std::string::npos);
  // Titles are drawn as they stand, not as sub- and superscripts: the page's and the panels'.
  EXPECT_NE(script.find("title 'my_new^coat{x}.so' noenhanced\n"), std::string::npos);
  std::size_t panelTitles = 0;
  for (std::size_t at = 0; (at = script.find("set title '", at)) != std::string::npos; ++at) {
    ++panelTitles;
    EXPECT_EQ(script.substr(script.find('\n', at) - 11, 11), " noenhanced")
        << script.substr(at, 60);
  }
  EXPECT_EQ(panelTitles, 4u);
  EXPECT_NE(script.find("12.5,0.25,"), std::string::npos);
  // Two incidence blocks and the azimuth block, each closed.
  std::size_t blocks = 0;
  for (std::size_t at = 0; (at = script.find("\nEOD\n", at)) != std::string::npos; ++at) ++blocks;
  EXPECT_EQ(blocks, 3u);
}

}  // namespace
