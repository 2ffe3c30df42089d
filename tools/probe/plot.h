// plot.h - charts of sweeps, drawn by gnuplot.
#ifndef SURF_PROBE_PLOT_H
#define SURF_PROBE_PLOT_H

#include <optional>
#include <string>
#include <vector>

#include "tools/probe/gnuplot.h"
#include "tools/probe/options.h"
#include "tools/probe/output_file.h"
#include "tools/probe/plugin_loader.h"
#include "tools/probe/sweep.h"

namespace probe {

struct PlotData {
  int width = 1200, height = 900;
  std::string outputPath;  // where gnuplot writes the PNG
  std::string title;
  double fixedAzimuth = 0.0;    // of the incidence panel
  double fixedIncidence = 0.0;  // of the azimuth panel
  double azimuthWavelength = 0.0;
  // One incidence sweep per wavelength, and one azimuth sweep.
  std::vector<std::pair<double, std::vector<SweepPoint>>> incidenceSweeps;
  std::vector<SweepPoint> azimuthSweep;
};

// A complete gnuplot script, data included, for a PNG with two panels: Rs, Rp, Ts, Tp against
// incidence angle for each wavelength, and the reflection and transmission eigen-axis angles
// against the (unfolded) azimuth.
std::string buildGnuplotScript(const PlotData &data);

// "dataset datasetA (SHA-256 8e20bacaebe9...)" for chart titles: the name and the digest's
// first twelve digits.
std::string datasetTitle(const PluginLibrary &plugin);

// What plot and map share around their own evaluation. The constructor checks the chart's
// name (-o, or `defaultFile`: *.png, as gnuplot draws PNG, and one gnuplot can be given; else
// InputError naming -o), finds gnuplot, creates the output's temporary file, loads and
// initialises the plug-in, and prints the notes on the directions and a warning for each of
// `wavelengths` the table does not cover. draw() then runs gnuplot on the script, checks that
// it drew a PNG of width x height into the temporary file (ToolFailure otherwise), puts it in
// place and says so, with the plug-in and its dataset, on standard error.
class ChartRun {
 public:
  ChartRun(const ProbeOptions &options, const char *defaultFile,
           const std::vector<double> &wavelengths);

  const PluginLibrary &plugin() const { return plugin_; }
  // Where gnuplot is to write the chart: the output's temporary file, handed over.
  std::string outputPath() { return output_.handOver(); }
  void draw(const std::string &script, int width, int height);

 private:
  std::string target_;
  std::string gnuplot_;
  OutputTarget output_;
  PluginLibrary plugin_;
};

// Width and height from the IHDR chunk of a PNG file; nullopt if the file is not a PNG.
struct PngSize {
  unsigned width, height;
};
std::optional<PngSize> readPngSize(const std::string &path);

}  // namespace probe

#endif
