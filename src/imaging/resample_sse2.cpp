// Resample inner loops built for Sse2.
#define FOLIVANT_VEC_BYTES 16
#define FOLIVANT_VEC_GROUP 1
#define FOLIVANT_SIMD_NAME(x) x##Sse2
#include "imaging/resample_simd.inc"
