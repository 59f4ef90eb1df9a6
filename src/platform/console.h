#pragma once

// Waits for one keystroke from the console itself, without echo and without
// Enter. Skipped when standard output is not a terminal or the console cannot
// be opened, so scripted runs never wait.
void waitForKey();
