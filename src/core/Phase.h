#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Where a running operation is, as its procedure reports it, with what the step works on. The
// loader's output renders the words of status panel 3 from it (PhaseText); an observer gets
// the fields.
enum class Phase {
    OpeningLink,          // the operation opens its link
    WaitingForRestart,    // the flash waits for the controller's restart banner (seconds)
    ReadingSignature,     // the banner came: its signature is read
    SignatureAccepted,    // the controller fits the file
    EnteringBootloader,   // the controller is asked into its bootloader
    InBootloader,         // the bootloader answered
    Programming,          // records go out (done of total records)
    Programmed,           // the bootloader confirmed the end of programming
    SettingStartPage,     // the storage is positioned at its first page (page)
    SettingPageAddress,   // the storage is positioned inside a page (address)
    AccessGranted,        // the controller took the password
    StoringText,          // the text goes into storage (done of total characters, bytes, lines)
    ReadingText,          // the stored text comes back (done of total characters)
    WaitingForDevice,     // the storage upload waits for the controller to answer its login
    Verifying,            // the stored text is read back and compared with the file
    WaitingForController, // a controller not on line is asked again (attempt)
    TimeExpired,          // the answer wait ran out
    Cancelled,            // the engineer cancelled
    Refused,              // the flash refused a file that does not fit the controller
    Failed,               // a step failed (words: why)
    Message,              // a message of the operation's own (words), such as its outcome
};

struct PhaseEvent {
    // A phase without fields: PhaseEvent{Phase::Verifying}.
    PhaseEvent(Phase phase_ = Phase::Message) : phase(phase_) {} // NOLINT: converts on purpose

    Phase phase;
    std::int64_t done = -1;  // records, characters
    std::int64_t total = -1; // of them
    std::int64_t bytes = -1; // characters stored (the storage upload)
    int lines = -1;          // lines sent (the storage upload)
    int page = -1;
    int address = -1;
    int seconds = -1;               // how long the restart banner has been awaited
    int attempt = -1;               // of the wait for a controller
    bool controllerMissing = false; // the broker has no controller with the id (the wait for it)
    std::optional<std::int64_t> remainingMs;
    QString words; // the words of a failure or a message

    static PhaseEvent message(QString words) { return withWords(Phase::Message, std::move(words)); }
    static PhaseEvent failed(QString words) { return withWords(Phase::Failed, std::move(words)); }

private:
    static PhaseEvent withWords(Phase phase, QString words) {
        PhaseEvent event;
        event.phase = phase;
        event.words = std::move(words);
        return event;
    }
};
