#pragma once

// The whole run of `tarvolt [OPTION] FILE`: starts the services, converts,
// and returns the exit code (0, or -1 on failure).
int run(int argc, char** argv);
