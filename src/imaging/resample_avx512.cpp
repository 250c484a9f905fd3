// Resample inner loops built for Avx512.
#define FOLIVANT_VEC_BYTES 64
#define FOLIVANT_VEC_GROUP 2
#define FOLIVANT_SIMD_NAME(x) x##Avx512
#include "imaging/resample_simd.inc"
