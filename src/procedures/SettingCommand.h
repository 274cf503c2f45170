#pragma once

#include "core/Answer.h"

#include <QByteArray>

class Exchange;

// A setting of the command interpreter ("PAGENUM 70", "PAGEHEXMODE TRUE"): confirmed when the
// answer is whole and gives the value back (a number standing alone, or the word). A setting
// can be sent again without harm, so one that got no confirmation (silence, a cut or damaged
// answer, or the late answer of an earlier command in its place) is sent again, at most
// `attempts` times in all; an error line ("ERR ...") or a stop ends it at once.
struct SettingResult {
    Answer answer; // the last answer
    bool confirmed = false;
};

SettingResult askSetting(Exchange& exchange, const QByteArray& command, int attempts);

// A command that may be sent again without harm ("REPROGRAMM W", "VER"), asked until its
// answer is whole, at most `attempts` times; an error line or a stop ends it at once.
Answer askRepeatable(Exchange& exchange, const QByteArray& command, int attempts);

// Whether a whole answer gives the setting's value back.
bool settingEchoed(const QByteArray& command, const QByteArray& answer);
