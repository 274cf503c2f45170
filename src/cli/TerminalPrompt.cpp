#include "cli/TerminalPrompt.h"

#include "cli/FleetChannel.h"
#include "cli/ProgressDisplay.h"
#include "cli/ShellPlatform.h"

#include <cstdio>
#include <memory>
#include <string>

bool TerminalPrompt::available() {
    // A fleet member never asks: the terminal is the fleet's, and a thousand prompts at once
    // could not be answered.
    return FleetChannel::current() == nullptr && ShellPlatform::stdinIsTerminal();
}

std::optional<QString> TerminalPrompt::ask(const QString& prompt, bool secret) {
    ProgressDisplay::clearLine();
    std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    std::unique_ptr<ShellPlatform::EchoOff> echoOff;
    if (secret) {
        echoOff = std::make_unique<ShellPlatform::EchoOff>();
    }
    std::string line;
    bool ended = true;
    int c = 0;
    while ((c = std::getchar()) != EOF) {
        if (c == '\n') {
            ended = false;
            break;
        }
        line.push_back(char(c));
    }
    if (echoOff) {
        echoOff.reset();
        std::fputs("\n", stderr);
    }
    if (ended && line.empty()) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}
