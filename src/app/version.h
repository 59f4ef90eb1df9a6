#pragma once

// The one version of both programs: tarvolt's banner and qrvinfo --version.
#define TARVOLT_VERSION "1.2"
