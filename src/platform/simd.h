#pragma once

// The one switch for vector code. SSE2 is the baseline of every target we
// build (x86-64, and the 32-bit Windows build requires it); TARVOLT_NO_SIMD
// (CMake option TARVOLT_SIMD=OFF) builds the scalar code instead, so that the
// path of a machine without the instructions is built and tested too.
#if !defined(TARVOLT_NO_SIMD) && defined(__SSE2__)
#define TARVOLT_SSE2 1
#else
#define TARVOLT_SSE2 0
#endif
