#include "tools/probe/report.h"

#include <cmath>
#include <cstdio>

#include "tools/probe/numbers.h"
#include "tools/probe/sweep.h"

namespace probe {

namespace {

constexpr int kLabelWidth = 33;
// Enough digits to tell apart values that differ in the tenth significant digit, few enough
// that a 4x4 grid fits a terminal. The scalar outputs are shown in full.
constexpr int kGridDigits = 12;

std::string label(const std::string &name) {
  std::string text = "  " + name + " ";
  if (text.size() < kLabelWidth) text.resize(kLabelWidth, ' ');
  return text;
}

std::string vectorText(const Vector3 &v) {
  return formatShortest(v.x) + ", " + formatShortest(v.y) + ", " + formatShortest(v.z);
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

void appendGrid(std::string &out, const char *name, const double *m) {
  out += std::string("  ") + name + "\n";
  for (int row = 0; row < 4; ++row) {
    out += "    ";
    for (int column = 0; column < 4; ++column) {
      char cell[48];
      std::snprintf(cell, sizeof cell, " %20.*g", kGridDigits, m[4 * row + column]);
      out += cell;
    }
    out += "\n";
  }
}

// The state as `s` shows it, described from `scaled` (the same state, scaled).
void appendStokesLines(std::string &out, const char *beam, const Stokes &s,
                       const ScaledStokes &scaled) {
  const PolarizationState state = describeStokes(scaled);
  out += label(std::string(beam) + " Stokes") + formatShortest(s[0]) + ", " + formatShortest(s[1]) +
         ", " + formatShortest(s[2]) + ", " + formatShortest(s[3]) + "\n";
  out += label("  intensity") + formatShortest(state.intensity) + "\n";
  out += label("  polarization degree") +
         (std::isnan(state.degreeOfPolarization) ? std::string("undefined (no light)")
                                                 : fixed(state.degreeOfPolarization, 10)) +
         "\n";
  out += label("  orientation") + fixed(state.orientation, 10) + " deg\n";
  out += label("  ellipticity") + fixed(state.ellipticity, 10) + " deg\n";
}

void appendStokesColumns(std::string &out, const char *beam) {
  static const char *const kSuffixes[] = {
      "S0", "S1", "S2", "S3", "DegreeOfPolarization", "Orientation", "Ellipticity"};
  for (const char *suffix : kSuffixes) out += std::string(",") + beam + suffix;
}

void appendStokesValues(std::string &out, const ScaledStokes &scaled) {
  const PolarizationState state = describeStokes(scaled);
  for (double v : unscaled(scaled)) {
    out += ',';
    appendShortest(out, v);
  }
  for (double v : {state.degreeOfPolarization, state.orientation, state.ellipticity}) {
    out += ',';
    appendShortest(out, v);
  }
}

}  // namespace

std::string formatHitTable(const HitRecord &record, const HitAngles &angles,
                           const std::optional<Stokes> &stokes) {
  std::string out = "ray hit (vectors as the plug-in left them in the input record)\n";
  out += label("wavelength") + formatShortest(record.input[kInWavelength]) + " um\n";
  out += label("ray direction") + vectorText(recordVector(record.input, kInRayDirectionX)) + "\n";
  out += label("reference direction") +
         vectorText(recordVector(record.input, kInReferenceDirectionX)) + "\n";
  out += label("surface normal") + vectorText(recordVector(record.input, kInSurfaceNormalX)) + "\n";
  out += label("incidence angle") + fixed(angles.incidence, 10) + " deg\n";
  out += label("folded azimuth") + fixed(angles.azimuth, 10) + " deg\n";

  out += "outputs\n";
  for (int i = 0; i < kOutReflectionMueller; ++i)
    out += label(outputFieldName(i)) + formatShortest(record.output[i]) + "\n";
  appendGrid(out, "reflectionMueller", reflectionMueller(record));
  appendGrid(out, "transmissionMueller", transmissionMueller(record));

  out += "figures of merit (from the matrices)\n";
  const FiguresOfMerit merit = figuresOfMerit(reflectionMueller(record), transmissionMueller(record));
  for (const auto &[name, value] : meritColumns(merit))
    out += label(name) + formatShortest(value) + "\n";
  const SpAxes axes = spEigenAxes(record);
  const bool basis = hasSpBasis(recordVector(record.input, kInRayDirectionX),
                                recordVector(record.input, kInSurfaceNormalX));
  out += basis ? "eigen-axes in the s/p basis (degrees from s towards p)\n"
               : "eigen-axes (the ray is along the normal: no plane of incidence, no s/p basis; "
                 "degrees in the plug-in's frames turned back by the reference azimuth)\n";
  out += label("reflection, stronger") + fixed(axes.reflection.axis, 10) + " deg\n";
  out += label("transmission, pass") + fixed(axes.transmission.axis, 10) + " deg\n";

  if (stokes) {
    const StokesResult result = applyBoth(record, *stokes);
    out += basis ? "polarization (input and transmitted in the incident frame, the s/p basis turned by " +
                       fixed(frameTurn(record), 10) +
                       " deg from s towards p; reflected in the reflected frame)\n"
                 : std::string("polarization (input and transmitted in the plug-in's incident "
                               "frame, reflected in its reflected frame; with no plane of "
                               "incidence no direction in space fixes them)\n");
    appendStokesLines(out, "input", *stokes, scaledStokes(*stokes));
    appendStokesLines(out, "reflected", unscaled(result.reflected), result.reflected);
    appendStokesLines(out, "transmitted", unscaled(result.transmitted), result.transmitted);
  }
  return out;
}

void appendStokesCsvHeader(std::string &out) {
  appendStokesColumns(out, "reflected");
  appendStokesColumns(out, "transmitted");
}

void appendStokesCsvRow(std::string &out, const StokesResult &result) {
  appendStokesValues(out, result.reflected);
  appendStokesValues(out, result.transmitted);
}

std::string formatHitCsv(const HitRecord &record, const HitAngles &angles,
                         const std::optional<Stokes> &stokes) {
  std::string header, row;
  appendHitCsvHeader(header);
  appendHitCsvRow(row, record.input, record.output);
  // appendHit* end the line; the extra columns go before the newline.
  header.pop_back();
  row.pop_back();
  header += ",incidenceAngle,azimuthAngle";
  row += ',' + formatShortest(angles.incidence) + ',' + formatShortest(angles.azimuth);
  const FiguresOfMerit merit = figuresOfMerit(reflectionMueller(record), transmissionMueller(record));
  for (const auto &[name, value] : meritColumns(merit)) {
    header += std::string(",") + name;
    row += ',' + formatShortest(value);
  }
  if (stokes) {
    appendStokesCsvHeader(header);
    appendStokesCsvRow(row, applyBoth(record, *stokes));
  }
  return header + "\n" + row + "\n";
}

void printDirectionNotes(const ProbeOptions &options) {
  for (const std::string &note : directionNotes(options))
    std::fprintf(stderr, "surf-probe: note: %s\n", note.c_str());
}

}  // namespace probe
