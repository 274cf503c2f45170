#include "cli/RunRecord.h"

#include "cli/ExitCodes.h"
#include "core/Loader.h"

void RunRecord::takeFrom(const Loader& loader) {
    status = loader.form.Status[3];
    connection = loader.journal.connectionParams();
    if (file.isEmpty()) {
        // The firmware file of a flash or a store; the file a read-back wrote to.
        file = loader.state.FirmwareFilePath.isEmpty() ? loader.form.OpenDialog1.fileName
                                                       : loader.state.FirmwareFilePath;
    }
}

int RunRecord::finalCode(int code) const {
    return controllerMissing && code != kExitOk && code != kExitUsage ? int(kExitUnavailable)
                                                                      : code;
}

QJsonObject RunRecord::toJson(int exitCode) const {
    QJsonObject o = extra;
    o.insert(QStringLiteral("subcommand"), subcommand);
    o.insert(QStringLiteral("outcome"), exitCodeName(exitCode));
    o.insert(QStringLiteral("exitCode"), exitCode);
    o.insert(QStringLiteral("status"), status);
    o.insert(QStringLiteral("elapsedMs"), clock.isValid() ? double(clock.elapsed()) : 0.0);
    o.insert(QStringLiteral("file"), file);
    o.insert(QStringLiteral("connection"), connection);
    return o;
}

RunRecord& runRecord() {
    static RunRecord record;
    return record;
}
