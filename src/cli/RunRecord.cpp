#include "cli/RunRecord.h"

#include "cli/ExitCodes.h"
#include "core/Loader.h"

void RunRecord::takeFrom(const Loader& loader) {
    status = loader.form.Status[3];
    connection = loader.journal.connectionParams();
    if (file.isEmpty()) {
        file = loader.state.FirmwareFilePath;
    }
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
