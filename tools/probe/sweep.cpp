// The sweep command.
#include "tools/probe/sweep.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/probe/commands.h"
#include "tools/probe/errors.h"
#include "tools/probe/frames.h"
#include "tools/probe/numbers.h"
#include "tools/probe/output_file.h"
#include "tools/probe/report.h"

namespace probe {

namespace {

// The table's incidence grid ends at 89 degrees and its wavelengths span 0.40 to 0.70 um.
constexpr SweepRange kIncidenceRange{0.0, 89.0, 1.0};
constexpr SweepRange kAzimuthRange{0.0, 360.0, 5.0};
constexpr SweepRange kWavelengthRange{0.40, 0.70, 0.005};

// (to - from) / step lands a hair below a whole number for ranges such as 0.40..0.70 by
// 0.005; this much slack, relative to one step, still counts it as reaching `to`.
constexpr double kStepSlack = 1e-9;

double fixedIncidence(const ProbeOptions &o) { return o.incidence.value_or(defaultIncidence()); }
double fixedAzimuth(const ProbeOptions &o) { return o.azimuth.value_or(defaultAzimuth()); }

}  // namespace

const char *quantityName(SweepQuantity quantity) {
  switch (quantity) {
    case SweepQuantity::Incidence: return "incidence";
    case SweepQuantity::Azimuth: return "azimuth";
    case SweepQuantity::Wavelength: return "wavelength";
  }
  return "";
}

SweepRange defaultRange(SweepQuantity quantity) {
  switch (quantity) {
    case SweepQuantity::Incidence: return kIncidenceRange;
    case SweepQuantity::Azimuth: return kAzimuthRange;
    case SweepQuantity::Wavelength: return kWavelengthRange;
  }
  return kIncidenceRange;
}

SweepRange resolvedRange(const ProbeOptions &options) {
  const SweepQuantity quantity = options.over.value_or(SweepQuantity::Incidence);
  const SweepRange defaults = defaultRange(quantity);
  const SweepRange range{options.from.value_or(defaults.from), options.to.value_or(defaults.to),
                         options.step.value_or(defaults.step)};
  // A ray built at more than 90 degrees of incidence comes from behind the surface: its
  // incidence angle would fold back below 90 and the sweep's axis would lie.
  if (quantity == SweepQuantity::Incidence &&
      !(range.from >= kMinIncidence && range.to <= kMaxIncidence))
    throw InputError("--from/--to: an incidence sweep runs within 0 .. 90 degrees, got " +
                     formatShortest(range.from) + " .. " + formatShortest(range.to));
  return range;
}

namespace {

// The value from + i * step. Where that overflows (a range wider than the largest double) it
// is formed from halves, which gives the same value wherever the plain form is finite.
double stepValue(const SweepRange &range, std::size_t i) {
  const double value = range.from + static_cast<double>(i) * range.step;
  if (std::isfinite(value)) return value;
  return 2.0 * (range.from / 2.0 + static_cast<double>(i) * (range.step / 2.0));
}

// The double nearest the decimal of kSweepDigits significant digits nearest `value`, when that
// lies within a hair of a step of it: the number a user would write for a sweep point (0.42
// for 0.42000000000000004), so grid points are hit exactly. Steps too fine for that many
// digits keep the value as it is.
constexpr int kSweepDigits = 15;
double asWritten(double value, double step) {
  char text[kMaxNumberChars];
  const char *end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, kSweepDigits).ptr;
  double written = value;
  std::from_chars(text, end, written);
  return std::fabs(written - value) <= step * kStepSlack ? written : value;
}

}  // namespace

std::vector<double> sweepValues(const SweepRange &range) {
  if (!(range.step > 0.0) || !std::isfinite(range.step))
    throw InputError("--step: must be positive and finite, got " + formatShortest(range.step));
  if (!std::isfinite(range.from) || !std::isfinite(range.to))
    throw InputError("--from/--to: a sweep runs between finite numbers, got " +
                     formatShortest(range.from) + " .. " + formatShortest(range.to));
  if (range.to < range.from)
    throw InputError("--to: " + formatShortest(range.to) + " is below --from " +
                     formatShortest(range.from));
  // The span of two finite doubles can exceed the largest double; halved it cannot.
  const double span = range.to - range.from;
  const double intervals =
      std::isfinite(span) ? std::floor(span / range.step + kStepSlack)
                          : std::floor((range.to / 2.0 - range.from / 2.0) / range.step * 2.0 +
                                       kStepSlack);
  if (!(intervals < static_cast<double>(kMaxSweepPoints)))
    throw InputError("--step: " + formatShortest(range.step) + " gives more than " +
                     std::to_string(kMaxSweepPoints) + " points");
  const std::size_t count = static_cast<std::size_t>(intervals) + 1;
  std::vector<double> values(count);
  // Each value from its index, so rounding does not pile up along the sweep.
  for (std::size_t i = 0; i < count; ++i) values[i] = asWritten(stepValue(range, i), range.step);
  if (std::fabs(values.back() - range.to) < range.step * kStepSlack) values.back() = range.to;
  return values;
}

SweepPoint evaluateSweepPoint(const PluginLibrary &plugin, const ProbeOptions &options,
                              SweepQuantity quantity, double value) {
  double wavelength = options.wavelength;
  Vector3 ray = resolvedRay(options);
  Vector3 normal = resolvedNormal(options);
  switch (quantity) {
    case SweepQuantity::Incidence:
      ray = rayFromAngles(value, fixedAzimuth(options));
      normal = kDefaultNormal;
      break;
    case SweepQuantity::Azimuth:
      ray = rayFromAngles(fixedIncidence(options), value);
      normal = kDefaultNormal;
      break;
    case SweepQuantity::Wavelength: wavelength = value; break;
  }
  SweepPoint point;
  point.value = value;
  point.record = makeHitRecord(wavelength, ray, resolvedReference(options), normal);
  requireContract(point.record, evaluateRecord(plugin, point.record),
                  std::string("at ") + quantityName(quantity) + " " + formatShortest(value));
  point.angles = snappedAngles(point.record);
  const SpAxes axes = spEigenAxes(point.record);
  point.reflection = axes.reflection;
  point.transmission = axes.transmission;
  point.merit = figuresOfMerit(reflectionMueller(point.record), transmissionMueller(point.record));
  return point;
}

SpAxes spEigenAxes(const HitRecord &record) {
  const double turn = frameTurn(record);
  return SpAxes{recoverEigenAxis(reflectionInSpBasis(reflectionMueller(record), turn).m),
                recoverEigenAxis(transmissionInSpBasis(transmissionMueller(record), turn).m)};
}

std::string sweepCsvHeader(SweepQuantity quantity, bool stokes) {
  std::string header = quantityName(quantity);
  header +=
      ",incidenceAngle,azimuthAngle,reflectanceS,reflectanceP,transmittanceS,transmittanceP,"
      "absorptanceS,absorptanceP,reflectionAxis,reflectionDiattenuation,transmissionAxis,"
      "transmissionDiattenuation";
  for (const auto &column : meritColumns(FiguresOfMerit{})) header += std::string(",") + column.first;
  if (stokes) appendStokesCsvHeader(header);
  return header + "\n";
}

void appendSweepCsvRow(std::string &out, const SweepPoint &point,
                       const std::optional<Stokes> &stokes) {
  const double *o = point.record.output;
  const double columns[] = {point.value,
                            point.angles.incidence,
                            point.angles.azimuth,
                            o[kOutReflectanceS],
                            o[kOutReflectanceP],
                            o[kOutTransmittanceS],
                            o[kOutTransmittanceP],
                            o[kOutAbsorptanceS],
                            o[kOutAbsorptanceP],
                            point.reflection.axis,
                            point.reflection.diattenuation,
                            point.transmission.axis,
                            point.transmission.diattenuation};
  bool first = true;
  for (double v : columns) {
    if (!first) out += ',';
    first = false;
    appendShortest(out, v);
  }
  for (const auto &column : meritColumns(point.merit)) {
    out += ',';
    appendShortest(out, column.second);
  }
  if (stokes) appendStokesCsvRow(out, applyBoth(point.record, *stokes));
  out += '\n';
}

void SweepEdgeWarnings::note(const SweepPoint &point) {
  ++points_;
  const std::string wavelength = wavelengthWarning(point.record.input[kInWavelength]);
  const std::string incidence = incidenceWarning(point.angles.incidence);
  if (!wavelength.empty() && wavelengthCount_++ == 0) firstWavelength_ = wavelength;
  if (!incidence.empty() && incidenceCount_++ == 0) firstIncidence_ = incidence;
}

std::vector<std::string> SweepEdgeWarnings::warnings() const {
  std::vector<std::string> lines;
  const auto add = [&](std::size_t count, const std::string &first) {
    if (count == 0) return;
    lines.push_back(std::to_string(count) + " of " + std::to_string(points_) +
                    " points lie outside the table; the first: " + first);
  };
  add(wavelengthCount_, firstWavelength_);
  add(incidenceCount_, firstIncidence_);
  return lines;
}

int runSweep(const ProbeOptions &options) {
  const SweepQuantity quantity = *options.over;
  const std::vector<double> values = sweepValues(resolvedRange(options));
  OutputTarget output(options.output, options.force);
  PluginLibrary plugin;
  requireInitResult(openPlugin(plugin, options.pluginPath));
  printDirectionNotes(options);
  noteLoadedPlugin(plugin);

  output.write(sweepCsvHeader(quantity, options.stokes.has_value()));
  std::string text;
  SweepEdgeWarnings edges;
  for (double value : values) {
    const SweepPoint point = evaluateSweepPoint(plugin, options, quantity, value);
    edges.note(point);
    appendSweepCsvRow(text, point, options.stokes);
    if (text.size() > (1u << 16)) {
      output.write(text);
      text.clear();
    }
  }
  output.write(text);
  output.commit();
  for (const std::string &warning : edges.warnings())
    std::fprintf(stderr, "surf-probe: warning: %s\n", warning.c_str());
  return 0;
}

}  // namespace probe
