#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The fixed waits of the procedures and the connections, in one place. Their values are the
// controller's own timings; a test, or velkor-cli under test (VELKOR_WAITS), shortens them so a
// lost answer does not cost half a minute.
struct Timings {
    std::int32_t pageWriteMs = 30000;       // the answer wait of a storage write
    std::int32_t reprogramMs = 180000;      // "REPROGRAMM W": the controller checks the image
    std::int32_t restartMs = 300000;        // "VER" after "RESET": the controller restarts
    std::int32_t programmingStartMs = 3000; // the bootloader's answer to "f"
    std::int32_t bootloaderPauseMs = 500;   // after "i", before judging the answer
    std::int32_t connectMs = 10000;         // a TCP or broker connection comes up
    std::int32_t refusalShownMs = 700;      // a refused firmware file's message stays in view

    // "page-write=3000,restart=5000": base with the named waits changed, in milliseconds.
    // Nothing when the text names an unknown wait or a value that is not a whole number of 0
    // or more.
    static std::optional<Timings> parse(const QString& text, Timings base);
};
