#pragma once

#include "core/Answer.h"
#include "core/Task.h"

#include <QByteArray>

class Exchange;
class Questions;

// The login to the controller's command interpreter: "PASSWORD", and when the controller says
// "denied", the password the user types (caption "Прибор блокирован"), sent as
// "PASSWORD <text>".
struct PasswordResult {
    bool firstAnswered = false; // the first "PASSWORD" got a non-empty answer
    bool granted = false;       // the latest answer is whole and contains "granted"
    bool denied = false;        // the latest answer is whole and contains "denied"
    QByteArray password;        // the password the user typed and that was sent, if any
    Answer latest;              // the latest answer, for a message when it said neither
};

// Each "PASSWORD" is asked up to `attempts` times while its answer is missing, cut or damaged.
Task<PasswordResult> PasswordDialogue(Exchange& exchange, int attempts, Questions& questions);
