// The plot command: sweeps evaluated here, drawn by gnuplot into a PNG.
#include "tools/probe/plot.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tools/probe/commands.h"
#include "tools/probe/dataset_identity.h"
#include "tools/probe/errors.h"
#include "tools/probe/gnuplot.h"
#include "tools/probe/host.h"
#include "tools/probe/input_text.h"
#include "tools/probe/numbers.h"
#include "tools/probe/output_file.h"
#include "tools/probe/report.h"

namespace probe {

namespace {

constexpr const char *kDefaultPlotFile = "surf-probe-plot.png";
// The incidence sweep starts just off the normal: a ray exactly along it has no plane of
// incidence and gets azimuth 0, whatever azimuth the rest of the sweep is drawn at.
constexpr SweepRange kPlotIncidenceRange{0.5, 89.0, 0.5};
constexpr SweepRange kPlotAzimuthRange{0.0, 360.0, 2.0};

std::string number(double value) { return formatShortest(value); }

// Angles in chart titles: four decimals are plenty to read, the data blocks carry all digits.
std::string titleNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4g", value);
  return buffer;
}

std::string fileNameOf(const std::string &path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Incidence sweeps (one per wavelength) at the fixed azimuth, and one azimuth sweep.
PlotData evaluatePlotData(const PluginLibrary &plugin, const ProbeOptions &options) {
  PlotData data;
  data.width = options.plotWidth;
  data.height = options.plotHeight;
  data.fixedAzimuth = options.azimuth.value_or(defaultAzimuth());
  data.fixedIncidence = options.incidence.value_or(defaultIncidence());
  data.azimuthWavelength = options.wavelength;
  for (double wavelength : options.plotWavelengths) {
    ProbeOptions fixed = options;
    fixed.wavelength = wavelength;
    std::vector<SweepPoint> points;
    for (double value : sweepValues(kPlotIncidenceRange))
      points.push_back(evaluateSweepPoint(plugin, fixed, SweepQuantity::Incidence, value));
    data.incidenceSweeps.emplace_back(wavelength, std::move(points));
  }
  for (double value : sweepValues(kPlotAzimuthRange))
    data.azimuthSweep.push_back(evaluateSweepPoint(plugin, options, SweepQuantity::Azimuth, value));
  return data;
}

// One gnuplot data block: x, Rs, Rp, Ts, Tp, reflection axis, transmission axis (both in the
// s/p basis), extinction ratio, reflection contrast.
void appendDataBlock(std::string &script, const std::string &name,
                     const std::vector<SweepPoint> &points, bool xIsSweptValue) {
  script += "$" + name + " << EOD\n";
  for (const SweepPoint &p : points) {
    const double *o = p.record.output;
    const double x = xIsSweptValue ? p.value : p.angles.incidence;
    script += number(x) + "," + number(o[kOutReflectanceS]) + "," + number(o[kOutReflectanceP]) +
              "," + number(o[kOutTransmittanceS]) + "," + number(o[kOutTransmittanceP]) + "," +
              number(p.reflection.axis) + "," + number(p.transmission.axis) + "," +
              number(p.merit.extinctionRatio) + "," + number(p.merit.reflectionContrast) + "\n";
  }
  script += "EOD\n";
}

}  // namespace

std::string datasetTitle(const PluginLibrary &plugin) {
  const std::optional<DatasetIdentity> identity = readDatasetIdentity(plugin.path());
  return identity ? "dataset " + identity->name + " (SHA-256 " + identity->sha256.substr(0, 12) +
                        "...)"
                  : std::string("dataset unknown");
}

std::string buildGnuplotScript(const PlotData &data) {
  std::string s;
  s += "set terminal pngcairo size " + std::to_string(data.width) + "," +
       std::to_string(data.height) + " font 'sans,10'\n";
  s += "set output " + gnuplotOutputPath(data.outputPath, "-o") + "\n";
  s += "set datafile separator ','\n";
  for (std::size_t i = 0; i < data.incidenceSweeps.size(); ++i)
    appendDataBlock(s, "incidence" + std::to_string(i), data.incidenceSweeps[i].second, false);
  appendDataBlock(s, "azimuth", data.azimuthSweep, true);

  s += "set multiplot layout 2,2 title " + gnuplotText(data.title) + "\n";
  s += "set grid\nset key outside right top\n";
  s += "set title " +
       gnuplotText("Reflectance and transmittance, azimuth " + titleNumber(data.fixedAzimuth) +
                     " deg") +
       "\n";
  s += "set xlabel 'incidence angle (deg)'\nset ylabel 'fraction of incident power'\n";
  s += "set xrange [0:90]\nset yrange [0:1]\n";
  // Colour tells the quantity, dash pattern the wavelength.
  static const char *const kQuantities[] = {"Rs", "Rp", "Ts", "Tp"};
  static const char *const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e"};
  std::string plot = "plot ";
  for (std::size_t i = 0; i < data.incidenceSweeps.size(); ++i) {
    const std::string wavelength = number(data.incidenceSweeps[i].first);
    for (int q = 0; q < 4; ++q) {
      if (plot.size() > 5) plot += ", \\\n     ";
      plot += "$incidence" + std::to_string(i) + " using 1:" + std::to_string(q + 2) +
              " with lines lw 2 lc rgb '" + kColours[q] + "' dt " + std::to_string(i + 1) +
              " title '" + kQuantities[q] + " " + wavelength + " um'";
    }
  }
  s += plot + "\n";

  // The extinction ratio spans decades: a logarithmic axis.
  s += "set title " +
       gnuplotText("Extinction ratio (pass / block transmittance), azimuth " +
                     titleNumber(data.fixedAzimuth) + " deg") +
       "\n";
  s += "set ylabel 'extinction ratio'\nset logscale y\nset yrange [*:*]\nset format y '10^{%L}'\n";
  plot = "plot ";
  for (std::size_t i = 0; i < data.incidenceSweeps.size(); ++i) {
    if (plot.size() > 5) plot += ", \\\n     ";
    plot += "$incidence" + std::to_string(i) + " using 1:8 with lines lw 2 lc rgb '#2ca02c' dt " +
            std::to_string(i + 1) + " title '" + number(data.incidenceSweeps[i].first) + " um'";
  }
  s += plot + "\n";
  s += "unset logscale y\nset format y '%g'\n";

  s += "set title " +
       gnuplotText("Eigen-axes, incidence " + titleNumber(data.fixedIncidence) + " deg, " +
                     titleNumber(data.azimuthWavelength) + " um") +
       "\n";
  s += "set xlabel 'azimuth of the plane of incidence (deg)'\n"
       "set ylabel 'axis angle from s towards p (deg)'\n";
  s += "set xrange [0:360]\nset yrange [-90:90]\nset xtics 45\nset ytics 30\n";
  // Points, not lines: the angle wraps from +90 to -90 and a line would cross the panel.
  s += "plot $azimuth using 1:6 with points pt 7 ps 0.6 lc rgb '#1f77b4' "
       "title 'reflection, stronger', \\\n"
       "     $azimuth using 1:7 with points pt 5 ps 0.6 lc rgb '#2ca02c' title 'transmission, pass'\n";

  s += "set title " +
       gnuplotText("Extinction ratio and reflection contrast, incidence " +
                     titleNumber(data.fixedIncidence) + " deg, " +
                     titleNumber(data.azimuthWavelength) + " um") +
       "\n";
  s += "set ylabel 'ratio'\nset logscale y\nset yrange [*:*]\nset ytics auto\n"
       "set format y '10^{%L}'\n";
  s += "plot $azimuth using 1:8 with lines lw 2 lc rgb '#2ca02c' title 'extinction ratio', \\\n"
       "     $azimuth using 1:9 with lines lw 2 lc rgb '#1f77b4' title 'reflection contrast'\n";
  s += "unset multiplot\nset output\n";
  return s;
}

std::optional<PngSize> readPngSize(const std::string &path) {
  // Signature (8 bytes), then the IHDR chunk: length (4), "IHDR" (4), width, height (4 each,
  // big-endian).
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::ifstream file(path, std::ios::binary);
  unsigned char header[24];
  if (!file.read(reinterpret_cast<char *>(header), sizeof header)) return std::nullopt;
  for (int i = 0; i < 8; ++i)
    if (header[i] != kSignature[i]) return std::nullopt;
  if (std::string(reinterpret_cast<char *>(header) + 12, 4) != "IHDR") return std::nullopt;
  const auto bigEndian = [&header](int at) {
    return (unsigned(header[at]) << 24) | (unsigned(header[at + 1]) << 16) |
           (unsigned(header[at + 2]) << 8) | unsigned(header[at + 3]);
  };
  return PngSize{bigEndian(16), bigEndian(20)};
}

namespace {

bool endsWithPng(const std::string &path) {
  if (path.size() < 4) return false;
  std::string ending = path.substr(path.size() - 4);
  for (char &ch : ending) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ending == ".png";
}

// The chart's file name, checked: *.png and one gnuplot can be given.
std::string chartTarget(const ProbeOptions &options, const char *defaultFile) {
  const std::string target = options.output.empty() ? defaultFile : options.output;
  // gnuplot draws PNG here; a chart named otherwise would be a PNG in disguise.
  if (!endsWithPng(target))
    throw InputError("-o " + inQuotes(target) + ": charts are drawn as PNG; name the file *.png");
  gnuplotOutputPath(target, "-o");  // refuses a name gnuplot cannot be given
  return target;
}

}  // namespace

ChartRun::ChartRun(const ProbeOptions &options, const char *defaultFile,
                   const std::vector<double> &wavelengths)
    : target_(chartTarget(options, defaultFile)),
      gnuplot_(gnuplotProgram(options.gnuplot)),
      output_(target_, options.force) {
  requireInitResult(openPlugin(plugin_, options.pluginPath));
  printDirectionNotes(options);
  for (double wavelength : wavelengths)
    if (const std::string warning = wavelengthWarning(wavelength); !warning.empty())
      std::fprintf(stderr, "surf-probe: warning: %s\n", warning.c_str());
}

void ChartRun::draw(const std::string &script, int width, int height) {
  runGnuplot(gnuplot_, script);
  const std::optional<PngSize> size = readPngSize(output_.temporaryPath());
  if (!size || size->width != unsigned(width) || size->height != unsigned(height))
    throw ToolFailure(inQuotes(gnuplot_) + " did not write a " + std::to_string(width) + "x" +
                      std::to_string(height) + " PNG");
  output_.commit();
  noteLoadedPlugin(plugin_);
  std::fprintf(stderr, "surf-probe: wrote %s\n", visible(output_.path()).c_str());
}

int runPlot(const ProbeOptions &options) {
  std::vector<double> wavelengths = options.plotWavelengths;
  wavelengths.push_back(options.wavelength);
  ChartRun run(options, kDefaultPlotFile, wavelengths);
  PlotData data = evaluatePlotData(run.plugin(), options);
  data.outputPath = run.outputPath();
  // The file name only: the chart is often shared, the directory means nothing elsewhere.
  data.title =
      "Coating plug-in " + fileNameOf(run.plugin().path()) + ", " + datasetTitle(run.plugin());
  run.draw(buildGnuplotScript(data), data.width, data.height);
  return 0;
}

}  // namespace probe
