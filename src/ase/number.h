#pragma once
#include <cstdint>

// What atoi gives, except that values past the 32-bit range saturate.
int32_t parseInt(const char* text);

// What atof gives, rounded to float.
float parseFloat(const char* text);

// a - b, saturating at the 32-bit limits.
int32_t saturatingSubtract(int32_t a, int32_t b);
