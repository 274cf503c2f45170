#pragma once

#include "core/LoaderError.h"

#include <QByteArray>
#include <QString>
#include <functional>

// A failure of the serial layer: the text the user sees and the system error code in it
// (errno on Linux; 0 where the text carries no code, as "Port Not Open").
class SerialError : public LoaderError {
public:
    SerialError(const QString& message, int code) : LoaderError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The serial port as the loader drives it (ComPort1). The line is always 8N1 without flow
// control, DTR and RTS held inactive; the loader sets the name and the speed before opening.
// Every event is delivered on the user-interface thread from its event processing, except
// after-open and after-close, which run inside open() and close().
class SerialLayer {
public:
    virtual ~SerialLayer() = default;

    virtual void setPortName(const QString& name) = 0;
    virtual QString portName() const = 0;
    virtual void setBaudRate(int bitsPerSecond) = 0;
    virtual int baudRate() const = 0;

    // Opens the device exclusively, drops DTR and RTS, applies the line settings and raises
    // onAfterOpen; nothing when already open. A failure, a refused setting included, raises
    // SerialError "Unable to open com port (Error: %d)" (with the code's meaning beside it,
    // SerialErrorText; a refused setting named after it) and leaves the port closed.
    virtual void open() = 0;
    virtual bool isOpen() const = 0;
    // Writes the bytes as they are; returns when written or after 1000 ms + 100 ms per byte
    // (a short write is not reported). "Port Not Open" while closed, "WriteFile function
    // failed (Error: %d)" on a failure.
    virtual void write(const QByteArray& bytes) = 0;
    // Takes up to count queued bytes into buffer without waiting; returns how many.
    // "Port Not Open" while closed, "ReadFile function failed (Error: %d)" on a failure.
    virtual int read(char* buffer, int count) = 0;
    // Sets DTR and RTS (true: active) while open: a pulse on the line wired to the controller's
    // reset pin restarts it. A line without them (a pseudo-terminal) ignores it.
    virtual void setControlLines(bool dtr, bool rts) {
        (void)dtr;
        (void)rts;
    }
    // Discards pending input and output, closes the device and raises onAfterClose; nothing
    // when already closed.
    virtual void close() = 0;

    std::function<void()> onAfterOpen;
    std::function<void()> onAfterClose;
    // Bytes are queued; count is how many (always above 0).
    std::function<void(int count)> onRxChar;
};
