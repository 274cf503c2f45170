// velkor-devsim: a LUMET/DORN controller and broker simulator (see --help).
#include "BrokerFrontEnd.h"
#include "Device.h"
#include "PtyFrontEnd.h"
#include "SimOptions.h"
#include "TcpFrontEnd.h"
#include "platform/DispatcherChoice.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>

namespace {

constexpr int kUsage = 64;
constexpr int kUnavailable = 69;
constexpr int kIoError = 74;

void printLine(const QString& line) {
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}

int fail(int code, const QString& message) {
    std::fprintf(stderr, "velkor-devsim: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    // A thousand controllers behind the broker are a thousand sockets and their timers on one
    // event loop: it waits on epoll. Should the environment choose Qt's own event loop, the
    // one without GLib does less work per socket and timer.
    DispatcherChoice::useForManySocketsInMainThread();
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    QCoreApplication app(argc, argv);
    const devsim::ParseResult parsed = devsim::parseOptions(app.arguments().mid(1));
    if (parsed.kind == devsim::ParseResult::Kind::Help) {
        std::fputs(qPrintable(parsed.message), stdout);
        return 0;
    }
    if (parsed.kind == devsim::ParseResult::Kind::Error) {
        return fail(kUsage, parsed.message + "\n(velkor-devsim --help lists the options)");
    }
    const devsim::SimOptions& options = parsed.options;
    QString error;

    devsim::Device device(options.controller, options.imageOutPath, options.faults.targeted);
    device.programmedPath = options.programmedPath;
    if (!options.storagePath.isEmpty() && !device.storage.attachFile(options.storagePath, &error)) {
        return fail(kIoError, error);
    }
    if ((options.tcpPort || options.pty) && !device.imageWritable(&error)) {
        return fail(kIoError, error);
    }
    std::unique_ptr<devsim::TcpFrontEnd> tcp;
    if (options.tcpPort) {
        tcp = std::make_unique<devsim::TcpFrontEnd>(device, options);
        if (!tcp->listen(*options.tcpPort, &error)) {
            return fail(kUnavailable, error);
        }
        printLine("tcp " + tcp->address());
    }
    std::unique_ptr<devsim::BrokerFrontEnd> broker;
    if (options.brokerPort) {
        broker = std::make_unique<devsim::BrokerFrontEnd>(options);
        if (!broker->createControllers(&error)) {
            return fail(kIoError, error);
        }
        if (!broker->listen(*options.brokerPort, &error)) {
            return fail(kUnavailable, error);
        }
        printLine("broker " + broker->address());
    }
    std::unique_ptr<devsim::PtyFrontEnd> pty;
    if (options.pty) {
        pty = std::make_unique<devsim::PtyFrontEnd>(device, options);
        if (!pty->open(&error)) {
            return fail(kUnavailable, error);
        }
        printLine("pty " + pty->slavePath());
    }
    printLine("ready");
    return app.exec();
}
