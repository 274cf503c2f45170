#pragma once

#include "core/BaudRates.h"
#include "core/LinkSettings.h"

#include <QCommandLineParser>
#include <QString>

class Loader;

// The options every subcommand shares: how the controller is reached, the answer wait time and
// how answers are awaited, the data folder and the debug trace.
struct CommonOptions {
    enum class Link { None, Serial, Tcp, Broker };

    Link link = Link::None;
    QString serialPort;
    int baud = BaudRates::kDefault;
    QString host;
    quint16 port = 0;
    QString ids;          // the --id text
    int timeoutMs = -1;   // -1: keep the loader's default
    int answerGapMs = -1; // -1: keep the loader's default
    bool fast = false;    // the fast exchange
    QString dataDir;
    bool debug = false;
    bool waitController = false; // cbWaitConnectLUMET

    static void addTo(QCommandLineParser& parser);
    // Reads the options; raises UsageError naming the offending option.
    static CommonOptions from(const QCommandLineParser& parser);
    // Sets the loader's choices (the link, the fast exchange, the wait for a controller), the
    // wait times and the debug mode; the links open by linkSettings(), which the request
    // carries.
    void applyTo(Loader& loader) const;
    // Where the controller is reached, as the links take it: the port, the address and port,
    // the broker's address and the one id.
    LinkSettings linkSettings() const;

    static const char* helpText();
};
