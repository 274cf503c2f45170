#include "cli/TerminalPrompt.h"

#include "cli/ProgressDisplay.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

bool TerminalPrompt::available() {
    return isatty(STDIN_FILENO) != 0;
}

std::optional<QString> TerminalPrompt::ask(const QString& prompt, bool secret) {
    ProgressDisplay::clearLine();
    std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    termios saved{};
    const bool echoOff = secret && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    bool ended = true;
    char c = 0;
    while (read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n') {
            ended = false;
            break;
        }
        line.push_back(c);
    }
    if (echoOff) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (ended && line.empty()) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}
