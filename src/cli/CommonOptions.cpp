#include "cli/CommonOptions.h"

#include "cli/HostPort.h"
#include "cli/IdList.h"
#include "cli/UsageError.h"
#include "core/BaudRates.h"
#include "core/Loader.h"

namespace {

void readHostPort(const QCommandLineParser& parser, const QString& option, quint16 defaultPort,
                  CommonOptions& o) {
    const HostPort parsed = HostPort::parse(parser.value(option), option, defaultPort);
    o.host = parsed.host;
    o.port = parsed.port;
}

int parseNumber(const QString& value, const QString& option, int minimum) {
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < minimum) {
        throw UsageError(QStringLiteral("--%1: \"%2\" is not a whole number of %3 to 2147483647")
                             .arg(option, value)
                             .arg(minimum));
    }
    return number;
}

// Which link, and its port or address: one of --serial, --tcp and --broker at most.
void readLink(const QCommandLineParser& parser, CommonOptions& o) {
    using Link = CommonOptions::Link;
    const int kinds = int(parser.isSet(QStringLiteral("serial"))) +
                      int(parser.isSet(QStringLiteral("tcp"))) +
                      int(parser.isSet(QStringLiteral("broker")));
    if (kinds > 1) {
        throw UsageError(QStringLiteral("choose one of --serial, --tcp and --broker"));
    }
    if (parser.isSet(QStringLiteral("serial"))) {
        o.link = Link::Serial;
        o.serialPort = parser.value(QStringLiteral("serial"));
    } else if (parser.isSet(QStringLiteral("tcp"))) {
        o.link = Link::Tcp;
        readHostPort(parser, QStringLiteral("tcp"), 10001, o);
    } else if (parser.isSet(QStringLiteral("broker"))) {
        o.link = Link::Broker;
        readHostPort(parser, QStringLiteral("broker"), 10002, o);
        if (!parser.isSet(QStringLiteral("id"))) {
            throw UsageError(QStringLiteral("--broker needs --id N"));
        }
    }
}

} // namespace

void CommonOptions::addTo(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("serial"), QStringLiteral("Reach the controller on serial port PORT."),
         QStringLiteral("PORT")},
        {QStringLiteral("baud"), QStringLiteral("Serial line speed (default 115200)."),
         QStringLiteral("N")},
        {QStringLiteral("tcp"), QStringLiteral("Reach the controller's network adapter."),
         QStringLiteral("HOST[:PORT]")},
        {QStringLiteral("broker"), QStringLiteral("Reach the controller through the broker."),
         QStringLiteral("HOST[:PORT]")},
        {QStringLiteral("id"), QStringLiteral("Hardware id of the controller on the broker."),
         QStringLiteral("N")},
        {QStringLiteral("timeout"), QStringLiteral("Answer wait time in milliseconds."),
         QStringLiteral("MS")},
        {QStringLiteral("answer-gap"),
         QStringLiteral("Longest pause awaited inside an answer (default 500 ms)."),
         QStringLiteral("MS")},
        {QStringLiteral("fast"),
         QStringLiteral("An answer whole by what its command awaits ends the wait at once.")},
        {QStringLiteral("data-dir"),
         QStringLiteral("Folder of the settings, the journal and the logs."),
         QStringLiteral("DIR")},
        {QStringLiteral("debug"), QStringLiteral("Trace the exchange on standard error.")},
        {QStringLiteral("wait-controller"),
         QStringLiteral("Wait for a controller the broker does not have yet.")},
    });
}

CommonOptions CommonOptions::from(const QCommandLineParser& parser) {
    CommonOptions o;
    readLink(parser, o);
    if (parser.isSet(QStringLiteral("baud"))) {
        o.baud = parseNumber(parser.value(QStringLiteral("baud")), QStringLiteral("baud"), 1);
        if (BaudRates::entryOf(o.baud) < 0) {
            throw UsageError(
                QStringLiteral("--baud: %1 is not one of %2").arg(o.baud).arg(BaudRates::joined()));
        }
    }
    o.ids = parser.value(QStringLiteral("id"));
    if (parser.isSet(QStringLiteral("id")) && IdList::parse(o.ids).size() != 1) {
        throw UsageError(QStringLiteral("--id: name one id here"));
    }
    if (parser.isSet(QStringLiteral("timeout"))) {
        o.timeoutMs =
            parseNumber(parser.value(QStringLiteral("timeout")), QStringLiteral("timeout"), 0);
    }
    if (parser.isSet(QStringLiteral("answer-gap"))) {
        o.answerGapMs = parseNumber(parser.value(QStringLiteral("answer-gap")),
                                    QStringLiteral("answer-gap"), 0);
    }
    o.fast = parser.isSet(QStringLiteral("fast"));
    o.dataDir = parser.value(QStringLiteral("data-dir"));
    o.debug = parser.isSet(QStringLiteral("debug"));
    o.waitController = parser.isSet(QStringLiteral("wait-controller"));
    return o;
}

void CommonOptions::applyTo(Loader& loader) const {
    loader.choices.link = linkSettings();
    if (timeoutMs >= 0) {
        loader.setAnswerTimeout(timeoutMs);
    }
    if (answerGapMs >= 0) {
        loader.setAnswerGap(answerGapMs);
    }
    loader.choices.fastExchange = fast;
    loader.state.DebugMode = debug;
    loader.choices.waitForController = waitController;
}

LinkSettings CommonOptions::linkSettings() const {
    LinkSettings settings;
    switch (link) {
    case Link::Serial:
        settings.kind = LinkKind::Serial;
        settings.serialPort = serialPort;
        settings.baud = baud;
        break;
    case Link::Tcp:
        settings.kind = LinkKind::Tcp;
        settings.host = host;
        settings.port = port;
        break;
    case Link::Broker:
        settings.kind = LinkKind::Broker;
        settings.brokerHost = host;
        settings.brokerPort = port;
        settings.hardwareId = ids.isEmpty() ? 0 : IdList::parse(ids).value(0);
        break;
    case Link::None:
        break;
    }
    return settings;
}

const char* CommonOptions::helpText() {
    return "Connection (one of):\n"
           "  --serial PORT [--baud N]   serial port (COMn, or a device path such as\n"
           "                             /dev/ttyUSB0); N one of 9600 ... 256000\n"
           "  --tcp HOST[:PORT]          the controller's network adapter (port 10001)\n"
           "  --broker HOST[:PORT] --id IDS  the broker (port 10002) and the hardware\n"
           "                             id; a list and ranges (3,7,10-12) run a fleet\n"
           "                             (an IPv6 address with a port goes in brackets:\n"
           "                             [::1]:10001)\n"
           "Common options:\n"
           "  --timeout MS               answer wait time (default 80000)\n"
           "  --answer-gap MS            an answer not yet whole by what its command\n"
           "                             awaits may pause this long (default 500)\n"
           "  --fast                     an answer whole by what its command awaits ends\n"
           "                             the wait at once, not after 30 ms of silence\n"
           "  --data-dir DIR             folder of the settings, journal and logs\n"
           "  --debug                    trace the exchange on standard error\n"
           "  --wait-controller          a controller the broker does not have (yet) is no\n"
           "                             error at once: it counts as silent, so each\n"
           "                             subcommand's own retries decide how long it is\n"
           "                             waited for: store logs in up to 10 times in a row,\n"
           "                             readback asks its first setting 3 times, flash\n"
           "                             waits as --reset-wait says, send sends once\n"
           "  -q, --quiet                no progress or status messages\n"
           "  --json                     print one result object (JSON) on standard output\n"
           "  --jobs N                   fleets: up to N controllers at once (default 1)\n"
           "  --wave LIST  --max-failures K|P%  --rate N/min  --deadline DURATION\n"
           "  --events FILE|-  --state FILE\n"
           "                             a fleet's rollout: see velkor-cli --help\n";
}
