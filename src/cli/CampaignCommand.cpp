#include "cli/CampaignCommand.h"

#include "cli/CampaignDatabase.h"
#include "cli/CampaignImport.h"
#include "cli/ExitCodes.h"
#include "cli/ShellOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>

namespace {

struct Request {
    QString action;
    QString url;
    QString file; // import's campaign file
    bool json = false;
    qint64 after = 0; // events: only those after this sequence number
};

int usageError(const QString& text) {
    ShellOutput::print(stderr, QStringLiteral("velkor-cli campaign: %1\n").arg(text));
    return kExitUsage;
}

int failure(const QString& text, int code = kExitUnavailable) {
    ShellOutput::print(stderr, QStringLiteral("velkor-cli campaign: %1\n").arg(text));
    return code;
}

std::optional<Request> parse(const QStringList& arguments, QString& error) {
    Request request;
    QStringList operands;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QStringLiteral("--json")) {
            request.json = true;
        } else if (a == QStringLiteral("--after") && i + 1 < arguments.size()) {
            bool ok = false;
            request.after = arguments.at(++i).toLongLong(&ok);
            if (!ok || request.after < 0) {
                error = QStringLiteral("--after takes the sequence number of an event");
                return std::nullopt;
            }
        } else if (a == QStringLiteral("--campaign") && i + 1 < arguments.size()) {
            request.url = arguments.at(++i);
        } else if (a.startsWith(QStringLiteral("--campaign="))) {
            request.url = a.mid(11);
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            error = QStringLiteral("unknown option %1").arg(a);
            return std::nullopt;
        } else {
            operands << a;
        }
    }
    request.action = operands.value(0);
    const QStringList actions{"status", "ids", "events", "drain", "stop", "import"};
    if (!actions.contains(request.action)) {
        error = QStringLiteral("say one of status, ids, events, drain, stop, import");
        return std::nullopt;
    }
    const qsizetype wanted = request.action == QStringLiteral("import") ? 2 : 1;
    if (operands.size() != wanted) {
        error = request.action == QStringLiteral("import")
                    ? QStringLiteral("import needs the campaign FILE")
                    : QStringLiteral("%1 takes no operand").arg(request.action);
        return std::nullopt;
    }
    request.file = operands.value(1);
    if (request.url.isEmpty()) {
        error = QStringLiteral("--campaign postgresql://HOST:PORT/DB?name=NAME is needed");
        return std::nullopt;
    }
    return request;
}

// Every row of a query as JSON objects, by column name.
QJsonArray rowsOf(QSqlQuery& query) {
    QJsonArray rows;
    while (query.next()) {
        const QSqlRecord record = query.record();
        QJsonObject row;
        for (int i = 0; i < record.count(); ++i) {
            row.insert(record.fieldName(i), QJsonValue::fromVariant(query.value(i)));
        }
        rows.append(row);
    }
    return rows;
}

// Rows as a table of aligned columns, in the order of `columns`.
QString tableOf(const QJsonArray& rows, const QStringList& columns) {
    QList<qsizetype> widths;
    for (const QString& c : columns) {
        widths << c.size();
    }
    const auto cell = [](const QJsonValue& v) {
        return v.isDouble() ? QString::number(v.toDouble(), 'g', 15)
               : v.isNull() ? QStringLiteral("-")
                            : v.toVariant().toString();
    };
    for (const QJsonValue& r : rows) {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            widths[i] = qMax(widths[i], cell(r.toObject().value(columns.at(i))).size());
        }
    }
    QString text;
    const auto line = [&](const QStringList& cells) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            text += i + 1 < cells.size() ? cells.at(i).leftJustified(widths[i] + 2) : cells.at(i);
        }
        text += QLatin1Char('\n');
    };
    line(columns);
    for (const QJsonValue& r : rows) {
        QStringList cells;
        for (const QString& c : columns) {
            cells << cell(r.toObject().value(c));
        }
        line(cells);
    }
    return text;
}

void show(const Request& request, const QJsonObject& json, const QString& text) {
    ShellOutput::write(stdout, request.json
                                   ? QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n'
                                   : text.toLocal8Bit());
}

int status(CampaignDatabase& db, const Request& request) {
    QString error;
    const QString name = db.url().name;
    QSqlQuery& head = db.run(
        QStringLiteral("SELECT name, subcommand, sha256, header, operands::text AS operands, "
                       "control, held, pass, rate_per_minute, max_failures, max_failures_percent, "
                       "created_at::text AS created, updated_at::text AS updated FROM "
                       "velkor_campaign WHERE name = ?"),
        {name}, error);
    const QJsonArray campaign = rowsOf(head);
    if (campaign.isEmpty()) {
        return failure(error.isEmpty() ? QStringLiteral("no campaign %1").arg(name) : error,
                       kExitIoErr);
    }
    QSqlQuery& states = db.run(QStringLiteral("SELECT state, count(*) AS ids FROM "
                                              "velkor_campaign_id WHERE campaign = ? GROUP BY "
                                              "state ORDER BY state"),
                               {name}, error);
    const QJsonArray counts = rowsOf(states);
    QSqlQuery& stages = db.run(
        QStringLiteral("SELECT i.stage + 1 AS stage, count(*) AS ids, count(*) FILTER (WHERE "
                       "i.state IN ('succeeded', 'failed')) AS ended, count(*) FILTER (WHERE "
                       "i.state = 'failed') AS failed FROM velkor_campaign_id i JOIN "
                       "velkor_campaign c ON c.name = i.campaign AND c.pass = i.pass WHERE "
                       "i.campaign = ? GROUP BY i.stage ORDER BY i.stage"),
        {name}, error);
    const QJsonArray stageRows = rowsOf(stages);
    QSqlQuery& workers = db.run(
        QStringLiteral("SELECT worker, count(*) AS ids, bool_and(lease_until >= now()) AS live "
                       "FROM velkor_campaign_id WHERE campaign = ? AND state IN ('claimed', "
                       "'running') GROUP BY worker ORDER BY worker"),
        {name}, error);
    const QJsonArray workerRows = rowsOf(workers);
    QJsonObject json = campaign.first().toObject();
    json.insert(QStringLiteral("operands"),
                QJsonDocument::fromJson(json.value("operands").toString().toUtf8()).array());
    json.insert(QStringLiteral("states"), counts);
    json.insert(QStringLiteral("stages"), stageRows);
    json.insert(QStringLiteral("workers"), workerRows);
    const QString text =
        tableOf(QJsonArray{json}, {"name", "subcommand", "control", "held", "pass",
                                   "rate_per_minute", "max_failures"}) +
        QStringLiteral("firmware SHA-256 %1, header \"%2\"\n\n")
            .arg(json.value("sha256").toString(), json.value("header").toString()) +
        tableOf(counts, {"state", "ids"}) + QLatin1Char('\n') +
        tableOf(stageRows, {"stage", "ids", "ended", "failed"}) + QLatin1Char('\n') +
        (workerRows.isEmpty() ? QStringLiteral("no worker holds an id\n")
                              : tableOf(workerRows, {"worker", "ids", "live"}));
    show(request, json, text);
    return error.isEmpty() ? kExitOk : failure(error);
}

int ids(CampaignDatabase& db, const Request& request) {
    QString error;
    QSqlQuery& rows = db.run(
        QStringLiteral("SELECT broker, id, stage + 1 AS stage, state, attempts, outcome, "
                       "exit_code, resume, worker, started_at::text AS started, ended_at::text "
                       "AS ended, elapsed_ms FROM velkor_campaign_id WHERE campaign = ? ORDER BY "
                       "seq"),
        {db.url().name}, error);
    const QJsonArray all = rowsOf(rows);
    show(request, QJsonObject{{QStringLiteral("ids"), all}},
         tableOf(all, {"broker", "id", "stage", "state", "attempts", "outcome", "exit_code",
                       "resume", "worker", "ended"}));
    return error.isEmpty() ? kExitOk : failure(error);
}

// Every worker's events in the order they reached the campaign, each with its worker and its
// sequence number (for the next call's --after): one JSON line each.
int events(CampaignDatabase& db, const Request& request) {
    QString error;
    QSqlQuery& rows = db.run(QStringLiteral("SELECT seq, worker, line::text FROM "
                                            "velkor_campaign_event WHERE campaign = ? AND seq > ? "
                                            "ORDER BY seq"),
                             {db.url().name, request.after}, error);
    QJsonArray all;
    QByteArray text;
    while (rows.next()) {
        QJsonObject event = QJsonDocument::fromJson(rows.value(2).toString().toUtf8()).object();
        event.insert(QStringLiteral("seq"), rows.value(0).toLongLong());
        event.insert(QStringLiteral("worker"), rows.value(1).toString());
        text += QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
        all.append(event);
    }
    if (!error.isEmpty()) {
        return failure(error);
    }
    show(request, QJsonObject{{QStringLiteral("events"), all}}, QString::fromUtf8(text));
    return kExitOk;
}

// Written into the campaign: every worker reads it at its next heartbeat (within a second).
int steer(CampaignDatabase& db, const Request& request) {
    QString error;
    QSqlQuery& set = db.run(QStringLiteral("UPDATE velkor_campaign SET control = ?, updated_at = "
                                           "now() WHERE name = ? AND control <> 'stop'"),
                            {request.action, db.url().name}, error);
    if (!set.isActive()) {
        return failure(error);
    }
    if (set.numRowsAffected() == 0) {
        QSqlQuery& known = db.run(QStringLiteral("SELECT 1 FROM velkor_campaign WHERE name = ?"),
                                  {db.url().name}, error);
        if (!known.next()) {
            return failure(QStringLiteral("no campaign %1").arg(db.url().name), kExitIoErr);
        }
    }
    show(request,
         QJsonObject{{QStringLiteral("campaign"), db.url().name},
                     {QStringLiteral("control"), request.action}},
         QStringLiteral("campaign %1: %2 written; every worker %3 within a second\n")
             .arg(db.url().name, request.action,
                  request.action == QStringLiteral("stop")
                      ? QStringLiteral("cancels its running ids")
                      : QStringLiteral("starts no more ids and lets its running ones end")));
    return kExitOk;
}

} // namespace

QString CampaignCommand::help() {
    return QStringLiteral(
        "Usage: velkor-cli campaign ACTION --campaign postgresql://HOST:PORT/DB?name=NAME "
        "[--json]\n"
        "A campaign shared by several velkor-cli workers (flash, store ... --campaign URL):\n"
        "  status        what it deploys, its rules, its ids by state and stage, its workers\n"
        "  ids           every id: broker, stage, state, attempts, outcome, exit code, resume\n"
        "                position, worker, times\n"
        "  events        every worker's events (as --events writes them), one JSON line each\n"
        "                with its worker and sequence number; --after N: those after N\n"
        "  drain         every worker starts no more ids; running ones end on their own\n"
        "  stop          every worker cancels its running ids (stores keep their position)\n"
        "  import FILE   a campaign file of --state into the campaign (ids it already has are\n"
        "                kept as they are)\n"
        "A drained or stopped campaign runs again when a worker starts on it with none left\n"
        "running; so does one that ended with failed ids (they run again).\n");
}

int CampaignCommand::run(const QStringList& arguments) {
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        ShellOutput::print(stdout, help());
        return kExitOk;
    }
    QString error;
    const std::optional<Request> request = parse(arguments, error);
    if (!request) {
        return usageError(error);
    }
    const std::optional<CampaignUrl> url = CampaignUrl::parse(request->url, error);
    if (!url) {
        return usageError(QStringLiteral("--campaign: %1").arg(error));
    }
    CampaignDatabase db(*url);
    if (!db.open(error)) {
        return failure(error);
    }
    if (request->action == QStringLiteral("status")) {
        return status(db, *request);
    }
    if (request->action == QStringLiteral("ids")) {
        return ids(db, *request);
    }
    if (request->action == QStringLiteral("events")) {
        return events(db, *request);
    }
    if (request->action == QStringLiteral("import")) {
        const CampaignImport::Result imported = CampaignImport::run(db, request->file);
        if (!imported.error.isEmpty()) {
            return failure(imported.error, kExitIoErr);
        }
        for (const QString& warning : imported.warnings) {
            ShellOutput::print(stderr, QStringLiteral("velkor-cli: warning: %1\n").arg(warning));
        }
        show(*request,
             QJsonObject{{QStringLiteral("campaign"), url->name},
                         {QStringLiteral("imported"), imported.added},
                         {QStringLiteral("kept"), imported.kept}},
             QStringLiteral("campaign %1: %2 ids imported, %3 it had already kept\n")
                 .arg(url->name)
                 .arg(imported.added)
                 .arg(imported.kept));
        return kExitOk;
    }
    return steer(db, *request);
}
