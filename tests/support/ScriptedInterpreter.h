#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <cstdint>
#include <functional>

class ScriptedDevice;

// A controller's command interpreter with its storage memory, for unit tests in virtual time.
// It answers the login, positioning, write and read commands over a ScriptedDevice the way
// the controller does, keeps what is written, and can be told to misbehave: lose the answer
// to chosen writes, answer with another line counter, or have any answer rewritten or dropped.
class ScriptedInterpreter {
public:
    static constexpr int kPageSize = 528;

    explicit ScriptedInterpreter(ScriptedDevice& device);

    // Access: empty password means "PASSWORD" is granted at once.
    QByteArray password;
    QByteArray builtInPassword = "TOVRIL";
    int answerDelayMs = 5;

    // Faults. The n-th "PAGEWRITE" (counted from 1 over the whole life) that is stored but
    // whose answer is lost; or answered with the line counter off by counterSkew.
    QSet<int> lostWriteAnswers;
    QSet<int> skewedWrites;
    int counterSkew = 2;
    // Sees every answer before it goes out; returns false to send nothing.
    std::function<bool(const QByteArray& command, QByteArray& answer)> rewrite;

    // Finalisation answers.
    QByteArray reprogramAnswer = "REPROGRAMM W\r\nCHECK GOOD\r\n";
    QByteArray versionAnswer = "VER\r\nLUMET5x v3.12 2026\r\n";

    // State.
    QByteArray memory; // page p, address a at p * kPageSize + a
    int page = 0;
    int addr = 0;
    bool hexMode = false;
    int readCount = 16;
    std::uint32_t lineCounter = 0;
    bool unlocked = false;
    int writes = 0;
    QList<QByteArray> commands;

    // The bytes stored from page 70, address offset on.
    QByteArray stored(int offset, int length) const;
    // Puts bytes at page 70, address offset (as an earlier upload would have).
    void store(int offset, const QByteArray& bytes);

private:
    QByteArray respond(const QByteArray& command);
    QByteArray writePage(const QByteArray& data);
    QByteArray readPage();
    void put(const QByteArray& bytes);

    ScriptedDevice& device_;
};
