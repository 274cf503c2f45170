#pragma once

#include "cli/ShellOutput.h"
#include "platform/QtRuntime.h"

// The runtime of velkor-cli: Qt's, with the debug lines of --debug printed the way every other
// message is (on a fleet member's thread, into the member's channel).
class ShellRuntime : public QtRuntime {
public:
    void debugLine(const QString& line) override {
        ShellOutput::print(stderr, line + QLatin1Char('\n'));
    }
};
