// options.h - the surf-probe command line.
#ifndef SURF_PROBE_OPTIONS_H
#define SURF_PROBE_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "tools/probe/polarization.h"
#include "tools/probe/records.h"

namespace probe {

enum class Command { Hit, Batch, Sweep, Plot, Map, Compare };
enum class MapQuantity { Extinction, Pass, Block, Reflectance, Axis };
enum class SweepQuantity { Incidence, Azimuth, Wavelength };
enum class HitFormat { Table, Csv };
// The Stokes frames batch writes the Mueller matrices in: the plug-in's own, or each hit's s/p
// bases (tools/probe/frames.h).
enum class MatrixFrame { Plugin, Sp };

// The worked example a host developer checks first: 0.555 um, ray (0.3, 0.2, sqrt(0.87)),
// reference direction +x, surface normal +z.
constexpr double kDefaultWavelength = 0.555;
Vector3 defaultRay();
constexpr Vector3 kDefaultReference{1.0, 0.0, 0.0};
constexpr Vector3 kDefaultNormal{0.0, 0.0, 1.0};
// The incidence angle and azimuth of the default ray on the +z normal, used for whichever of
// --incidence and --azimuth is not given (so "--incidence 40" changes just the incidence).
double defaultIncidence();
double defaultAzimuth();

struct ProbeOptions {
  Command command = Command::Hit;
  bool help = false;
  std::string pluginPath;  // empty: the plug-in beside the executable

  // The hit (or the fixed part of a sweep).
  double wavelength = kDefaultWavelength;
  std::optional<Vector3> ray;       // as typed; resolvedRay() is what the plug-in gets
  std::optional<double> incidence;  // degrees; with azimuth, builds the ray on a +z normal
  std::optional<double> azimuth;    // degrees
  Vector3 reference = kDefaultReference;
  std::optional<Vector3> normal;
  std::optional<Stokes> stokes;
  HitFormat format = HitFormat::Table;

  // batch
  std::string input = "-";
  std::string output;  // empty: standard output
  bool force = false;
  bool timing = false;
  MatrixFrame frame = MatrixFrame::Plugin;

  // sweep
  std::optional<SweepQuantity> over;
  std::optional<double> from, to, step;

  // plot
  std::vector<double> plotWavelengths{0.45, 0.55, 0.65};
  int plotWidth = 1200;
  int plotHeight = 900;
  std::string gnuplot;  // empty: look for gnuplot on PATH

  // map
  MapQuantity quantity = MapQuantity::Extinction;

  // compare: the two plug-ins
  std::vector<std::string> comparedPlugins;
};

// Parses the arguments after the program name. Throws InputError naming the option and what
// is wrong with it.
ProbeOptions parseCommandLine(const std::vector<std::string> &args);

// The incidence angles --incidence and sweeps accept, in degrees.
constexpr double kMinIncidence = 0.0;
constexpr double kMaxIncidence = 90.0;

// `v` scaled to unit length, as a host hands the plug-in its directions; `v` itself when its
// length is already one to within kUnitLengthTolerance (so typed unit vectors reach the
// plug-in bit for bit), or when it is zero or not finite.
constexpr double kUnitLengthTolerance = 1e-12;
Vector3 unitDirection(const Vector3 &v);

// The directions of the hit as the plug-in is given them: --ray (made a unit vector), or the
// one --incidence/--azimuth build on the +z normal, or the worked example's; --reference and
// --normal made unit vectors.
Vector3 resolvedRay(const ProbeOptions &options);
Vector3 resolvedReference(const ProbeOptions &options);
Vector3 resolvedNormal(const ProbeOptions &options);

// One line for each direction of the command line that was scaled to unit length, saying what
// was typed and what the plug-in is given.
std::vector<std::string> directionNotes(const ProbeOptions &options);

// The ray at incidence angle `incidence` and azimuth `azimuth` (degrees) on a +z normal:
// (sin t cos a, sin t sin a, cos t).
Vector3 rayFromAngles(double incidence, double azimuth);

// Parses "x,y,z"-style text with exactly `count` numbers for `option`; throws InputError.
std::vector<double> parseNumberList(const std::string &option, const std::string &text,
                                    std::size_t count);

const char *usageText();

}  // namespace probe

#endif
