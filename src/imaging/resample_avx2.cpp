// Resample inner loops built for Avx2.
#define FOLIVANT_VEC_BYTES 32
#define FOLIVANT_VEC_GROUP 2
#define FOLIVANT_SIMD_NAME(x) x##Avx2
#include "imaging/resample_simd.inc"
