// plot.h - charts of sweeps, drawn by gnuplot.
#ifndef SURF_PROBE_PLOT_H
#define SURF_PROBE_PLOT_H

#include <optional>
#include <string>
#include <vector>

#include "tools/probe/gnuplot.h"
#include "tools/probe/output_file.h"
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

// Checks that the chart drawn into the output's temporary file is a PNG of width x height,
// puts it in place and says so (with the plug-in and its dataset) on standard error. Throws
// ToolFailure when gnuplot fails or draws something else.
void drawChart(const std::string &gnuplot, const std::string &script, int width, int height,
               OutputTarget &output, const PluginLibrary &plugin);

// The name of a chart's file: *.png (gnuplot draws PNG; a chart named otherwise would be a PNG
// in disguise) and one gnuplot can be given. Throws InputError naming -o.
void requirePngName(const std::string &target);

// Width and height from the IHDR chunk of a PNG file; nullopt if the file is not a PNG.
struct PngSize {
  unsigned width, height;
};
std::optional<PngSize> readPngSize(const std::string &path);

}  // namespace probe

#endif
