#include "cli/SendCommand.h"

#include "cli/CliSession.h"
#include "cli/ExitCodes.h"
#include "cli/RunRecord.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"

#include <QCommandLineParser>
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

void print(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void printText(FILE* stream, const QString& text) {
    print(stream, text.toLocal8Bit());
}

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

struct SendArguments {
    CommonOptions options;
    QStringList texts;
    bool quiet = false;
    bool help = false;
};

SendArguments parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    CommonOptions::addTo(parser);
    parser.addOptions({{{"q", "quiet"}, "No status messages."}, {{"h", "help"}, "Help."}});
    if (!parser.parse(arguments)) {
        throw UsageError(parser.errorText());
    }
    SendArguments parsed;
    parsed.help = parser.isSet("help");
    if (parsed.help) {
        return parsed;
    }
    parsed.options = CommonOptions::from(parser);
    parsed.quiet = parser.isSet("quiet");
    parsed.texts = parser.positionalArguments();
    if (parsed.options.link == CommonOptions::Link::None) {
        throw UsageError(QStringLiteral("say how to reach the controller: --serial, --tcp or "
                                        "--broker"));
    }
    if (parsed.texts.isEmpty()) {
        throw UsageError(QStringLiteral("name at least one command TEXT"));
    }
    return parsed;
}

int sendAll(CliSession& session, const QStringList& texts) {
    LoaderState& s = session.loader.state;
    for (const QString& text : texts) {
        if (!s.ConnectionOpen) {
            printText(stderr, QStringLiteral("velkor-cli send: the connection closed\n"));
            return kExitTempFail;
        }
        // Every command is sent once: a poke must not repeat "RESET" on its own.
        s.AttemptCount = 0;
        s.AttemptLimit = 1;
        const bool answered = session.loader.exchange.SendCommand(unescape(text));
        if (session.interrupted()) {
            return kExitCancelled;
        }
        if (!answered && !session.dialogs.errorsShown().isEmpty()) {
            return kExitUnavailable; // the broker has no such controller; the box said so
        }
        if (!answered) {
            printText(stderr, QStringLiteral("velkor-cli send: no answer to \"%1\"\n").arg(text));
            return kExitTempFail;
        }
        print(stdout, s.AnswerBuffer);
        QJsonObject& extra = runRecord().extra;
        QJsonArray answers = extra.value(QStringLiteral("answers")).toArray();
        answers.append(Cp1251::decode(s.AnswerBuffer));
        extra.insert(QStringLiteral("answers"), answers);
    }
    return kExitOk;
}

// The journal entry of a send: the commands (with \r and \n as typed) and how it ended. Like an
// operation of the window, a run that never opened the connection leaves none.
void journalSend(Loader& loader, const QStringList& texts, int code) {
    QString result = loader.form.Status[3];
    if (code == kExitOk) {
        result = QStringLiteral("ответ получен");
    } else if (code == kExitCancelled) {
        result = UiTexts::cancelledByUser();
    } else if (code == kExitTempFail) {
        result = QStringLiteral("нет ответа");
    }
    try {
        loader.journal.WriteJournal(
            QStringLiteral("Терминал: %1 - %2").arg(texts.join(QLatin1Char(' ')), result));
    } catch (const std::exception& e) {
        printText(
            stderr,
            QStringLiteral("velkor-cli send: %1\n").arg(UiTexts::journalError().arg(errorText(e))));
    }
}

int runSend(const QStringList& arguments) {
    const SendArguments parsed = parse(arguments);
    if (parsed.help) {
        printText(stdout,
                  QString::fromLatin1(kHelp) + QString::fromLatin1(CommonOptions::helpText()));
        return kExitOk;
    }
    CliSession session(parsed.options, parsed.quiet);
    if (!session.beginOperation()) {
        printText(stderr,
                  QStringLiteral("velkor-cli send: %1\n").arg(session.loader.form.Status[3]));
        return session.interrupted() ? kExitCancelled : kExitUnavailable;
    }
    session.setEndWaitOnDisconnect(true);
    const int code = sendAll(session, parsed.texts);
    session.endOperation();
    journalSend(session.loader, parsed.texts, code);
    return code;
}

} // namespace

Subcommand sendSubcommand() {
    return {QStringLiteral("send"), QStringLiteral("send command texts and print the answers"),
            runSend};
}
