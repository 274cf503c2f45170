#include "cli/SendCommand.h"

#include "cli/CliSession.h"
#include "cli/ConnectionArguments.h"
#include "cli/FleetChannel.h"
#include "cli/OperationSupport.h"
#include "cli/ShellOutput.h"
#include "cli/UsageError.h"
#include "connections/BrokerFrame.h"
#include "core/Cp1251.h"
#include "core/OutcomeText.h"

#include <QJsonArray>
#include <algorithm>
#include <limits>

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

// Why the run stopped at a command, in the shell's words, on standard error.
void reportStop(const OperationResult& operation, const QStringList& texts) {
    const qsizetype at = operation.answers.size();
    const QString text = at < texts.size() ? texts.at(at) : QString();
    QString message;
    switch (operation.outcome) {
    case Outcome::NoAnswer:
        message = QStringLiteral("no answer to \"%1\"").arg(text);
        break;
    case Outcome::Damaged:
        message = QStringLiteral("the answer to \"%1\" failed its CRC check").arg(text);
        break;
    case Outcome::LinkLost:
        message = QStringLiteral("the connection closed");
        break;
    case Outcome::Flooded:
    case Outcome::Error:
        message = OutcomeText::cause(operation.outcome, operation.reason, QString());
        break;
    default:
        return;
    }
    ShellOutput::report(QStringLiteral("send"), message);
}

// The answers as they came, on standard output and in "answers". A fleet member keeps of its
// answers no more than of its output (answersDropped counts the rest): eighty members must not
// each hold megabytes twice over, as text and as JSON.
void keepAnswers(const OperationResult& operation, CliResult& result) {
    result.output = operation.output;
    const bool member = FleetChannel::current() != nullptr;
    qint64 room = member ? FleetChannel::kMaxOutput : std::numeric_limits<qint64>::max();
    qint64 dropped = 0;
    QJsonArray answers;
    for (const QByteArray& answer : operation.answers) {
        const qint64 kept = std::min<qint64>(room, answer.size());
        answers.append(Cp1251::decode(answer.left(qsizetype(kept))));
        dropped += answer.size() - kept;
        room -= kept;
    }
    result.extra.insert(QStringLiteral("answers"), answers);
    if (dropped > 0) {
        result.extra.insert(QStringLiteral("answersDropped"), double(dropped));
    }
}

Task<CliResult> runSend(QStringList arguments, RunFlags flags) {
    const SendArguments parsed = parse(arguments);
    if (parsed.help) {
        co_return connectionHelp(kHelp);
    }
    refuseOversizedCommands(parsed);
    CliSession session(parsed.options, parsed.quiet || flags.quiet);
    session.setEndWaitOnDisconnect(true);
    OperationRequest request = OperationSupport::request(session, Operation::Send);
    for (const QString& text : parsed.texts) {
        request.commands.append(unescape(text));
    }
    CliResult result =
        co_await OperationSupport::runOperation(session, QStringLiteral("send"), request);
    session.endOperation();
    keepAnswers(session.loader.driver.lastResult(), result);
    reportStop(session.loader.driver.lastResult(), parsed.texts);
    co_return result;
}

} // namespace

Subcommand sendSubcommand() {
    Subcommand send =
        Subcommand::ofTask(QStringLiteral("send"),
                           QStringLiteral("send command texts and print the answers"), runSend);
    send.operands = [](const QStringList& arguments) { return parse(arguments).texts; };
    return send;
}
