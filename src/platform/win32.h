#pragma once
// The Windows API, without the parts that clash with our names (min, max).
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
