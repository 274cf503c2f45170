#include "cli/FirmwareCommands.h"

#include "cli/CliDialogs.h"
#include "cli/ExitCodes.h"
#include "cli/RunRecord.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/DataDir.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/QtRuntime.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FileSelection.h"
#include "firmware/FirmwareImage.h"
#include "firmware/HeaderEditing.h"

#include <cstdio>
#include <optional>

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

struct FileArguments {
    QString file;
    QString dataDir;
    std::optional<QString> setText;
    bool help = false;
};

// FILE, --data-dir DIR and, where allowed, --set TEXT, in any order.
FileArguments parseArguments(const QStringList& arguments, bool allowSet) {
    FileArguments parsed;
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const bool takesValue =
            a == QStringLiteral("--data-dir") || (allowSet && a == QStringLiteral("--set"));
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            parsed.help = true;
        } else if (a == QStringLiteral("--quiet") || a == QStringLiteral("-q")) {
            // Taken by the dispatcher (RunRecord::quiet).
        } else if (takesValue && i + 1 >= arguments.size()) {
            throw UsageError(QStringLiteral("%1 needs a value").arg(a));
        } else if (a == QStringLiteral("--data-dir")) {
            parsed.dataDir = arguments.at(++i);
        } else if (takesValue) {
            parsed.setText = arguments.at(++i);
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            throw UsageError(QStringLiteral("unknown option %1").arg(a));
        } else {
            positional.append(a);
        }
    }
    if (!parsed.help && positional.size() != 1) {
        throw UsageError(QStringLiteral("name exactly one firmware file"));
    }
    parsed.file = positional.value(0);
    return parsed;
}

// A loader whose status messages go to standard error, as the window's status bar would
// show them.
struct FileSession {
    explicit FileSession(const QString& dataDir)
        : loader(runtime, dialogs, DataDir::resolve(dataDir)) {
        if (!runRecord().quiet) {
            loader.onStatus = [](int panel, const QString& text) {
                if (panel == 3) {
                    print(stderr, text + QLatin1Char('\n'));
                }
            };
        }
    }
    ~FileSession() { runRecord().status = loader.form.Status[3]; }
    QtRuntime runtime;
    CliDialogs dialogs;
    Loader loader;
};

int fileError(const QString& command, const LoaderError& e) {
    print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(command, e.text()));
    return kExitIoErr;
}

int refused(const QString& command, const QString& file) {
    print(stderr, QStringLiteral("velkor-cli %1: %2 was refused\n").arg(command, file));
    return kExitDataErr;
}

void recordHeader(const EditControl& header, qsizetype records) {
    QJsonObject& extra = runRecord().extra;
    extra.insert(QStringLiteral("header"), header.text);
    extra.insert(QStringLiteral("headerLine"), header.tag);
    if (records >= 0) {
        extra.insert(QStringLiteral("records"), double(records));
    }
}

int runCheck(const QStringList& arguments) {
    const FileArguments args = parseArguments(arguments, false);
    if (args.help) {
        print(stdout, QStringLiteral("Usage: velkor-cli check [--data-dir DIR] [-q] FILE\n"
                                     "Checks every record of a firmware file. Prints the header "
                                     "text, the index of its line and the number of records.\n"
                                     "Exit 0 for a sound file, 65 for a refused one, 74 when the "
                                     "file cannot be read.\n"));
        return kExitOk;
    }
    runRecord().file = args.file;
    FileSession session(args.dataDir);
    FirmwareImage image;
    try {
        image = FirmwareImage::load(args.file);
    } catch (const LoaderError& e) {
        return fileError(QStringLiteral("check"), e);
    }
    if (!CheckFirmwareLines(session.loader, image)) {
        return refused(QStringLiteral("check"), args.file);
    }
    const EditControl& header = session.loader.form.edtUnitSign;
    recordHeader(header, image.size());
    print(stdout, QStringLiteral("header: %1\nheader-line: %2\nrecords: %3\n")
                      .arg(header.text)
                      .arg(header.tag)
                      .arg(image.size()));
    return kExitOk;
}

// Takes the file as the window does at start-up: into edName, then the reload that checks it.
// Returns an exit code when the file cannot be used.
std::optional<int> chooseFile(Loader& loader, const QString& file) {
    setEdName(loader, file);
    try {
        btnOpenClick(loader, false);
    } catch (const LoaderError& e) {
        return fileError(QStringLiteral("header"), e);
    }
    if (loader.state.FirmwareFilePath.isEmpty()) {
        return refused(QStringLiteral("header"), file);
    }
    return std::nullopt;
}

int runHeader(const QStringList& arguments) {
    const FileArguments args = parseArguments(arguments, true);
    if (args.help) {
        print(stdout,
              QStringLiteral("Usage: velkor-cli header [--data-dir DIR] [-q] FILE [--set TEXT]\n"
                             "Prints the header text of a firmware file, or with --set "
                             "writes TEXT as its header record and prints it as read "
                             "back.\nThe file must pass the integrity check first.\n"));
        return kExitOk;
    }
    if (args.setText && Cp1251::decode(Cp1251::encode(*args.setText)) != *args.setText) {
        throw UsageError(QStringLiteral("--set: the text has characters outside Windows-1251"));
    }
    runRecord().file = args.file;
    FileSession session(args.dataDir);
    Loader& loader = session.loader;
    if (const auto code = chooseFile(loader, args.file)) {
        return *code;
    }
    if (args.setText) {
        btnHeaderEditClick(loader);
        loader.form.edtUnitSign.text = *args.setText;
        try {
            btnHeaderEditClick(loader);
        } catch (const LoaderError& e) {
            return fileError(QStringLiteral("header"), e);
        }
        // Read back what is now in the file.
        if (const auto code = chooseFile(loader, args.file)) {
            return *code;
        }
    }
    recordHeader(loader.form.edtUnitSign, -1);
    print(stdout, loader.form.edtUnitSign.text + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

Subcommand checkSubcommand() {
    return {QStringLiteral("check"), QStringLiteral("check a firmware file's records"), runCheck};
}

Subcommand headerSubcommand() {
    return {QStringLiteral("header"), QStringLiteral("show or set a firmware file's header"),
            runHeader};
}
