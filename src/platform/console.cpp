#include "platform/console.h"

#include <cstdio>

#if defined(_WIN32)
#include "platform/win32.h"

#include <conio.h>

void waitForKey() {
    std::fflush(stdout);
    // Only a console has a console mode; _isatty would also say yes for NUL.
    DWORD mode;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    // _getch reads the console itself, unechoed, whatever stdin is.
    _getch();
}

#else
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

void waitForKey() {
    std::fflush(stdout);
    if (!isatty(STDOUT_FILENO)) return;
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0) return;
    struct termios saved;
    if (tcgetattr(tty, &saved) == 0) {
        struct termios raw = saved;
        // Signal keys are read as keys too, so the terminal is always restored.
        raw.c_lflag &= (tcflag_t) ~(ICANON | ECHO | ISIG);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(tty, TCSAFLUSH, &raw) == 0) {
            unsigned char key;
            while (read(tty, &key, 1) < 0 && errno == EINTR) {
            }
            tcsetattr(tty, TCSAFLUSH, &saved);
        }
    }
    close(tty);
}
#endif
