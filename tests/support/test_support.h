#pragma once
#include <string>

// Starts the services once for the whole test binary.
void ensureServices();

// Clears the Log between tests.
void resetLog();

// The Log's complete lines joined with '\n' (each line ends in '\n').
std::string logText();
