#include "cli/StorageCommands.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/FileText.h"
#include "core/LoaderError.h"
#include "core/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <optional>

namespace {

constexpr int kUploadLoginBound = 10;
constexpr qint64 kMaxInitCommandBytes = 64 * 1024;

const char* kStoreHelp =
    "Usage: velkor-cli store CONNECTION FILE (--from-start | --resume PAGE:ADDR:LINE) [OPTIONS]\n"
    "Logs in to the controller's command interpreter and writes the firmware text of FILE into\n"
    "its storage memory piece by piece, each write confirmed by the controller's line counter\n"
    "and position; an unconfirmed write is sent again from the last confirmed position, after a\n"
    "new login (given up after 10 logins in a row without an answer). Then writes the\n"
    "descriptor (length and checksum of the text).\n"
    "  --from-start               start at page 70, address 10, line 0\n"
    "  --resume PAGE:ADDR:LINE    resume an interrupted upload at the position it reported\n"
    "                             (\"Прошивка Num:PAGE Addr:ADDR Str:LINE\")\n"
    "  --password TEXT            the password, when the controller asks for one (without\n"
    "                             it, asked on the terminal when standard input is one)\n"
    "  --verify                   then read the stored text back and compare it with FILE;\n"
    "                             a difference fails the store (before any finalisation)\n"
    "  --finalize                 then have the controller check the stored image, reprogram\n"
    "                             itself and restart (REPROGRAMM W, RESET, VER)\n"
    "  --init-commands FILE       accompanying-initialisation commands, one per line, sent\n"
    "                             after the descriptor (Windows-1251 text)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Waits: --timeout (default 80000) is the wait of every command but the text's writes; the\n"
    "first login asks PASSWORD up to 10 times, so a controller silent from the start ends the\n"
    "store after 10 x --timeout. Each write waits 30 s, the controller's write time. After an\n"
    "unanswered write each login waits --timeout, at most 30 s: a controller that falls\n"
    "silent mid-upload ends the store after 30 s + 10 x min(--timeout, 30 s), with its\n"
    "resume position. --finalize waits up to 2 x 3 min for REPROGRAMM W and 5 x 5 min for\n"
    "VER after the restart.\n"
    "Exit codes: 0 stored (and finalised when asked), 64 usage, 65 the file was refused,\n"
    "69 the connection could not be opened, 74 FILE could not be read, 75 the controller\n"
    "stopped answering or the connection dropped (resume with --resume), 76 access denied or\n"
    "the controller refused (also a failed finalisation), 130 cancelled with Ctrl-C.\n\n";

const char* kReadbackHelp =
    "Usage: velkor-cli readback CONNECTION OUT [OPTIONS]\n"
    "Reads the firmware stored in the controller's storage memory back into the S-record file\n"
    "OUT and checks it against the stored length and checksum. OUT is replaced only when the\n"
    "checksum matched, and only as a whole; the lines of a read-back that did not match go to\n"
    "OUT.partial. With a FIFO as OUT, the read begins once a process reads the FIFO.\n"
    "  --password TEXT            the password, when the controller asks for one (without\n"
    "                             it, asked on the terminal when standard input is one)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 checksum matched and OUT written, 64 usage, 65 checksum mismatch or nothing\n"
    "stored, 69 the connection could not be opened, 74 OUT could not be written, 75 the\n"
    "controller stopped answering, 76 access denied or a refused command, 130 cancelled.\n\n";

// Whether the folder takes a new file: the write of a read-back makes its temporary there
// first. Some folders let everyone write and take no file (/proc).
bool takesNewFile(const QString& folder) {
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".velkor-XXXXXX")));
    return probe.open();
}

// Why OUT could not be written, found before a read-back that may take minutes; empty when
// nothing stands in the way that can be seen beforehand. A symbolic link is judged by the file
// the write ends up in, which a dangling link names too.
QString outputPlaceProblem(const QString& path) {
    if (isSpecialFile(path)) {
        // A FIFO or a device is written into as it is.
        return QFileInfo(path).isWritable()
                   ? QString()
                   : QStringLiteral("cannot write \"%1\": not writable").arg(path);
    }
    const QString target = writeTarget(path);
    if (target.isEmpty()) {
        return QStringLiteral("cannot write \"%1\": its symbolic links go round in a loop")
            .arg(path);
    }
    const QString name = target == path ? QStringLiteral("\"%1\"").arg(path)
                                        : QStringLiteral("\"%1\" (a link to %2)").arg(path, target);
    const QFileInfo out(target);
    if (out.isDir()) {
        return QStringLiteral("%1 is a folder; name a file to write").arg(name);
    }
    if (out.exists() && !out.isWritable()) {
        return QStringLiteral("cannot write %1: not writable").arg(name);
    }
    const QFileInfo folder(out.absolutePath());
    if (!folder.isDir()) {
        return QStringLiteral("cannot write %1: the folder %2 does not exist")
            .arg(name, folder.filePath());
    }
    if (!folder.isWritable()) {
        return QStringLiteral("cannot write %1: the folder %2 is not writable")
            .arg(name, folder.filePath());
    }
    if (!takesNewFile(folder.filePath())) {
        return QStringLiteral("cannot write %1: the folder %2 takes no new file")
            .arg(name, folder.filePath());
    }
    return {};
}

// "PAGE:ADDR:LINE", three whole numbers of 0 to 65535.
ResumePosition parseResume(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    std::uint16_t values[3] = {};
    bool ok = parts.size() == 3;
    for (qsizetype i = 0; ok && i < 3; ++i) {
        const uint value = parts[i].toUInt(&ok);
        ok = ok && value <= 65535;
        values[i] = std::uint16_t(value);
    }
    if (!ok) {
        throw UsageError(QStringLiteral("--resume: \"%1\" is not PAGE:ADDR:LINE (whole numbers "
                                        "of 0 to 65535)")
                             .arg(text));
    }
    return ResumePosition{values[0], values[1], values[2]};
}

struct Parsed : ConnectionBasics {
    QString path;
    std::optional<QString> password;
    // store only
    std::optional<ResumePosition> resume;
    bool finalize = false;
    bool verify = false;
    QString initCommands;
};

QList<QCommandLineOption> optionsOf(bool store) {
    QList<QCommandLineOption> options{{"password", "Password.", "TEXT"}};
    if (store) {
        options.append({{"from-start", "Start at the beginning."},
                        {"resume", "Resume position.", "PAGE:ADDR:LINE"},
                        {"finalize", "Finalise."},
                        {"verify", "Read back and compare."},
                        {"init-commands", "Initialisation commands.", "FILE"}});
    }
    return options;
}

// Where the upload starts, and what follows it.
void readStoreOptions(const ConnectionArguments& read, Parsed& p) {
    if (read.isSet("from-start") == read.isSet("resume")) {
        throw UsageError(QStringLiteral("say where the upload starts: --from-start or --resume "
                                        "PAGE:ADDR:LINE"));
    }
    if (read.isSet("resume")) {
        p.resume = parseResume(read.value("resume"));
    }
    p.finalize = read.isSet("finalize");
    p.verify = read.isSet("verify");
    p.initCommands = read.value("init-commands");
}

Parsed parse(const QStringList& arguments, bool store) {
    const ConnectionArguments read(arguments, optionsOf(store), ConnectionArguments::Dashes::Words);
    auto p = read.start<Parsed>();
    if (p.help) {
        return p;
    }
    if (read.isSet("password")) {
        p.password = read.value("password");
    }
    const QStringList positional = read.positional();
    if (positional.size() != 1 || positional.first().isEmpty()) {
        throw UsageError(store ? QStringLiteral("name exactly one firmware FILE")
                               : QStringLiteral("name exactly one output file OUT"));
    }
    p.path = positional.first();
    read.requireLink();
    if (store) {
        readStoreOptions(read, p);
    }
    return p;
}

// The command lines of FILE. A NUL byte refuses the file: the commands after it would be lost.
// They are a few lines ("SILENCETIME 300"); a file of more than kMaxInitCommandBytes is some
// other file.
QStringList readInitCommands(const QString& path) {
    const QByteArray text = readFileText(path, kMaxInitCommandBytes);
    if (text.endsWith('\0')) {
        throw LoaderError(QStringLiteral("Файл \"%1\" содержит нулевой байт: команды после него "
                                         "были бы потеряны")
                              .arg(path));
    }
    QStringList lines = Cp1251::decode(text).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    return lines;
}

// The interrupted upload's resume position, printed where a script or an engineer sees it.
void reportResume(const CliResult& result) {
    if (result.resume && result.exitCode != kExitUsage) {
        ShellOutput::report(QStringLiteral("store"),
                            QStringLiteral("resume with --resume %1").arg(result.resume->text()));
    }
}

void answerStoreQuestions(CliQuestions& questions, const Parsed& p) {
    Questions::Start start;
    start.fromBeginning = !p.resume.has_value();
    if (p.resume) {
        start.position = *p.resume;
    }
    questions.start = start;
    questions.password_ = p.password;
}

Task<CliResult> runStore(QStringList arguments, RunFlags flags) {
    const Parsed p = parse(arguments, true);
    if (p.help) {
        co_return connectionHelp(kStoreHelp);
    }
    CliSession session(p.options, p.quiet || flags.quiet);
    Procedures& procedures = session.procedures;
    const QString name = QStringLiteral("store");
    QStringList initCommands;
    try {
        if (!p.initCommands.isEmpty()) {
            initCommands = readInitCommands(p.initCommands);
        }
    } catch (const LoaderError& e) {
        if (session.interrupted()) {
            co_return OperationSupport::stoppedBeforeAsking(session.stopSignal(), name);
        }
        ShellOutput::report(name, e.text());
        co_return CliResult::withCode(kExitIoErr, e.text());
    }
    if (auto refused = OperationSupport::selectFirmware(session, name, p.path)) {
        co_return *refused;
    }
    OperationRequest request = OperationSupport::request(session, Operation::Store);
    request.store = {p.finalize, !p.initCommands.isEmpty(), p.verify, initCommands};
    answerStoreQuestions(session.questions, p);
    // A controller that stops answering after the first login is given up after this many
    // logins in a row, and the run ends with its resume position.
    procedures.store.loginAttemptsBound = kUploadLoginBound;
    // Each of those logins waits the answer wait (--timeout), no longer than a write's.
    const LoaderState& state = session.loader.state;
    procedures.store.loginWaitMs =
        std::min(state.AnswerTimeoutMs, session.loader.timings.pageWriteMs);
    session.setEndWaitOnDisconnect(true);
    CliResult result = co_await OperationSupport::runOperation(session, name, request);
    session.endOperation();
    if (result.exitCode == kExitOk) {
        result.output =
            QStringLiteral("stored: %1\n").arg(procedures.store.positionLine()).toLocal8Bit();
    } else if (!procedures.store.errorMessage().isEmpty()) {
        ShellOutput::report(name, procedures.store.errorMessage());
    }
    reportResume(result);
    co_return result;
}

// OUT as the file to open: "-" is standard output, which --json already uses, as does any name
// of what standard output is. A name that is not valid text in the system's encoding cannot be
// kept as it was typed, so it is refused rather than written under another name.
QString outputPath(const QString& out, const RunFlags& flags) {
    if (flags.undecodable.contains(out)) {
        throw UsageError(QStringLiteral("OUT is not valid text in the system's encoding; give a "
                                        "name that is"));
    }
    const QString path = out == QStringLiteral("-") ? QStringLiteral("/dev/stdout") : out;
    if (flags.json && (out == QStringLiteral("-") || ShellOutput::isStandardOutput(path))) {
        throw UsageError(
            QStringLiteral("OUT \"%1\" and --json both want standard output").arg(out));
    }
    return path;
}

// A FIFO as OUT is opened before the read, once a process reads it: the data is not read
// from the controller for nobody, and a stop signal ends the wait. Nothing when a reader came
// (or OUT is no FIFO), else the result of the stopped run.
std::optional<CliResult> awaitFifoReader(ShellPlatform::FifoHold& fifo, const QString& path) {
    const QString name = QStringLiteral("readback");
    const int signal = fifo.open(QFile::encodeName(path).constData(), [&] {
        ShellOutput::report(
            name, QStringLiteral("no process reads the FIFO \"%1\"; waiting for one (Ctrl-C "
                                 "stops)")
                      .arg(path));
    });
    if (signal == 0) {
        return std::nullopt;
    }
    return OperationSupport::stoppedBeforeAsking(signal, name);
}

Task<CliResult> runReadback(QStringList arguments, RunFlags flags) {
    Parsed p = parse(arguments, false);
    if (p.help) {
        co_return connectionHelp(kReadbackHelp);
    }
    // Looked at before the run: a regular OUT is replaced by a new file at its end.
    const bool toStdout = p.path == QStringLiteral("-") || ShellOutput::isStandardOutput(p.path);
    p.path = outputPath(p.path, flags);
    if (const QString problem = outputPlaceProblem(p.path); !problem.isEmpty()) {
        ShellOutput::report(QStringLiteral("readback"), problem);
        co_return CliResult::withCode(kExitIoErr, problem);
    }
    CliSession session(p.options, p.quiet || flags.quiet);
    ShellPlatform::FifoHold fifo;
    if (auto stopped = toStdout ? std::nullopt : awaitFifoReader(fifo, p.path)) {
        co_return *stopped;
    }
    Procedures& procedures = session.procedures;
    session.questions.file = p.path;
    session.questions.password_ = p.password;
    session.setEndWaitOnDisconnect(true);
    CliResult result = co_await OperationSupport::runOperation(session, QStringLiteral("readback"),
                                                               Operation::ReadBack);
    session.endOperation();
    const ReadBackProcedure& readBack = procedures.readBack;
    if (result.file.isEmpty()) {
        result.file = p.path;
    }
    if (!readBack.writtenFile().isEmpty()) {
        const QByteArray line = QStringLiteral("%1: %2 of %3 characters read back\n")
                                    .arg(readBack.writtenFile())
                                    .arg(readBack.taken())
                                    .arg(readBack.descriptor().length)
                                    .toLocal8Bit();
        if (result.exitCode == kExitOk && !toStdout) {
            result.output = line;
        } else {
            ShellOutput::write(stderr, line);
        }
    }
    co_return result;
}

} // namespace

Subcommand storeSubcommand() {
    Subcommand store = Subcommand::ofTask(
        QStringLiteral("store"),
        QStringLiteral("load a firmware file into the controller's storage memory"), runStore);
    store.operands = [](const QStringList& arguments) {
        return QStringList{parse(arguments, true).path};
    };
    store.firmwareOperand = true;
    return store;
}

Subcommand readbackSubcommand() {
    Subcommand readback = Subcommand::ofTask(
        QStringLiteral("readback"),
        QStringLiteral("read the stored firmware back into a file and check it"), runReadback);
    readback.operands = [](const QStringList& arguments) {
        return QStringList{parse(arguments, false).path};
    };
    return readback;
}
