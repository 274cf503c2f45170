#pragma once

#include "core/Answer.h"
#include "core/Task.h"

#include <QByteArray>

class Exchange;

// A command that may be sent again without harm: a setting ("PAGENUM 70", "PAGEHEXMODE TRUE"), a
// login, "VER". It is asked until its answer is whole, at most `attempts` times in all: sent again
// while the controller is silent (the exchange does that, waiting for a controller that is not
// on line yet where the engineer asked for it) and while the answer is cut, damaged or says
// something else. An error line, a cancel or a lost connection ends it at once.
Task<Answer> askRepeatable(Exchange& exchange, QByteArray command, int attempts);

// A setting is confirmed when its answer is whole: a line of its own (not its echo, nor another
// command's late answer) holds the value it sets.
struct SettingResult {
    Answer answer; // the last answer
    bool confirmed = false;
};

Task<SettingResult> askSetting(Exchange& exchange, QByteArray command, int attempts);
