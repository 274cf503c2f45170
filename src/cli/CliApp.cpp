#include "cli/CliApp.h"

#include "cli/CommonOptions.h"
#include "cli/ExitCodes.h"
#include "cli/Subcommand.h"
#include "cli/UsageError.h"

#include <cstdio>

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

QString CliApp::usage() {
    QString text = QStringLiteral(
        "Usage: velkor-cli SUBCOMMAND [OPTIONS] [ARGUMENTS]\n"
        "Flashes, stores and reads back firmware of LUMET and DORN controllers from a shell.\n\n"
        "Subcommands:\n");
    for (const Subcommand& sub : allSubcommands()) {
        text += QStringLiteral("  %1%2\n").arg(sub.name.leftJustified(12), sub.summary);
    }
    text += QStringLiteral("\n") + QString::fromLatin1(CommonOptions::helpText());
    text +=
        QStringLiteral("\nResults go to standard output, progress and messages to standard error.\n"
                       "'velkor-cli SUBCOMMAND --help' describes one subcommand.\n\n"
                       "Exit codes:\n"
                       "  0    success\n"
                       "  64   usage error (also: a question that no option answered)\n"
                       "  65   the firmware file was refused\n"
                       "  69   the connection could not be opened\n"
                       "  74   a file could not be read or written\n"
                       "  75   the device stopped answering\n"
                       "  76   signature mismatch or refusal by the device\n"
                       "  130  cancelled (Ctrl-C)\n");
    return text;
}

int CliApp::run() {
    if (arguments_.size() < 2) {
        print(stderr, usage());
        return kExitUsage;
    }
    const QString first = arguments_.at(1);
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h") ||
        first == QStringLiteral("help")) {
        print(stdout, usage());
        return kExitOk;
    }
    if (first == QStringLiteral("--version") || first == QStringLiteral("-V")) {
        print(stdout, QStringLiteral("velkor-cli %1\n").arg(QStringLiteral(VELKOR_VERSION)));
        return kExitOk;
    }
    for (const Subcommand& sub : allSubcommands()) {
        if (sub.name == first) {
            try {
                return sub.run(arguments_.mid(1));
            } catch (const UsageError& e) {
                print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(first, e.text()));
                return kExitUsage;
            }
        }
    }
    print(stderr, QStringLiteral("velkor-cli: unknown subcommand \"%1\"; see velkor-cli --help\n")
                      .arg(first));
    return kExitUsage;
}
