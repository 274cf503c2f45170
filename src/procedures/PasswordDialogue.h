#pragma once

#include <QByteArray>

class Exchange;
struct LoaderState;
class Questions;

// The login to the controller's command interpreter: "PASSWORD", and when the controller says
// "denied", the password the user types (caption "Прибор блокирован"), sent as
// "PASSWORD <text>".
struct PasswordResult {
    bool firstAnswered = false; // the first "PASSWORD" got a non-empty answer
    bool granted = false;       // the latest answer contains "granted"
    QByteArray password;        // the password the user typed and that was sent, if any
};

PasswordResult PasswordDialogue(Exchange& exchange, LoaderState& state, Questions& questions);
