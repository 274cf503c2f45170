#include "cli/SendCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/ExitCodes.h"
#include "cli/ShellOutput.h"
#include "cli/UsageError.h"
#include "connections/BrokerFrame.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"
#include "core/OutcomeText.h"

#include <QJsonArray>
#include <cstdio>

namespace {

const char* kHelp =
    "Usage: velkor-cli send CONNECTION [OPTIONS] TEXT...\n"
    "Opens the connection and sends each TEXT as one command, exactly as given (no line end\n"
    "is added: write \\r for a carriage return, \\n for a line feed, \\\\ for a backslash).\n"
    "Each command is sent once and its answer (data followed by 30 ms of silence) is printed\n"
    "to standard output as the bytes came. Stops at the first command without an answer.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 every command answered, 69 the connection could not be opened (or the\n"
    "broker has no controller with that id),\n"
    "75 a command got no answer (or the connection dropped), 130 cancelled with Ctrl-C.\n"
    "With --json the answers are in \"answers\". Each run that opened the connection writes\n"
    "a journal entry with the commands sent.\n\n";

QByteArray unescape(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == QLatin1Char('\\') && (next == 'r' || next == 'n' || next == '\\')) {
            out += next == 'r' ? QChar('\r') : next == 'n' ? QChar('\n') : QChar('\\');
            ++i;
        } else {
            out += c;
        }
    }
    return Cp1251::encode(out);
}

struct SendArguments : ConnectionBasics {
    QStringList texts;
};

SendArguments parse(const QStringList& arguments) {
    const ConnectionArguments read(arguments, {}, ConnectionArguments::Dashes::Words);
    auto parsed = read.start<SendArguments>();
    if (parsed.help) {
        return parsed;
    }
    parsed.texts = read.positional();
    read.requireLink();
    if (parsed.texts.isEmpty()) {
        throw UsageError(QStringLiteral("name at least one command TEXT"));
    }
    return parsed;
}

// Why a command got no usable answer, as an exit code; 0 when it was answered whole.
int unanswered(CliSession& session, const QString& text, bool answered) {
    const LoaderState& s = session.loader.state;
    if (session.interrupted()) {
        return session.interruptedExitCode();
    }
    if (s.ControllerNotFound) {
        return kExitUnavailable; // the broker has no such controller; its box said so
    }
    if (!answered) {
        ShellOutput::print(stderr,
                           QStringLiteral("velkor-cli send: no answer to \"%1\"\n").arg(text));
        return kExitTempFail;
    }
    // A damaged frame beside a whole one (garbage that looked like a frame) spoils nothing.
    if (s.AnswerDamaged && s.AnswerBuffer.isEmpty()) {
        ShellOutput::print(
            stderr, QStringLiteral("velkor-cli send: the answer to \"%1\" failed its CRC check\n")
                        .arg(text));
        return kExitTempFail;
    }
    return kExitOk;
}

int sendOne(CliSession& session, const QString& text, CliResult& result) {
    LoaderState& s = session.loader.state;
    // Every command is sent once: a poke must not repeat "RESET" on its own.
    s.AttemptCount = 0;
    s.AttemptLimit = 1;
    bool answered = false;
    try {
        answered = session.loader.exchange.SendCommand(unescape(text));
    } catch (const LoaderError& e) {
        ShellOutput::print(stderr, QStringLiteral("velkor-cli send: %1\n").arg(e.text()));
        return kExitTempFail;
    }
    // A damaged frame's bytes are shown as they came, marked "bad CRC", though never judged.
    result.output += s.DamagedText;
    if (const int code = unanswered(session, text, answered); code != kExitOk) {
        return code;
    }
    result.output += s.AnswerBuffer;
    QJsonArray answers = result.extra.value(QStringLiteral("answers")).toArray();
    answers.append(Cp1251::decode(s.AnswerBuffer));
    result.extra.insert(QStringLiteral("answers"), answers);
    return kExitOk;
}

int sendAll(CliSession& session, const QStringList& texts, CliResult& result) {
    for (const QString& text : texts) {
        if (!session.loader.state.ConnectionOpen) {
            ShellOutput::print(stderr, QStringLiteral("velkor-cli send: the connection closed\n"));
            return kExitTempFail;
        }
        if (const int code = sendOne(session, text, result); code != kExitOk) {
            return code;
        }
    }
    return kExitOk;
}

// The journal entry of a send: the commands (with \r and \n as typed) and how it ended. Like an
// operation of the window, a run that never opened the connection leaves none.
void journalSend(CliSession& session, const QStringList& texts, CliResult& result) {
    Loader& loader = session.loader;
    QString ending = QStringLiteral("нет ответа");
    if (result.exitCode == kExitOk) {
        ending = QStringLiteral("ответ получен");
    } else if (session.interrupted()) {
        ending = UiTexts::cancelledByUser();
    } else if (loader.state.ControllerNotFound) {
        ending = QStringLiteral("контроллер ID %1 не найден брокером")
                     .arg(loader.form.HARDWARE_IDEdt.wholeValue());
    } else if (loader.state.Flooded) {
        ending = OutcomeText::cause(Outcome::Flooded, {}, {});
        result.outcome = OutcomeText::word(Outcome::Flooded);
    } else if (loader.state.AnswerDamaged && loader.state.AnswerBuffer.isEmpty()) {
        ending = QStringLiteral("ответ повреждён (ошибка CRC)");
    }
    result.status = QStringLiteral("Терминал: %1 - %2").arg(texts.join(QLatin1Char(' ')), ending);
    try {
        loader.journal.WriteJournal(result.status);
        result.setJournal(loader, true, QString());
    } catch (const std::exception& e) {
        result.setJournal(loader, false, errorText(e));
        ShellOutput::print(
            stderr,
            QStringLiteral("velkor-cli send: %1\n").arg(UiTexts::journalError().arg(errorText(e))));
    }
}

// A command the broker cannot carry in one frame is refused before anything is opened.
void refuseOversizedCommands(const SendArguments& parsed) {
    if (parsed.options.link != CommonOptions::Link::Broker) {
        return;
    }
    for (const QString& text : parsed.texts) {
        if (unescape(text).size() > BrokerFrame::kMaxSentPayload) {
            throw UsageError(QStringLiteral("\"%1...\" is longer than a broker frame carries (%2 "
                                            "bytes)")
                                 .arg(text.left(20))
                                 .arg(BrokerFrame::kMaxSentPayload));
        }
    }
}

CliResult runSend(const QStringList& arguments, const RunFlags& flags) {
    const SendArguments parsed = parse(arguments);
    if (parsed.help) {
        return connectionHelp(kHelp);
    }
    refuseOversizedCommands(parsed);
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    CliResult result;
    result.connection = session.loader.journal.connectionParams();
    if (!session.beginOperation()) {
        const QString status = session.loader.form.Status[3];
        ShellOutput::print(stderr, QStringLiteral("velkor-cli send: %1\n").arg(status));
        result.exitCode = session.interrupted() ? session.interruptedExitCode() : kExitUnavailable;
        result.status = status;
        return result;
    }
    session.setEndWaitOnDisconnect(true);
    result.exitCode = sendAll(session, parsed.texts, result);
    session.endOperation();
    journalSend(session, parsed.texts, result);
    return result;
}

} // namespace

Subcommand sendSubcommand() {
    return {QStringLiteral("send"), QStringLiteral("send command texts and print the answers"),
            runSend};
}
