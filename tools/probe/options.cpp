#include "tools/probe/options.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "geometry/units.h"
#include "tools/probe/errors.h"
#include "tools/probe/input_text.h"
#include "tools/probe/numbers.h"

namespace probe {

Vector3 defaultRay() { return Vector3{0.3, 0.2, std::sqrt(0.87)}; }

Vector3 rayFromAngles(double incidence, double azimuth) {
  const double t = incidence * surf::kDegToRad;
  const double a = azimuth * surf::kDegToRad;
  return Vector3{std::sin(t) * std::cos(a), std::sin(t) * std::sin(a), std::cos(t)};
}

double defaultIncidence() { return std::asin(std::sqrt(0.13)) * surf::kRadToDeg; }
double defaultAzimuth() { return std::atan2(0.2, 0.3) * surf::kRadToDeg; }

namespace {

// Which commands accept an option.
enum CommandBit : unsigned {
  kHit = 1,
  kBatch = 2,
  kSweep = 4,
  kPlot = 8,
  kMap = 16,
  kCompare = 32,
  kAll = 63
};

unsigned commandBit(Command command) {
  switch (command) {
    case Command::Hit: return kHit;
    case Command::Batch: return kBatch;
    case Command::Sweep: return kSweep;
    case Command::Plot: return kPlot;
    case Command::Map: return kMap;
    case Command::Compare: return kCompare;
  }
  return kHit;
}

const char *commandName(Command command) {
  switch (command) {
    case Command::Hit: return "the single-hit command";
    case Command::Batch: return "batch";
    case Command::Sweep: return "sweep";
    case Command::Plot: return "plot";
    case Command::Map: return "map";
    case Command::Compare: return "compare";
  }
  return "";
}

[[noreturn]] void fail(const std::string &option, const std::string &what) {
  throw InputError(option + ": " + what);
}

// For messages that read on from the option's name: "--timing is not an option of sweep".
[[noreturn]] void failSentence(const std::string &option, const std::string &rest) {
  throw InputError(option + " " + rest);
}

double numberValue(const std::string &option, const std::string &text) {
  double value;
  const NumberRead read = readNumber(text, value);
  if (read != NumberRead::Number) fail(option, numberFault(text, read));
  return value;
}

double finiteValue(const std::string &option, const std::string &text) {
  const double value = numberValue(option, text);
  if (!std::isfinite(value)) fail(option, inQuotes(text) + " is not a finite number");
  return value;
}

// An incidence angle a ray on the +z normal can have: beyond 90 degrees it would come from
// behind the surface, and its angle would fold back below 90.
double incidenceValue(const std::string &option, const std::string &text) {
  const double value = finiteValue(option, text);
  if (!(value >= kMinIncidence && value <= kMaxIncidence))
    fail(option, formatShortest(value) + " is outside " + formatShortest(kMinIncidence) + " .. " +
                     formatShortest(kMaxIncidence) + " degrees");
  return value;
}

// A direction: three finite numbers, not all zero. Its length is left as typed here;
// unitDirection() makes it a unit vector before the call.
Vector3 vectorValue(const std::string &option, const std::string &text) {
  const std::vector<double> v = parseNumberList(option, text, 3);
  const Vector3 direction{v[0], v[1], v[2]};
  if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]))
    fail(option, inQuotes(text) + " is not a direction: every component must be finite");
  if (v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0)
    fail(option, inQuotes(text) + " is not a direction: it has zero length");
  return direction;
}

Stokes stokesValue(const std::string &option, const std::string &text) {
  const std::vector<double> v = parseNumberList(option, text, 4);
  const Stokes s{v[0], v[1], v[2], v[3]};
  if (!isPhysicalStokes(s))
    fail(option, "'" + text +
                     "' is not a Stokes vector of a real beam (need S0 >= 0 and "
                     "S1^2 + S2^2 + S3^2 <= S0^2)");
  return s;
}

MapQuantity mapQuantityValue(const std::string &option, const std::string &text) {
  if (text == "extinction") return MapQuantity::Extinction;
  if (text == "pass") return MapQuantity::Pass;
  if (text == "block") return MapQuantity::Block;
  if (text == "reflectance") return MapQuantity::Reflectance;
  if (text == "axis") return MapQuantity::Axis;
  fail(option, "'" + text + "' is not one of extinction, pass, block, reflectance, axis");
}

SweepQuantity quantityValue(const std::string &option, const std::string &text) {
  if (text == "incidence") return SweepQuantity::Incidence;
  if (text == "azimuth") return SweepQuantity::Azimuth;
  if (text == "wavelength") return SweepQuantity::Wavelength;
  fail(option, "'" + text + "' is not one of incidence, azimuth, wavelength");
}

// Plot sizes in pixels: big enough for two readable panels, small enough to render quickly.
constexpr int kMinPlotPixels = 200;
constexpr int kMaxPlotPixels = 10000;

int pixelsValue(const std::string &option, std::string_view text, const std::string &whole) {
  double value;
  if (!parseNumber(text, value) || value != std::floor(value) || value < kMinPlotPixels ||
      value > kMaxPlotPixels)
    fail(option, "'" + whole + "' is not WIDTHxHEIGHT with whole numbers of pixels from " +
                     std::to_string(kMinPlotPixels) + " to " + std::to_string(kMaxPlotPixels));
  return static_cast<int>(value);
}

void sizeValue(const std::string &option, const std::string &text, int &width, int &height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) fail(option, "'" + text + "' is not WIDTHxHEIGHT, e.g. 1200x900");
  width = pixelsValue(option, std::string_view(text).substr(0, x), text);
  height = pixelsValue(option, std::string_view(text).substr(x + 1), text);
}

struct OptionSpec {
  const char *name;
  const char *alias;  // a short form, or null
  bool takesValue;
  unsigned commands;
  void (*apply)(ProbeOptions &, const std::string &option, const std::string &value);
};

const OptionSpec kOptions[] = {
    {"--help", "-h", false, kAll,
     [](ProbeOptions &o, const std::string &, const std::string &) { o.help = true; }},
    {"--plugin", nullptr, true, kAll,
     [](ProbeOptions &o, const std::string &, const std::string &v) { o.pluginPath = v; }},
    {"--wavelength", nullptr, true, kHit | kSweep | kPlot | kMap,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.wavelength = numberValue(n, v);
     }},
    {"--ray", nullptr, true, kHit | kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.ray = vectorValue(n, v);
     }},
    {"--incidence", nullptr, true, kHit | kSweep | kPlot,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.incidence = incidenceValue(n, v);
     }},
    {"--azimuth", nullptr, true, kHit | kSweep | kPlot,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.azimuth = finiteValue(n, v);
     }},
    {"--reference", nullptr, true, kHit | kSweep | kPlot | kMap,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.reference = vectorValue(n, v);
     }},
    {"--normal", nullptr, true, kHit | kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.normal = vectorValue(n, v);
     }},
    {"--stokes", nullptr, true, kHit | kBatch | kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.stokes = stokesValue(n, v);
     }},
    {"--format", nullptr, true, kHit,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       if (v == "table")
         o.format = HitFormat::Table;
       else if (v == "csv")
         o.format = HitFormat::Csv;
       else
         fail(n, "'" + v + "' is not one of table, csv");
     }},
    {"--output", "-o", true, kBatch | kSweep | kPlot | kMap | kCompare,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       if (v.empty()) fail(n, "the file name is empty");
       o.output = v;
     }},
    {"--force", nullptr, false, kBatch | kSweep | kPlot | kMap | kCompare,
     [](ProbeOptions &o, const std::string &, const std::string &) { o.force = true; }},
    {"--timing", nullptr, false, kBatch,
     [](ProbeOptions &o, const std::string &, const std::string &) { o.timing = true; }},
    {"--frame", nullptr, true, kBatch,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       if (v == "plugin")
         o.frame = MatrixFrame::Plugin;
       else if (v == "sp")
         o.frame = MatrixFrame::Sp;
       else
         fail(n, "'" + v + "' is not one of plugin, sp");
     }},
    {"--over", nullptr, true, kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.over = quantityValue(n, v);
     }},
    {"--from", nullptr, true, kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.from = finiteValue(n, v);
     }},
    {"--to", nullptr, true, kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) { o.to = finiteValue(n, v); }},
    {"--step", nullptr, true, kSweep,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.step = finiteValue(n, v);
     }},
    {"--quantity", nullptr, true, kMap,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.quantity = mapQuantityValue(n, v);
     }},
    {"--wavelengths", nullptr, true, kPlot,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       o.plotWavelengths = parseNumberList(n, v, 0);
     }},
    {"--size", nullptr, true, kPlot | kMap,
     [](ProbeOptions &o, const std::string &n, const std::string &v) {
       sizeValue(n, v, o.plotWidth, o.plotHeight);
     }},
    {"--gnuplot", nullptr, true, kPlot | kMap,
     [](ProbeOptions &o, const std::string &, const std::string &v) { o.gnuplot = v; }},
};

const OptionSpec *findOption(const std::string &name) {
  for (const OptionSpec &known : kOptions)
    if (name == known.name || (known.alias && name == known.alias)) return &known;
  return nullptr;
}

bool isOptionLike(const std::string &arg) { return arg.size() > 1 && arg[0] == '-'; }

// Combinations that no single option can judge by itself.
void checkCombinations(const ProbeOptions &o, const std::vector<std::string> &given) {
  const auto was = [&given](const char *name) {
    for (const std::string &g : given)
      if (g == name) return true;
    return false;
  };
  const bool angles = was("--incidence") || was("--azimuth");
  if (was("--ray") && angles) fail("--ray", "give either --ray or --incidence/--azimuth, not both");
  if (was("--normal") && angles)
    fail("--normal", "--incidence/--azimuth build the ray on the +z normal; leave out --normal");
  if (was("--force") && o.output.empty()) failSentence("--force", "only makes sense with -o FILE");
  if (o.command == Command::Compare) {
    // --plugin names plug-in A, as it names the plug-in of every other command.
    std::size_t count = o.comparedPlugins.size() + (was("--plugin") ? 1 : 0);
    if (count != 2)
      throw InputError("compare needs two plug-ins: surf-probe compare PLUGIN_A PLUGIN_B");
  }
  if (o.command != Command::Sweep) return;

  if (!o.over) fail("--over", "sweep needs --over incidence|azimuth|wavelength");
  switch (*o.over) {
    case SweepQuantity::Incidence:
    case SweepQuantity::Azimuth: {
      const char *swept = *o.over == SweepQuantity::Incidence ? "--incidence" : "--azimuth";
      if (was(swept))
        failSentence(swept, "is what the sweep varies; set its range with --from/--to/--step");
      if (was("--ray")) fail("--ray", "an angle sweep builds the ray from --incidence/--azimuth");
      if (was("--normal")) fail("--normal", "an angle sweep works on the +z normal");
      break;
    }
    case SweepQuantity::Wavelength:
      if (was("--wavelength"))
        failSentence("--wavelength",
                     "is what the sweep varies; set its range with --from/--to/--step");
      break;
  }
}

}  // namespace

std::vector<double> parseNumberList(const std::string &option, const std::string &text,
                                    std::size_t count) {
  const std::vector<std::string_view> fields = splitFields(text);
  if (count != 0 && fields.size() != count)
    fail(option, "expected " + std::to_string(count) + " comma-separated numbers, got " +
                     std::to_string(fields.size()) + " in '" + text + "'");
  std::vector<double> values;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    double value;
    const NumberRead read = readNumber(fields[i], value);
    if (read != NumberRead::Number)
      fail(option, "component " + std::to_string(i + 1) + " " + inQuotes(fields[i]) + " of " +
                       inQuotes(text) +
                       (read == NumberRead::OutOfRange ? " is out of range for a double"
                                                       : " is not a number"));
    values.push_back(value);
  }
  return values;
}

Vector3 unitDirection(const Vector3 &v) {
  // Scaled by the largest component first, so no finite vector overflows or underflows.
  const double scale = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
  if (!(scale > 0.0) || !std::isfinite(scale)) return v;
  const Vector3 s{v.x / scale, v.y / scale, v.z / scale};
  const double norm = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  if (std::fabs(norm * scale - 1.0) <= kUnitLengthTolerance) return v;
  return Vector3{s.x / norm, s.y / norm, s.z / norm};
}

Vector3 resolvedRay(const ProbeOptions &options) {
  if (options.ray) return unitDirection(*options.ray);
  if (options.incidence || options.azimuth)
    return rayFromAngles(options.incidence.value_or(defaultIncidence()),
                         options.azimuth.value_or(defaultAzimuth()));
  return defaultRay();
}

Vector3 resolvedReference(const ProbeOptions &options) {
  return unitDirection(options.reference);
}

Vector3 resolvedNormal(const ProbeOptions &options) {
  return unitDirection(options.normal.value_or(kDefaultNormal));
}

std::vector<std::string> directionNotes(const ProbeOptions &options) {
  std::vector<std::string> notes;
  const auto note = [&notes](const char *option, const Vector3 &typed, const Vector3 &used) {
    if (typed.x == used.x && typed.y == used.y && typed.z == used.z) return;
    notes.push_back(std::string(option) + " " + formatShortest(typed.x) + "," +
                    formatShortest(typed.y) + "," + formatShortest(typed.z) +
                    " is not a unit vector; the plug-in is given " + formatShortest(used.x) +
                    ", " + formatShortest(used.y) + ", " + formatShortest(used.z));
  };
  if (options.ray) note("--ray", *options.ray, resolvedRay(options));
  note("--reference", options.reference, resolvedReference(options));
  if (options.normal) note("--normal", *options.normal, resolvedNormal(options));
  return notes;
}

namespace {

// The command word is the first argument that is neither an option nor an option's value, so
// "surf-probe --plugin x.so batch in.csv" works as well as "surf-probe batch --plugin x.so".
// Returns its index, or args.size() when there is none (the single-hit command).
std::size_t findCommandWord(const std::vector<std::string> &args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (!isOptionLike(arg)) return i;
    const OptionSpec *known = findOption(arg.substr(0, arg.find('=')));
    if (known && known->takesValue && arg.find('=') == std::string::npos) ++i;
  }
  return args.size();
}

Command commandNamed(const std::string &word) {
  if (word == "hit") return Command::Hit;
  if (word == "batch") return Command::Batch;
  if (word == "sweep") return Command::Sweep;
  if (word == "plot") return Command::Plot;
  if (word == "map") return Command::Map;
  if (word == "compare") return Command::Compare;
  throw InputError("unknown command '" + word +
                   "' (commands: hit, batch, sweep, plot, map, compare)");
}

}  // namespace

ProbeOptions parseCommandLine(const std::vector<std::string> &args) {
  ProbeOptions options;
  const std::size_t commandIndex = findCommandWord(args);
  if (commandIndex < args.size()) options.command = commandNamed(args[commandIndex]);

  std::vector<std::string> given;
  bool inputGiven = false;
  for (std::size_t next = 0; next < args.size(); ++next) {
    if (next == commandIndex) continue;
    const std::string &arg = args[next];
    // A lone "-" is the batch input "standard input", not an option.
    if (!isOptionLike(arg) && options.command == Command::Compare) {
      if (options.comparedPlugins.size() == 2)
        throw InputError("unexpected argument '" + arg + "': compare takes two plug-ins");
      options.comparedPlugins.push_back(arg);
      continue;
    }
    if (!isOptionLike(arg)) {
      if (options.command != Command::Batch || inputGiven)
        throw InputError("unexpected argument '" + arg + "'");
      options.input = arg;
      inputGiven = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionSpec *known = findOption(name);
    if (known == nullptr) throw InputError("unknown option '" + name + "'");
    if (!(known->commands & commandBit(options.command)))
      failSentence(known->name, std::string("is not an option of ") + commandName(options.command));
    std::string value;
    if (equals != std::string::npos) {
      if (!known->takesValue) failSentence(known->name, "takes no value");
      value = arg.substr(equals + 1);
    } else if (known->takesValue) {
      // The value is the next argument even if it starts with '-', so "--from -10" works.
      if (next + 1 >= args.size()) fail(known->name, "missing value");
      value = args[++next];
    }
    known->apply(options, known->name, value);
    given.push_back(known->name);
  }
  if (options.help) return options;
  checkCombinations(options, given);
  if (options.command == Command::Compare && !options.pluginPath.empty())
    options.comparedPlugins.insert(options.comparedPlugins.begin(), options.pluginPath);
  return options;
}

const char *usageText() {
  return R"(Usage:
  surf-probe [hit] [OPTIONS]                 evaluate one ray hit and print every output
  surf-probe batch [INPUT.csv|-] [-o FILE [--force]] [--timing] [--stokes S0,S1,S2,S3]
                   [--frame plugin|sp]       evaluate one hit per CSV row
  surf-probe sweep --over incidence|azimuth|wavelength [--from A --to B --step S]
                   [OPTIONS] [-o FILE [--force]]
                                             tabulate the response while one quantity varies
  surf-probe plot [-o FILE.png [--force]] [--wavelengths L1,L2,...] [--size WxH]
                  [--gnuplot PATH]           chart R and T and the extinction ratio against
                                             incidence and the eigen-axes against azimuth
                                             (needs gnuplot)
  surf-probe map [--wavelength UM] [--quantity extinction|pass|block|reflectance|axis]
                 -o FILE.png [--force] [--size WxH] [--gnuplot PATH]
                                             a polar map over the cone of incidence on a +z
                                             normal (needs gnuplot)
  surf-probe compare PLUGIN_A PLUGIN_B [-o FILE [--force]]
                                             both datasets' figures of merit side by side
                                             and their largest differences

The hit (all commands but batch):
  --wavelength UM        wavelength in micrometres (default 0.555; the table covers 0.40..0.70)
  --ray X,Y,Z            propagation direction (default 0.3,0.2,sqrt(0.87))
  --incidence DEG        instead of --ray: the ray at this incidence angle (0..90) ...
  --azimuth DEG          ... and azimuth on a +z normal: (sin t cos a, sin t sin a, cos t);
                         the one not given keeps the default ray's value
  --reference X,Y,Z      reference direction (default 1,0,0)
  --normal X,Y,Z         surface normal (default 0,0,1)
                         (directions that are not unit vectors are scaled to length 1, and
                         the probe says so; a zero or non-finite direction is refused)
  --stokes S0,S1,S2,S3   also show what both Mueller matrices make of this input state, given
                         in the incident frame (the s/p basis turned by the reference
                         direction's azimuth; see README "Reading the matrices"); batch adds
                         reflectedS0..S3 and transmittedS0..S3
  --format table|csv     single hit: readable table (default) or one CSV header and row

Other options:
  --plugin PATH          the plug-in to load (default: surf.so / surf.dll beside surf-probe)
  -o, --output FILE      write to FILE instead of standard output; an existing FILE is only
                         replaced with --force, and only once the run has succeeded
  --timing               batch: report the time spent inside the plug-in on standard error
  --frame sp             batch: write the incidence angle and folded azimuth of each hit and
                         its two Mueller matrices in its s/p bases (R00..R33, T00..T33)
                         instead of the plug-in's frames, as tools/surf-coating imports them
                         (--stokes still gives and writes its states in the plug-in's frames)
  --from, --to, --step   sweep range (defaults: incidence 0..89 by 1 degree, azimuth 0..360 by
                         5 degrees, wavelength 0.40..0.70 by 0.005 um)
  -h, --help             show this help

Batch input: a header naming the ten hit columns, each once, in any order:
  wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ
then one hit per line; other columns are passed through, and fields may be quoted.
Numbers are written in the shortest form that reads back exactly.
Exit status: 0 success, 2 bad options or input, 1 any other failure.
)";
}

}  // namespace probe
