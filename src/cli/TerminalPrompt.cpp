#include "cli/TerminalPrompt.h"

#include "cli/FleetChannel.h"
#include "cli/ProgressDisplay.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"
#include "core/StoppableIo.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

enum class Read { Char, End, Stopped };

// One character of standard input, waited for in slices that a stop signal ends: a read that
// blocked would be restarted after the signal, and the signal's Ctrl-C then Enter would send
// an empty line as the answer.
Read readChar(char& c) {
#ifdef Q_OS_UNIX
    const auto stop = [] {
        return StoppableIo::stopRequested() || ShellPlatform::stopReceived() != 0;
    };
    for (;;) {
        const StoppableIo::Wait wait = StoppableIo::waitFor(STDIN_FILENO, false, stop);
        if (wait == StoppableIo::Wait::Stopped) {
            return Read::Stopped;
        }
        if (wait == StoppableIo::Wait::Failed) {
            return Read::End;
        }
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got == 1) {
            return Read::Char;
        }
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            return Read::End;
        }
    }
#else
    const int got = std::getchar();
    c = char(got);
    return got == EOF ? Read::End : Read::Char;
#endif
}

} // namespace

bool TerminalPrompt::available() {
    // A fleet member never asks: the terminal is the fleet's, and a thousand prompts at once
    // could not be answered.
    return FleetChannel::current() == nullptr && ShellPlatform::stdinIsTerminal();
}

std::optional<QString> TerminalPrompt::ask(const QString& prompt, bool secret, bool& stopped) {
    ProgressDisplay::clearLine();
    ShellOutput::print(stderr, prompt);
    std::unique_ptr<ShellPlatform::EchoOff> echoOff;
    if (secret) {
        echoOff = std::make_unique<ShellPlatform::EchoOff>();
    }
    std::string line;
    Read read = Read::Char;
    char c = 0;
    while ((read = readChar(c)) == Read::Char && c != '\n') {
        line.push_back(c);
    }
    if (echoOff) {
        echoOff.reset();
        ShellOutput::print(stderr, QStringLiteral("\n"));
    }
    stopped = read == Read::Stopped;
    if (read != Read::Char && (stopped || line.empty())) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}
