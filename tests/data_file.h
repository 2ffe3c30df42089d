// Reads a coating data file the way any spreadsheet would: header, then one sample a row.
#ifndef SURF_TESTS_DATA_FILE_H
#define SURF_TESTS_DATA_FILE_H

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace surf_test {

constexpr int kColumns = 12;
constexpr int kWavelengths = 31, kIncidences = 19, kAzimuths = 19;

struct DataFile {
  std::vector<double> grid;    // wavelength, incidence, azimuth: 3 doubles a row
  std::vector<double> values;  // the 12 sample columns a row

  // Sample (iw, ii, ia), azimuth fastest.
  const double *sample(int iw, int ii, int ia) const {
    return values.data() + kColumns * ((iw * kIncidences + ii) * kAzimuths + ia);
  }
};

inline DataFile readDataFile(const char *path) {
  DataFile f;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string field;
    for (int column = 0; std::getline(fields, field, ','); ++column) {
      (column < 3 ? f.grid : f.values).push_back(std::strtod(field.c_str(), nullptr));
    }
  }
  return f;
}

// Line 1 of the file is the header; sample s sits on line s + 2.
inline int fileLine(int sample) { return sample + 2; }

}  // namespace surf_test

#endif
