#include "cli/StorageCommands.h"

#include "cli/CliSession.h"
#include "cli/ExitCodes.h"
#include "cli/OperationSupport.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/FileText.h"
#include "core/LoaderError.h"
#include "procedures/Procedures.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace {

const char* kStoreHelp =
    "Usage: velkor-cli store CONNECTION FILE (--from-start | --resume PAGE:ADDR:LINE) [OPTIONS]\n"
    "Logs in to the controller's command interpreter and writes the firmware text of FILE into\n"
    "its storage memory piece by piece, each write confirmed by the controller; an unconfirmed\n"
    "write is sent again from the last confirmed position. Then writes the descriptor (length\n"
    "and checksum of the text).\n"
    "  --from-start               start at page 70, address 10, line 0\n"
    "  --resume PAGE:ADDR:LINE    resume an interrupted upload at the position it reported\n"
    "                             (\"Прошивка Num:PAGE Addr:ADDR Str:LINE\")\n"
    "  --password TEXT            the password, when the controller asks for one (without\n"
    "                             it, asked on the terminal when standard input is one)\n"
    "  --finalize                 then have the controller check the stored image, reprogram\n"
    "                             itself and restart (REPROGRAMM W, RESET, VER)\n"
    "  --init-commands FILE       accompanying-initialisation commands, one per line, sent\n"
    "                             after the descriptor (Windows-1251 text)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 stored (and finalised when asked), 64 usage, 65 the file was refused,\n"
    "69 the connection could not be opened, 74 FILE could not be read, 75 the controller\n"
    "stopped answering or the connection dropped (resume with --resume), 76 access denied or\n"
    "the controller refused (also a failed finalisation), 130 cancelled with Ctrl-C.\n\n";

const char* kReadbackHelp =
    "Usage: velkor-cli readback CONNECTION OUT [OPTIONS]\n"
    "Reads the firmware stored in the controller's storage memory back into the S-record file\n"
    "OUT and checks it against the stored length and checksum. OUT is replaced only when the\n"
    "checksum matched, and only as a whole; the lines of a read-back that did not match go to\n"
    "OUT.partial.\n"
    "  --password TEXT            the password, when the controller asks for one (without\n"
    "                             it, asked on the terminal when standard input is one)\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 checksum matched and OUT written, 64 usage, 65 checksum mismatch or nothing\n"
    "stored, 69 the connection could not be opened, 74 OUT could not be written, 75 the\n"
    "controller stopped answering, 76 access denied or a refused command, 130 cancelled.\n\n";

const QString kStartQuestion = QStringLiteral("Загрузка прошивки с начального адреса?");
const QString kPasswordCaption = QStringLiteral("Прибор блокирован");

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Why OUT could not be written, found before a read-back that may take minutes; empty when
// nothing stands in the way that can be seen beforehand.
QString outputPlaceProblem(const QString& path) {
    const QFileInfo out(path);
    if (out.isDir()) {
        return QStringLiteral("\"%1\" is a folder; name a file to write").arg(path);
    }
    const QFileInfo folder(out.absolutePath());
    if (!folder.isDir()) {
        return QStringLiteral("cannot write \"%1\": the folder %2 does not exist")
            .arg(path, folder.filePath());
    }
    if (!folder.isWritable()) {
        return QStringLiteral("cannot write \"%1\": the folder %2 is not writable")
            .arg(path, folder.filePath());
    }
    return {};
}

struct Parsed {
    CommonOptions options;
    QString path;
    bool help = false;
    bool quiet = false;
    std::optional<QString> password;
    // store only
    std::optional<QStringList> resume; // page, address, line
    bool finalize = false;
    QString initCommands;
};

Parsed parse(const QStringList& arguments, bool store) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    CommonOptions::addTo(parser);
    parser.addOptions({{{"q", "quiet"}, "No status messages."},
                       {{"h", "help"}, "Help."},
                       {"password", "Password.", "TEXT"}});
    if (store) {
        parser.addOptions({{"from-start", "Start at the beginning."},
                           {"resume", "Resume position.", "PAGE:ADDR:LINE"},
                           {"finalize", "Finalise."},
                           {"init-commands", "Initialisation commands.", "FILE"}});
    }
    if (!parser.parse(arguments)) {
        throw UsageError(parser.errorText());
    }
    Parsed p;
    p.help = parser.isSet("help");
    if (p.help) {
        return p;
    }
    p.options = CommonOptions::from(parser);
    p.quiet = parser.isSet("quiet");
    if (parser.isSet("password")) {
        p.password = parser.value("password");
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        throw UsageError(store ? QStringLiteral("name exactly one firmware FILE")
                               : QStringLiteral("name exactly one output file OUT"));
    }
    p.path = positional.first();
    if (p.options.link == CommonOptions::Link::None) {
        throw UsageError(QStringLiteral("say how to reach the controller: --serial, --tcp or "
                                        "--broker"));
    }
    if (!store) {
        return p;
    }
    if (parser.isSet("from-start") == parser.isSet("resume")) {
        throw UsageError(QStringLiteral("say where the upload starts: --from-start or --resume "
                                        "PAGE:ADDR:LINE"));
    }
    if (parser.isSet("resume")) {
        const QStringList parts = parser.value("resume").split(QLatin1Char(':'));
        bool ok = parts.size() == 3;
        for (const QString& part : parts) {
            bool number = false;
            const uint value = part.toUInt(&number);
            ok = ok && number && value <= 65535;
        }
        if (!ok) {
            throw UsageError(QStringLiteral("--resume: \"%1\" is not PAGE:ADDR:LINE (whole "
                                            "numbers of 0 to 65535)")
                                 .arg(parser.value("resume")));
        }
        p.resume = parts;
    }
    p.finalize = parser.isSet("finalize");
    p.initCommands = parser.value("init-commands");
    return p;
}

QStringList readInitCommands(const QString& path) {
    QStringList lines = Cp1251::decode(readFileText(path)).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    return lines;
}

// The end of a run that never reached its procedure, or that a question without its option
// stopped.
std::optional<int> endBeforeOutcome(CliSession& session, bool started) {
    if (!session.dialogs.missingAnswer().isEmpty()) {
        return kExitUsage;
    }
    if (started) {
        return std::nullopt;
    }
    if (session.interrupted()) {
        return kExitCancelled;
    }
    const bool store = session.loader.state.OperationMode == kModeStore;
    OperationSupport::report(store ? QStringLiteral("store") : QStringLiteral("readback"),
                             session.loader.form.Status[3]);
    return kExitUnavailable;
}

int storeExitCode(StorageLoadProcedure::Outcome outcome) {
    using O = StorageLoadProcedure::Outcome;
    switch (outcome) {
    case O::Completed:
        return kExitOk;
    case O::FileRefused:
    case O::NoSignature:
        return kExitDataErr;
    case O::AccessDenied:
    case O::Refused:
    case O::FinalisationFailed:
        return kExitProtocol;
    case O::Cancelled:
        return kExitCancelled;
    case O::None:
    case O::NoAnswer:
    case O::LinkLost:
    case O::Error:
        break;
    }
    return kExitTempFail;
}

int readbackExitCode(ReadBackProcedure::Outcome outcome) {
    using O = ReadBackProcedure::Outcome;
    switch (outcome) {
    case O::Completed:
        return kExitOk;
    case O::ChecksumMismatch:
    case O::NothingStored:
        return kExitDataErr;
    case O::AccessDenied:
    case O::None: // a descriptor that is not hexadecimal
        return kExitProtocol;
    case O::NoFileChosen:
        return kExitUsage;
    case O::Cancelled:
        return kExitCancelled;
    case O::FileError:
        return kExitIoErr;
    case O::NoAnswer:
    case O::LinkLost:
        break;
    }
    return kExitTempFail;
}

void reportStore(const CliSession& session, const StorageLoadProcedure& store, int code) {
    const LoaderState& s = session.loader.state;
    if (code == kExitOk) {
        print(stdout, QStringLiteral("stored: %1\n").arg(session.loader.form.Panel3.caption));
    } else if (!store.errorMessage().isEmpty()) {
        print(stderr, QStringLiteral("velkor-cli store: %1\n").arg(store.errorMessage()));
    }
    if (code == kExitTempFail || code == kExitCancelled) {
        print(stderr, QStringLiteral("velkor-cli store: resume with --resume %1:%2:%3\n")
                          .arg(s.StartPage)
                          .arg(s.PageAddr)
                          .arg(s.LastLoadedLine));
    }
}

int runStore(const QStringList& arguments) {
    const Parsed p = parse(arguments, true);
    if (p.help) {
        print(stdout,
              QString::fromLatin1(kStoreHelp) + QString::fromLatin1(CommonOptions::helpText()));
        return kExitOk;
    }
    CliSession session(p.options, p.quiet);
    Procedures procedures(session.loader);
    QStringList initCommands;
    try {
        if (!p.initCommands.isEmpty()) {
            initCommands = readInitCommands(p.initCommands);
        }
        if (!OperationSupport::selectFirmware(session.loader, p.path)) {
            OperationSupport::report(QStringLiteral("store"), session.loader.form.Status[3]);
            return kExitDataErr;
        }
    } catch (const LoaderError& e) {
        OperationSupport::report(QStringLiteral("store"), e.text());
        return kExitIoErr;
    }
    FormModel& f = session.loader.form;
    f.cbFinalization.checked = p.finalize;
    f.cbDopInitCmd.checked = !p.initCommands.isEmpty();
    f.DopCmdMemo = initCommands;
    const QString where = QStringLiteral("--from-start or --resume");
    session.dialogs.setConfirm(kStartQuestion, where, !p.resume.has_value());
    if (p.resume) {
        session.dialogs.setInput(QStringLiteral("Начальная страница"), where, p.resume->at(0));
        session.dialogs.setInput(QStringLiteral("Адрес на странице"), where, p.resume->at(1));
        session.dialogs.setInput(QStringLiteral("Последняя загруженная строка"), where,
                                 p.resume->at(2));
    }
    session.dialogs.setInput(kPasswordCaption, QStringLiteral("--password"), p.password, true);
    StorageLoadProcedure& store = procedures.store;
    session.setEndWaitOnDisconnect(true);
    const bool started = OperationSupport::runOperation(session, kModeStore);
    session.endOperation();
    if (const auto code = endBeforeOutcome(session, started)) {
        return *code;
    }
    const int code = session.interrupted() ? kExitCancelled : storeExitCode(store.outcome());
    reportStore(session, store, code);
    return code;
}

int runReadback(const QStringList& arguments) {
    const Parsed p = parse(arguments, false);
    if (p.help) {
        print(stdout,
              QString::fromLatin1(kReadbackHelp) + QString::fromLatin1(CommonOptions::helpText()));
        return kExitOk;
    }
    if (const QString problem = outputPlaceProblem(p.path); !problem.isEmpty()) {
        print(stderr, QStringLiteral("velkor-cli readback: %1\n").arg(problem));
        return kExitIoErr;
    }
    CliSession session(p.options, p.quiet);
    Procedures procedures(session.loader);
    session.dialogs.setFile(QStringLiteral("OUT"), p.path);
    session.dialogs.setInput(kPasswordCaption, QStringLiteral("--password"), p.password, true);
    ReadBackProcedure& readBack = procedures.readBack;
    session.setEndWaitOnDisconnect(true);
    const bool started = OperationSupport::runOperation(session, kModeReadBack);
    session.endOperation();
    if (const auto code = endBeforeOutcome(session, started)) {
        return *code;
    }
    const int code = session.interrupted() ? kExitCancelled : readbackExitCode(readBack.outcome());
    if (!readBack.writtenFile().isEmpty()) {
        print(code == kExitOk ? stdout : stderr,
              QStringLiteral("%1: %2 of %3 characters read back\n")
                  .arg(readBack.writtenFile())
                  .arg(readBack.taken())
                  .arg(readBack.descriptor().length));
    }
    return code;
}

} // namespace

Subcommand storeSubcommand() {
    return {QStringLiteral("store"),
            QStringLiteral("load a firmware file into the controller's storage memory"), runStore};
}

Subcommand readbackSubcommand() {
    return {QStringLiteral("readback"),
            QStringLiteral("read the stored firmware back into a file and check it"), runReadback};
}
