#include "cli/CampaignDatabase.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>

namespace {

QAtomicInt connections;

// Serialises the creation of the schema among workers that start at once (CREATE ... IF NOT
// EXISTS is not safe against a concurrent creator).
constexpr qint64 kSchemaLock = 0x76656C6B6F72; // "velkor"

QString reasonOf(const QSqlError& error) {
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

} // namespace

CampaignDatabase::CampaignDatabase(CampaignUrl url)
    : url_(std::move(url)),
      connection_(QStringLiteral("velkor-campaign-%1").arg(connections.fetchAndAddRelaxed(1))) {}

CampaignDatabase::~CampaignDatabase() {
    prepared_.clear();
    plain_ = QSqlQuery();
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QStringList CampaignDatabase::schema() {
    return {
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS velkor_campaign ("
            " name text PRIMARY KEY,"
            " subcommand text NOT NULL,"
            " sha256 text NOT NULL DEFAULT '',"
            " header text NOT NULL DEFAULT '',"
            " operands jsonb NOT NULL DEFAULT '[]',"
            " wave jsonb NOT NULL DEFAULT '[]',"
            " max_failures integer NOT NULL DEFAULT 0,"
            " max_failures_percent double precision NOT NULL DEFAULT 0,"
            " rate_per_minute integer NOT NULL DEFAULT 0,"
            " pass integer NOT NULL DEFAULT 1,"
            " control text NOT NULL DEFAULT 'run' CHECK (control IN ('run', 'drain', 'stop')),"
            " held text NOT NULL DEFAULT '',"
            " next_start timestamptz,"
            " created_at timestamptz NOT NULL DEFAULT now(),"
            " updated_at timestamptz NOT NULL DEFAULT now())"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS velkor_campaign_id ("
            " campaign text NOT NULL REFERENCES velkor_campaign (name) ON DELETE CASCADE,"
            " broker text NOT NULL,"
            " id bigint NOT NULL,"
            " seq integer NOT NULL,"
            " pass integer NOT NULL,"
            " stage integer NOT NULL DEFAULT 0,"
            " state text NOT NULL DEFAULT 'pending' CHECK (state IN"
            "  ('pending', 'claimed', 'running', 'succeeded', 'failed')),"
            " attempts integer NOT NULL DEFAULT 0,"
            " outcome text,"
            " exit_code integer,"
            " resume text,"
            " status text,"
            " worker text,"
            " lease_until timestamptz,"
            " started_at timestamptz,"
            " ended_at timestamptz,"
            " elapsed_ms bigint,"
            " PRIMARY KEY (campaign, broker, id))"),
        // The live events of every worker, in the order they reached the campaign.
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS velkor_campaign_event ("
            " campaign text NOT NULL REFERENCES velkor_campaign (name) ON DELETE CASCADE,"
            " seq bigserial,"
            " worker text NOT NULL,"
            " line jsonb NOT NULL,"
            " PRIMARY KEY (campaign, seq))"),
        // The ids still to start, in their order: what every claim reads.
        QStringLiteral("CREATE INDEX IF NOT EXISTS velkor_campaign_id_pending ON "
                       "velkor_campaign_id (campaign, broker, seq) WHERE state = 'pending'"),
        // The ids workers hold, by lease: what the claim of a dead worker's ids reads.
        QStringLiteral("CREATE INDEX IF NOT EXISTS velkor_campaign_id_lease ON velkor_campaign_id"
                       " (campaign, broker, lease_until) WHERE state IN ('claimed', 'running')"),
        // A worker's ids: what its heartbeat renews.
        QStringLiteral("CREATE INDEX IF NOT EXISTS velkor_campaign_id_worker ON velkor_campaign_id"
                       " (campaign, worker) WHERE state IN ('claimed', 'running')"),
    };
}

bool CampaignDatabase::open(QString& error) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    if (!db.isValid()) {
        error = QStringLiteral("Qt's PostgreSQL driver (QPSQL) is not installed: install "
                               "libqt6sql6-psql");
        return false;
    }
    db.setHostName(url_.host);
    db.setPort(url_.port);
    db.setDatabaseName(url_.database);
    db.setUserName(url_.user);
    db.setPassword(url_.password);
    db.setConnectOptions(url_.options);
    if (!db.open()) {
        error = QStringLiteral("%1: %2").arg(url_.shown(), reasonOf(db.lastError()));
        return false;
    }
    // The server's notices ("relation ... already exists, skipping") are no news to the user.
    if (!run(QStringLiteral("SET client_min_messages TO warning"), {}, error).isActive()) {
        return false;
    }
    // A worker's role needs no right to create anything once the schema is there.
    QSqlQuery& present =
        run(QStringLiteral("SELECT to_regclass('velkor_campaign') IS NOT NULL AND "
                           "to_regclass('velkor_campaign_id') IS NOT NULL AND "
                           "to_regclass('velkor_campaign_id_pending') IS NOT NULL AND "
                           "to_regclass('velkor_campaign_id_lease') IS NOT NULL AND "
                           "to_regclass('velkor_campaign_id_worker') IS NOT NULL"),
            {}, error);
    if (!present.next()) {
        return false;
    }
    const bool there = present.value(0).toBool();
    present.finish();
    if (there) {
        return true;
    }
    if (!begin(error)) {
        return false;
    }
    if (!run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {kSchemaLock}, error).isActive()) {
        rollback();
        return false;
    }
    for (const QString& statement : schema()) {
        if (!run(statement, {}, error).isActive()) {
            rollback();
            return false;
        }
    }
    return commit(error);
}

// A statement with values is prepared once on the server and then only executed: a worker runs
// the same few statements for every id.
QSqlQuery& CampaignDatabase::run(const QString& sql, const QVariantList& values, QString& error) {
    if (values.isEmpty()) {
        plain_ = QSqlQuery(QSqlDatabase::database(connection_, false));
        if (!plain_.exec(sql)) {
            error = QStringLiteral("%1: %2").arg(url_.shown(), reasonOf(plain_.lastError()));
        }
        return plain_;
    }
    auto [entry, added] =
        prepared_.try_emplace(sql, Prepared{QSqlQuery(QSqlDatabase::database(connection_, false))});
    Prepared& prepared = entry->second;
    if (added || prepared.stale) {
        prepared.query.setForwardOnly(true);
        prepared.stale = !prepared.query.prepare(sql);
    }
    if (!prepared.stale) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            prepared.query.bindValue(int(i), values.at(i));
        }
        // Prepared again next time when it fails (the server may have restarted).
        prepared.stale = !prepared.query.exec();
    }
    if (prepared.stale) {
        error = QStringLiteral("%1: %2").arg(url_.shown(), reasonOf(prepared.query.lastError()));
    }
    return prepared.query;
}

bool CampaignDatabase::begin(QString& error) {
    if (!QSqlDatabase::database(connection_, false).transaction()) {
        error = QStringLiteral("%1: %2").arg(
            url_.shown(), reasonOf(QSqlDatabase::database(connection_, false).lastError()));
        return false;
    }
    return true;
}

bool CampaignDatabase::commit(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.commit()) {
        error = QStringLiteral("%1: %2").arg(url_.shown(), reasonOf(db.lastError()));
        db.rollback();
        return false;
    }
    return true;
}

void CampaignDatabase::rollback() {
    QSqlDatabase::database(connection_, false).rollback();
}

QString CampaignDatabase::arrayOf(const QList<std::uint32_t>& values) {
    QStringList texts;
    texts.reserve(values.size());
    for (const std::uint32_t v : values) {
        texts << QString::number(v);
    }
    return QLatin1Char('{') + texts.join(QLatin1Char(',')) + QLatin1Char('}');
}
