// reference_evaluation.h - the evaluation of one ray hit written out literally, operation for
// operation as each stage is defined, with none of the plug-in's shortcuts: the yardstick the
// plug-in is compared with bit for bit (reference_test.cpp, the fuzzer).
//
// It shares no code with the plug-in, only the compiled coating table, and is compiled with
// the same arithmetic flags. It follows what the plug-in is documented to do at the edges (the
// README's "Behaviour at the edges"): null record pointers, the grazing clamp on a +z normal,
// azimuth 0 for a ray without a tangential direction on a tilted normal.
#ifndef SURF_TESTS_REFERENCE_REFERENCE_EVALUATION_H
#define SURF_TESTS_REFERENCE_REFERENCE_EVALUATION_H

namespace surf_reference {

// What fnEvaluateCoating does, with the same arguments and result: snaps the vectors of the
// CoatingInput `input` in place, fills the 41 elements of the CoatingOutput `output`, returns
// 0.0. Stateless and thread-safe for distinct records.
double evaluateCoating(double *input, void *, void *, void *, double *output);

}  // namespace surf_reference

#endif
