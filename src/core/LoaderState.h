#pragma once

#include "Operation.h"
#include "UiTexts.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

// How long an answer that is not yet whole by what its command awaits may pause before it is
// taken as it is.
inline constexpr std::int32_t kDefaultAnswerGapMs = 500;
// Far above any real answer; a peer that sends more within one attempt sends without pause.
inline constexpr qsizetype kDefaultAnswerLimit = qsizetype(4) * 1024 * 1024;

// The loader's state that is not a control: what the main window held besides its widgets.
// Device bytes are QByteArray, one character per byte as received.
struct LoaderState {
    // Operation driver and connection lifecycle.
    bool OperationActive = false;               // clearing it is the cancel request
    Operation OperationMode = Operation::Flash; // kept in PopupMenu1.Tag as its icon
    bool ConnectionOpen = false;
    // The link is alive: set as the link opens or an operation starts on it, cleared as it is
    // lost or the operation ends (Timer3 runs exactly while it is set).
    bool LinkAlive = false;
    bool TcpConnected = false;
    bool OperationFailed = false;
    // The broker said it has no controller with the hardware id, and the operation stopped.
    bool ControllerNotFound = false;
    // A broker that has no controller with the id yet is asked again until it has (the
    // running operation's request says so).
    bool WaitForController = false;
    // While it is waited for, the broker said in this attempt that it has no such controller.
    bool ControllerMissing = false;
    QDateTime OperationStart;

    // Command exchange.
    QByteArray AnswerBuffer;
    bool AnswerReceived = false;
    std::int32_t QuietTicks = 0;
    // A broker frame of the current answer failed its CRC check: the answer is damaged.
    bool AnswerDamaged = false;
    // The raw bytes of the damaged frames, with "bad CRC" after each: shown, never judged.
    QByteArray DamagedText;
    // The connection holds the first part of an answer frame whose rest is still due: the
    // answer is not complete, however long the pause inside the frame.
    bool AnswerFrameIncomplete = false;
    // More than AnswerLimit bytes arrived since the attempt began: the peer sends without
    // pause, and the exchange ends with an error.
    bool AnswerOverflow = false;
    // The longest answer taken (kDefaultAnswerLimit unless the front end shares its memory
    // among many loaders, as a fleet does).
    qsizetype AnswerLimit = kDefaultAnswerLimit;
    // An exchange of this operation was cut off by such a flood: whatever the procedure made
    // of the failure, the flood is its cause.
    bool Flooded = false;
    std::int32_t AnswerTimeoutMs = 80000;           // kept in mnuTimeOut.Tag
    std::int32_t AnswerGapMs = kDefaultAnswerGapMs; // kept in mnuAnswerGap.Tag
    std::int32_t AttemptCount = 0;
    std::int32_t AttemptLimit = 3;
    bool DebugMode = false;

    // Received-data routing.
    QByteArray PendingTerminalText;
    std::uint32_t LastReceiveTick = 0;
    std::uint32_t ReceiveTraceTick = 0;

    // Firmware file.
    QString FirmwareFilePath;

    // Resume position of the storage load; survives between runs, not saved.
    std::uint16_t StartPage = 70;
    std::uint16_t PageAddr = 10;
    std::uint16_t LastLoadedLine = 0;
    std::uint16_t LinesSent = 0;

    bool FirstActivation = true;
};
