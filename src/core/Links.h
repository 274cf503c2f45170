#pragma once

#include "LinkSettings.h"
#include "Operation.h"
#include "Task.h"

#include <QByteArray>

// The links the core drives, one per kind: opening the link of the chosen kind, writing a
// command over it, the restart pulse and the closes. The connection code implements it with
// one link per kind; unit tests implement it with a scripted device in virtual time.
class Links {
public:
    virtual ~Links() = default;

    // The open step of OpenConnection: the link of the settings' kind, at their port or address.
    // Raises LoaderError on a failure it reports itself; a link that did not come up is seen in
    // ConnectionOpen. Its waits hold no thread.
    virtual Task<void> open(LinkSettings settings) = 0;

    // What stays with the open link's writes of the settings, for a link opened with others:
    // the broker's frames address the settings' hardware id, which is no part of the link.
    virtual void use(const LinkSettings& settings) { (void)settings; }

    // The write of SendCommand. Over TCP and the broker nothing is written while the client is
    // not connected.
    virtual void write(LinkKind kind, const QByteArray& text) = 0;

    // Sets the link's DTR and RTS lines (true: active) for a restart pulse; nothing on a link
    // without them.
    virtual void setControlLines(LinkKind kind, bool dtr, bool rts) {
        (void)kind;
        (void)dtr;
        (void)rts;
    }

    // The close of CloseConnection: the serial port when open, the TCP client when active.
    virtual void close(LinkKind kind) = 0;
    // Closes every link, a client still connecting included.
    virtual void closeAll() = 0;
    // Lets go of what other programs may want while no operation uses it (an open serial
    // port); a network connection stays as it is.
    virtual void releaseDevices() = 0;
};
