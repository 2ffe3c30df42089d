// table.h - the compiled-in coating response table: its three grids and its sample layout.
//
// The table holds, for every grid wavelength, angle of incidence and folded azimuth, one
// CoatingSample of twelve doubles. It is constant data of the library, read in place.
#ifndef SURF_COATING_TABLE_H
#define SURF_COATING_TABLE_H

namespace surf {

constexpr int kWavelengthCount = 31;  // 0.40 .. 0.70 um, step 0.01
constexpr int kIncidenceCount = 19;   // 0, 5, .., 85, 89 degrees (the last step is 4)
constexpr int kAzimuthCount = 19;     // 0, 5, .., 90 degrees

// Visible to the compiler, so a search over a grid it knows can use the grid's spacing as a
// constant. Each wavelength is the double nearest its two-decimal form, as the compiler reads it.
inline constexpr double wavelengthGrid[kWavelengthCount] = {
    0.40, 0.41, 0.42, 0.43, 0.44, 0.45, 0.46, 0.47, 0.48, 0.49, 0.50,
    0.51, 0.52, 0.53, 0.54, 0.55, 0.56, 0.57, 0.58, 0.59, 0.60,
    0.61, 0.62, 0.63, 0.64, 0.65, 0.66, 0.67, 0.68, 0.69, 0.70};

inline constexpr double incidenceGrid[kIncidenceCount] = {0,  5,  10, 15, 20, 25, 30, 35, 40, 45,
                                                          50, 55, 60, 65, 70, 75, 80, 85, 89};

inline constexpr double azimuthGrid[kAzimuthCount] = {0,  5,  10, 15, 20, 25, 30, 35, 40, 45,
                                                      50, 55, 60, 65, 70, 75, 80, 85, 90};

// The columns of one CoatingSample.
enum CoatingColumn {
  kRs = 0,       // reflectance, first linear polarization
  kRp = 1,       // reflectance, second linear polarization
  kREigen1 = 2,  // reflectance along the first eigen-axis (the smaller)
  kREigen2 = 3,  // reflectance along the second eigen-axis (the larger)
  kRAxis = 4,    // angle of the reflection eigen-axes, degrees, in the folded frame
  kRExtra = 5,   // a further value, not used by the evaluation
  kTs = 6,       // transmittance, first linear polarization
  kTp = 7,       // transmittance, second linear polarization
  kTEigen1 = 8,  // transmittance along the first eigen-axis (the larger)
  kTEigen2 = 9,  // transmittance along the second eigen-axis (the smaller)
  kTAxis = 10,   // angle of the transmission eigen-axes, degrees, in the folded frame
  kTExtra = 11,  // a further value, not used by the evaluation
  kSampleColumns = 12
};

constexpr int kSampleCount = kWavelengthCount * kIncidenceCount * kAzimuthCount;  // 11,191
constexpr int kTableDoubles = kSampleCount * kSampleColumns;                      // 134,292

// CoatingTable[sampleOffset(iw, ii, ia) + column]; azimuth varies fastest.
extern const double CoatingTable[kTableDoubles];

constexpr int sampleOffset(int iw, int ii, int ia) {
  return kSampleColumns * (kIncidenceCount * kAzimuthCount * iw + kAzimuthCount * ii + ia);
}

}  // namespace surf

#endif
