#include "coating/table.h"

namespace surf {

// Each wavelength is the double nearest its two-decimal form, as the compiler reads it.
const double wavelengthGrid[kWavelengthCount] = {
    0.40, 0.41, 0.42, 0.43, 0.44, 0.45, 0.46, 0.47, 0.48, 0.49, 0.50,
    0.51, 0.52, 0.53, 0.54, 0.55, 0.56, 0.57, 0.58, 0.59, 0.60,
    0.61, 0.62, 0.63, 0.64, 0.65, 0.66, 0.67, 0.68, 0.69, 0.70};

const double incidenceGrid[kIncidenceCount] = {0,  5,  10, 15, 20, 25, 30, 35, 40, 45,
                                               50, 55, 60, 65, 70, 75, 80, 85, 89};

const double azimuthGrid[kAzimuthCount] = {0,  5,  10, 15, 20, 25, 30, 35, 40, 45,
                                           50, 55, 60, 65, 70, 75, 80, 85, 90};

}  // namespace surf
