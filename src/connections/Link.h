#pragma once

#include "core/LinkSettings.h"
#include "core/Task.h"

#include <QByteArray>

// One way to reach the controller. It opens by the settings the front end decided and reports
// what happens to it: opened and lost (showLinkOpen), the status panels and the link state, the
// bytes that arrive to the receive routing. It changes no operation's state. Each kind of link has
// one implementation, made by LinkRegistry.
class Link {
public:
    virtual ~Link() = default;

    // Raises LoaderError on a failure it reports itself; a link that did not come up leaves
    // ConnectionOpen false. Its waits (a network connect) hold no thread.
    virtual Task<void> open(LinkSettings settings) = 0;
    // Takes what the writes need of the settings while the link stays open (the hardware id
    // a broker frame addresses); nothing for a link whose writes need nothing.
    virtual void use(const LinkSettings& settings) { (void)settings; }
    // Writes the command's text; a network link writes nothing while not connected.
    virtual void write(const QByteArray& text) = 0;
    // Closes the link, a connect still under way included; nothing when it is closed.
    virtual void close() = 0;
    // Lets go of a local device that other programs may want while no operation uses it; a
    // network link keeps its connection.
    virtual void releaseDevice() {}
    // DTR and RTS (true: active), for a restart pulse; nothing on a link without them.
    virtual void setControlLines(bool dtr, bool rts) {
        (void)dtr;
        (void)rts;
    }
};
