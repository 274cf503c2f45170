#include "cli/OperationSupport.h"

#include "cli/CliSession.h"
#include "cli/ExitCodes.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"
#include "core/FileText.h"
#include "firmware/FileSelection.h"

#include <QFileInfo>
#include <cstdio>

std::optional<CliResult> OperationSupport::selectFirmware(CliSession& session,
                                                          const QString& subcommand,
                                                          const QString& path) {
    Loader& loader = session.loader;
    std::optional<FirmwareVerdict> checked;
    try {
        checked = chooseFirmware(loader, QFileInfo(path).absoluteFilePath());
    } catch (const FileTooLargeError& e) {
        ShellOutput::report(subcommand, e.text());
        return CliResult::withCode(kExitDataErr, e.text()); // refused, as the help says
    } catch (const LoaderError& e) {
        if (session.interrupted()) {
            return stoppedBeforeAsking(session.stopSignal(), subcommand);
        }
        ShellOutput::report(subcommand, e.text());
        return CliResult::withCode(kExitIoErr, e.text());
    }
    if (loader.state.FirmwareFilePath.isEmpty()) {
        const QString status = checked ? checked->finalStatus() : QString();
        ShellOutput::report(subcommand, status);
        CliResult refused = CliResult::withCode(kExitDataErr, status);
        refused.file = QFileInfo(path).absoluteFilePath();
        return refused;
    }
    session.firmwareHeader = checked->header;
    return std::nullopt;
}

OperationRequest OperationSupport::request(CliSession& session, Operation operation) {
    const Loader& loader = session.loader;
    OperationRequest request;
    request.operation = operation;
    request.link = session.link;
    request.firmwarePath = loader.state.FirmwareFilePath;
    request.header = session.firmwareHeader;
    request.waitForController = loader.choices.waitForController;
    return request;
}

Task<CliResult> OperationSupport::runOperation(CliSession& session, QString subcommand,
                                               Operation operation) {
    co_return co_await runOperation(session, subcommand, request(session, operation));
}

Task<CliResult> OperationSupport::runOperation(CliSession& session, QString subcommand,
                                               OperationRequest request) {
    Loader& loader = session.loader;
    co_await loader.driver.run(request);
    const OperationResult& ended = loader.driver.lastResult();
    CliResult result = CliResult::ofOperation(ended, loader);
    if (const QString& missing = session.questions.missingAnswer(); !missing.isEmpty()) {
        ShellOutput::report(subcommand, missing);
        result.exitCode = kExitUsage;
        result.outcome = exitCodeName(kExitUsage);
        result.reason = missing;
    } else if (ended.outcome == Outcome::ConnectionFailed) {
        ShellOutput::report(subcommand, ended.text);
    } else if (!ended.succeeded() && session.interrupted()) {
        // Cancelled, or ended by what the signal cut short (a write into a stalled FIFO).
        result.exitCode = session.interruptedExitCode(); // 130, 143 or 129
    }
    co_return result;
}

CliResult OperationSupport::stoppedBeforeAsking(int signal, const QString& subcommand) {
    const QString stopped = QStringLiteral("stopped by %1 before the controller was asked")
                                .arg(QLatin1String(ShellPlatform::signalName(signal)));
    ShellOutput::report(subcommand, stopped);
    CliResult result = CliResult::withCode(ShellPlatform::exitCodeForSignal(signal), stopped);
    result.noJournalEntry = stopped + QStringLiteral(": nothing was done to journal");
    return result;
}
