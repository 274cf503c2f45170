#pragma once

#include "ScrollBack.h"

#include <QString>

// The terminal window's data: the raw exchange, the hand-typed send line and what the window
// shows of the link. The exchange and the links write it; the window (or the shell) shows it.
struct TerminalModel {
    bool visible = false;
    ScrollBack lines;                // Memo1, bytes as received or sent
    QString edit1;                   // the send line
    bool sendPanelVisible = false;   // Panel1, shown while a connection is open
    bool commandInputEnabled = true; // disabled while the bootloader is programmed
    int receiveCounter = 0;          // counted by the TCP receive handler, never reset
    qsizetype lastReceiveSize = -1;  // the size of the TCP reception counted last

    // "Терминальное окно", with the count and size of the TCP receptions once there was one;
    // made when shown, not at every reception.
    QString caption() const {
        if (lastReceiveSize < 0) {
            return QStringLiteral("Терминальное окно");
        }
        return QStringLiteral("Терминальное окно RxCount=%1 len=%2")
            .arg(receiveCounter)
            .arg(lastReceiveSize);
    }
};
