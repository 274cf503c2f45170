#include "cli/FirmwareCommands.h"

#include "cli/CliDialogs.h"
#include "cli/ExitCodes.h"
#include "cli/ShellOutput.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/DataDir.h"
#include "core/FileText.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FileSelection.h"
#include "firmware/FirmwareImage.h"
#include "firmware/WriteHeaderRecord.h"
#include "platform/QtRuntime.h"

#include <cstdio>
#include <optional>

namespace {

struct FileArguments {
    QString file;
    QString dataDir;
    std::optional<QString> setText;
    bool help = false;
};

// FILE, --data-dir DIR and, where allowed, --set TEXT, in any order; after "--" every argument
// is a file name, also one that begins with a dash.
FileArguments parseArguments(const QStringList& arguments, bool allowSet) {
    FileArguments parsed;
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const bool takesValue =
            a == QStringLiteral("--data-dir") || (allowSet && a == QStringLiteral("--set"));
        if (a == QStringLiteral("--")) {
            positional += arguments.mid(i + 1);
            break;
        }
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            parsed.help = true;
        } else if (a == QStringLiteral("--quiet") || a == QStringLiteral("-q")) {
            // Taken by the dispatcher (RunFlags::quiet).
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
    FileSession(const QString& dataDir, bool quiet)
        : loader(runtime, dialogs, DataDir::resolve(dataDir)) {
        if (!quiet) {
            loader.onStatus = [](int panel, const QString& text) {
                if (panel == 3) {
                    ShellOutput::print(stderr, text + QLatin1Char('\n'));
                }
            };
        }
    }
    QtRuntime runtime;
    CliDialogs dialogs;
    Loader loader;
};

// A file that cannot be read (74), or one refused for its size (65).
CliResult fileError(const QString& command, const QString& file, const LoaderError& e) {
    ShellOutput::print(stderr, QStringLiteral("velkor-cli %1: %2\n").arg(command, e.text()));
    const bool tooLarge = dynamic_cast<const FileTooLargeError*>(&e) != nullptr;
    CliResult result = CliResult::withCode(tooLarge ? kExitDataErr : kExitIoErr, e.text());
    result.file = file;
    return result;
}

CliResult refused(const QString& command, const QString& file, const QString& status) {
    ShellOutput::print(stderr,
                       QStringLiteral("velkor-cli %1: %2 was refused\n").arg(command, file));
    CliResult result = CliResult::withCode(kExitDataErr, status);
    result.file = file;
    return result;
}

CliResult headerResult(const QString& file, const QString& status, const QString& header,
                       qsizetype headerLine) {
    CliResult result = CliResult::withCode(kExitOk, status);
    result.file = file;
    result.extra.insert(QStringLiteral("header"), header);
    result.extra.insert(QStringLiteral("headerLine"), double(headerLine));
    return result;
}

CliResult helpResult(const QString& text) {
    CliResult help;
    help.output = text.toLocal8Bit();
    return help;
}

CliResult runCheck(const QStringList& arguments, const RunFlags& flags) {
    const FileArguments args = parseArguments(arguments, false);
    if (args.help) {
        return helpResult(QStringLiteral("Usage: velkor-cli check [--data-dir DIR] [-q] FILE\n"
                                         "Checks every record of a firmware file. Prints the "
                                         "header text, the index of its line and the number of "
                                         "records.\nExit 0 for a sound file, 65 for a refused "
                                         "one, 74 when the file cannot be read.\n"));
    }
    // The data folder is made as for every other subcommand, though the check writes nothing.
    DataDir::resolve(args.dataDir);
    FirmwareImage image;
    try {
        image = FirmwareImage::load(args.file);
    } catch (const LoaderError& e) {
        return fileError(QStringLiteral("check"), args.file, e);
    }
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    if (!flags.quiet) {
        for (const QString& text : verdict.statusTexts()) {
            ShellOutput::print(stderr, text + QLatin1Char('\n'));
        }
    }
    if (!verdict.sound()) {
        return refused(QStringLiteral("check"), args.file, verdict.finalStatus());
    }
    CliResult result =
        headerResult(args.file, verdict.finalStatus(), verdict.header, verdict.headerLine);
    result.extra.insert(QStringLiteral("records"), double(image.size()));
    result.output = QStringLiteral("header: %1\nheader-line: %2\nrecords: %3\n")
                        .arg(verdict.header)
                        .arg(verdict.headerLine)
                        .arg(image.size())
                        .toLocal8Bit();
    return result;
}

// Takes the file as the next operation's firmware, checked. Returns the result of a file that
// cannot be used; `checked` gets the check's verdict.
std::optional<CliResult> chooseFile(Loader& loader, const QString& file, FirmwareVerdict& checked) {
    try {
        checked = chooseFirmware(loader, file);
    } catch (const LoaderError& e) {
        return fileError(QStringLiteral("header"), file, e);
    }
    if (loader.state.FirmwareFilePath.isEmpty()) {
        return refused(QStringLiteral("header"), file, checked.finalStatus());
    }
    return std::nullopt;
}

// Writes TEXT as the header record where the check found the header, then reads back what is
// now in the file.
std::optional<CliResult> setHeader(Loader& loader, const QString& file, const QString& text,
                                   FirmwareVerdict& checked) {
    try {
        FirmwareImage image = FirmwareImage::load(file);
        WriteHeaderRecord(text, checked.headerLine, image);
        image.save(file);
    } catch (const LoaderError& e) {
        return fileError(QStringLiteral("header"), file, e);
    }
    return chooseFile(loader, file, checked);
}

CliResult runHeader(const QStringList& arguments, const RunFlags& flags) {
    const FileArguments args = parseArguments(arguments, true);
    if (args.help) {
        return helpResult(
            QStringLiteral("Usage: velkor-cli header [--data-dir DIR] [-q] FILE [--set TEXT]\n"
                           "Prints the header text of a firmware file, or with --set writes TEXT "
                           "as its header record and prints it as read back.\nThe file must "
                           "pass the integrity check first.\n"));
    }
    if (args.setText && Cp1251::decode(Cp1251::encode(*args.setText)) != *args.setText) {
        throw UsageError(QStringLiteral("--set: the text has characters outside Windows-1251"));
    }
    FileSession session(args.dataDir, flags.quiet);
    Loader& loader = session.loader;
    FirmwareVerdict checked;
    if (auto failed = chooseFile(loader, args.file, checked)) {
        return *failed;
    }
    if (args.setText) {
        if (auto failed = setHeader(loader, args.file, *args.setText, checked)) {
            return *failed;
        }
    }
    CliResult result =
        headerResult(args.file, checked.finalStatus(), checked.header, checked.headerLine);
    result.output = (checked.header + QLatin1Char('\n')).toLocal8Bit();
    return result;
}

} // namespace

Subcommand checkSubcommand() {
    return {QStringLiteral("check"), QStringLiteral("check a firmware file's records"), runCheck};
}

Subcommand headerSubcommand() {
    return {QStringLiteral("header"), QStringLiteral("show or set a firmware file's header"),
            runHeader};
}
