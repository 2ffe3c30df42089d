// evaluate.h - the evaluation driver behind fnEvaluateCoating, and the kept host pointer.
#ifndef SURF_PLUGIN_EVALUATE_H
#define SURF_PLUGIN_EVALUATE_H

namespace surf {

// The pointer the host last handed to fnInitDll; null when the library is loaded. Stored for
// the host's benefit only: nothing in the library reads it.
extern void *hostPointer;

// One ray hit: snaps the three vectors of the CoatingInput `in` in place and fills all 41
// elements of the CoatingOutput `out`. Both must be valid.
void evaluateCoating(double *in, double *out);

}  // namespace surf

#endif
