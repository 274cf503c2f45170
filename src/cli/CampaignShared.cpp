#include "cli/CampaignShared.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <algorithm>

namespace {

// "too many failures: 2 of the 5 ids of stage 1 failed" is held for "too many failures".
QString shortReason(const QString& held) {
    return held.section(QLatin1Char(':'), 0, 0);
}

QString waveText(const QList<FleetOptions::StageBound>& stages) {
    QJsonArray wave;
    for (const FleetOptions::StageBound& bound : stages) {
        wave.append(QJsonArray{bound.count, bound.percent});
    }
    return QString::fromUtf8(QJsonDocument(wave).toJson(QJsonDocument::Compact));
}

QList<FleetOptions::StageBound> waveOf(const QString& text) {
    QList<FleetOptions::StageBound> stages;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonArray bound = v.toArray();
        stages.append({bound.at(0).toInt(), bound.at(1).toDouble()});
    }
    return stages;
}

CampaignClaims::Offer offerOf(CampaignClaims::Offer::Kind kind, int waitMs = 0,
                              const QString& reason = QString()) {
    CampaignClaims::Offer offer;
    offer.kind = kind;
    offer.waitMs = waitMs;
    offer.reason = reason;
    return offer;
}

QString operandsText(const QStringList& operands) {
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(operands)).toJson(QJsonDocument::Compact));
}

} // namespace

CampaignShared::CampaignShared(const CampaignUrl& url, const FleetCampaign::Purpose& purpose,
                               const QList<std::uint32_t>& ids, const FleetOptions& options)
    : db_(url), purpose_(purpose), ids_(ids), idArray_(CampaignDatabase::arrayOf(ids)),
      options_(options),
      leaseMs_(options.leaseMs > 0 ? options.leaseMs : FleetOptions::kDefaultLeaseMs),
      worker_(QStringLiteral("%1:%2")
                  .arg(QSysInfo::machineHostName())
                  .arg(QCoreApplication::applicationPid())) {}

int CampaignShared::beatMs() const {
    return int(qMin<qint64>(1000, leaseMs_ / 3));
}

bool CampaignShared::open(QString& error) {
    if (!db_.open(error) || !db_.begin(error)) {
        return false;
    }
    if (!createOrJoin(error) || !joinIds(error) || !restartWhenIdle(error)) {
        db_.rollback();
        return false;
    }
    if (!db_.commit(error)) {
        return false;
    }
    QSqlQuery& done = db_.run(
        QStringLiteral("SELECT id, coalesce(resume, '') FROM velkor_campaign_id WHERE campaign = ? "
                       "AND broker = ? AND id = ANY(CAST(? AS bigint[])) AND state = 'succeeded'"),
        {db_.url().name, purpose_.broker, idArray_}, error);
    while (done.next()) {
        earlier_.insert(std::uint32_t(done.value(0).toLongLong()),
                        Earlier{0, done.value(1).toString()});
    }
    sinceBeat_.start();
    return done.isActive();
}

// The campaign row is made by its first worker; a later one must be of the same campaign, and
// the rules it gives (--max-failures, --rate, --wave) are written for every worker.
bool CampaignShared::createOrJoin(QString& error) {
    const QString name = db_.url().name;
    QSqlQuery& made = db_.run(
        QStringLiteral(
            "INSERT INTO velkor_campaign (name, subcommand, sha256, header, operands, "
            "wave, max_failures, max_failures_percent, rate_per_minute) VALUES "
            "(?, ?, coalesce(?, ''), coalesce(?, ''), CAST(? AS jsonb), CAST(? AS jsonb), ?, ?, ?) "
            "ON CONFLICT (name) DO NOTHING"),
        {name, purpose_.subcommand, purpose_.sha256, purpose_.header,
         operandsText(purpose_.operands), waveText(options_.stages), options_.maxFailures,
         options_.maxFailuresPercent, options_.ratePerMinute},
        error);
    if (!made.isActive()) {
        return false;
    }
    const bool created = made.numRowsAffected() == 1;
    QSqlQuery& row = db_.run(QStringLiteral("SELECT subcommand, sha256, operands::text FROM "
                                            "velkor_campaign WHERE name = ? FOR UPDATE"),
                             {name}, error);
    if (!row.next()) {
        return false;
    }
    const QJsonObject theirs{{QStringLiteral("subcommand"), row.value(0).toString()},
                             {QStringLiteral("sha256"), row.value(1).toString()},
                             {QStringLiteral("operands"),
                              QJsonDocument::fromJson(row.value(2).toString().toUtf8()).array()}};
    QJsonObject mine{{QStringLiteral("subcommand"), purpose_.subcommand},
                     {QStringLiteral("sha256"), purpose_.sha256},
                     {QStringLiteral("operands"), QJsonArray::fromStringList(purpose_.operands)}};
    if (theirs != mine) {
        error = QStringLiteral("%1 is the campaign of %2, not of this run's %3: give this run a "
                               "campaign of its own")
                    .arg(db_.url().shown(), FleetCampaign::Purpose::describe(theirs),
                         FleetCampaign::Purpose::describe(mine));
        return false;
    }
    if (created) {
        return true;
    }
    const auto update = [&](const char* sql, const QVariantList& values) {
        return db_.run(QLatin1String(sql), values + QVariantList{name}, error).isActive();
    };
    return (options_.maxFailures <= 0 ||
            update("UPDATE velkor_campaign SET max_failures = ?, max_failures_percent = ?, "
                   "updated_at = now() WHERE name = ?",
                   {options_.maxFailures, options_.maxFailuresPercent})) &&
           (options_.ratePerMinute <= 0 ||
            update("UPDATE velkor_campaign SET rate_per_minute = ?, updated_at = now() "
                   "WHERE name = ?",
                   {options_.ratePerMinute})) &&
           (options_.stages.isEmpty() ||
            update("UPDATE velkor_campaign SET wave = CAST(? AS jsonb), updated_at = now() "
                   "WHERE name = ?",
                   {waveText(options_.stages)}));
}

// This worker's ids join the campaign after those it has, in the last stage of its pass; the
// ids of a new campaign are then cut into its stages.
bool CampaignShared::joinIds(QString& error) {
    const QString name = db_.url().name;
    QSqlQuery& before =
        db_.run(QStringLiteral("SELECT count(*) FROM velkor_campaign_id WHERE campaign = ?"),
                {name}, error);
    if (!before.next()) {
        return false;
    }
    const bool first = before.value(0).toLongLong() == 0;
    if (!db_.run(QStringLiteral(
                     "INSERT INTO velkor_campaign_id (campaign, broker, id, seq, pass, stage) "
                     "SELECT ?, ?, u.id, m.top + u.ord, c.pass, coalesce(s.last, 0) "
                     "FROM unnest(CAST(? AS bigint[])) WITH ORDINALITY AS u(id, ord) "
                     "CROSS JOIN (SELECT coalesce(max(seq), 0) AS top FROM velkor_campaign_id "
                     " WHERE campaign = ?) m "
                     "CROSS JOIN (SELECT pass FROM velkor_campaign WHERE name = ?) c "
                     "CROSS JOIN (SELECT max(i.stage) AS last FROM velkor_campaign_id i "
                     " JOIN velkor_campaign k ON k.name = i.campaign AND k.pass = i.pass "
                     " WHERE i.campaign = ?) s "
                     "ON CONFLICT (campaign, broker, id) DO NOTHING"),
                 {name, purpose_.broker, idArray_, name, name, name}, error)
             .isActive()) {
        return false;
    }
    return !first || assignStages(1, error);
}

// No worker holds a live lease and the campaign ran to its end, or was drained, stopped or held:
// this worker begins its next pass. Every id that did not succeed goes back, keeping its resume
// position, and the stages are cut again from them.
bool CampaignShared::restartWhenIdle(QString& error) {
    const QString name = db_.url().name;
    QSqlQuery& state =
        db_.run(QStringLiteral(
                    "SELECT count(*) FILTER (WHERE i.state IN ('claimed', 'running') AND "
                    "  i.lease_until >= now()), "
                    " count(*) FILTER (WHERE i.state = 'pending' AND i.pass = c.pass), "
                    " count(*) FILTER (WHERE i.state <> 'succeeded'), "
                    " min(c.control), min(c.held) "
                    "FROM velkor_campaign c LEFT JOIN velkor_campaign_id i ON i.campaign = c.name "
                    "WHERE c.name = ?"),
                {name}, error);
    if (!state.next()) {
        return false;
    }
    const bool live = state.value(0).toLongLong() > 0;
    const bool waiting = state.value(1).toLongLong() > 0;
    const bool unfinished = state.value(2).toLongLong() > 0;
    const bool stopped =
        state.value(3).toString() != QStringLiteral("run") || !state.value(4).toString().isEmpty();
    if (!live && !unfinished && stopped) {
        // Every id succeeded: a drain or stop left in it holds nothing back any more.
        return db_
            .run(QStringLiteral("UPDATE velkor_campaign SET control = 'run', held = '', "
                                "updated_at = now() WHERE name = ?"),
                 {name}, error)
            .isActive();
    }
    if (live || !unfinished || (waiting && !stopped)) {
        return true;
    }
    QSqlQuery& pass = db_.run(
        QStringLiteral("UPDATE velkor_campaign SET pass = pass + 1, control = 'run', held = '', "
                       "next_start = NULL, updated_at = now() WHERE name = ? RETURNING pass"),
        {name}, error);
    if (!pass.next()) {
        return false;
    }
    const int next = pass.value(0).toInt();
    return db_.run(QStringLiteral("UPDATE velkor_campaign_id SET state = 'pending', pass = ?, "
                                  "worker = NULL, lease_until = NULL "
                                  "WHERE campaign = ? AND state <> 'succeeded'"),
                   {next, name}, error)
               .isActive() &&
           assignStages(next, error);
}

// The ids of the pass, in their order, into the stages of the campaign's --wave.
bool CampaignShared::assignStages(int pass, QString& error) {
    const QString name = db_.url().name;
    QSqlQuery& counted =
        db_.run(QStringLiteral("SELECT count(*), min(c.wave::text) FROM velkor_campaign_id i JOIN "
                               "velkor_campaign c ON c.name = i.campaign WHERE i.campaign = ? AND "
                               "i.pass = ?"),
                {name, pass}, error);
    if (!counted.next()) {
        return false;
    }
    FleetOptions staging;
    staging.stages = waveOf(counted.value(1).toString());
    QStringList ends;
    for (const qsizetype end : staging.stageEnds(counted.value(0).toLongLong())) {
        ends << QString::number(end);
    }
    // The ids were just added, so the table's statistics do not know them yet: a nested loop
    // over them would cost the square of their number.
    if (!db_.run(QStringLiteral("SET LOCAL enable_nestloop = off"), {}, error).isActive()) {
        return false;
    }
    return db_
        .run(QStringLiteral(
                 "UPDATE velkor_campaign_id t SET stage = (SELECT count(*) FROM "
                 " unnest(CAST(? AS bigint[])) AS e(bound) WHERE e.bound <= r.position) "
                 "FROM (SELECT broker, id, row_number() OVER (ORDER BY seq) - 1 AS position "
                 " FROM velkor_campaign_id WHERE campaign = ? AND pass = ?) r "
                 "WHERE t.campaign = ? AND t.broker = r.broker AND t.id = r.id"),
             {QLatin1Char('{') + ends.join(QLatin1Char(',')) + QLatin1Char('}'), name, pass, name},
             error)
        .isActive();
}

std::optional<CampaignShared::Rules> CampaignShared::readRules(QString& error) {
    QSqlQuery& row =
        db_.run(QStringLiteral("SELECT pass, control, held, rate_per_minute, max_failures, "
                               "max_failures_percent FROM velkor_campaign WHERE name = ?"),
                {db_.url().name}, error);
    if (!row.next()) {
        if (row.isActive()) {
            error = QStringLiteral("%1: the campaign was deleted").arg(db_.url().shown());
        }
        return std::nullopt;
    }
    Rules rules;
    rules.pass = row.value(0).toInt();
    rules.control = row.value(1).toString();
    rules.held = row.value(2).toString();
    rules.ratePerMinute = row.value(3).toInt();
    rules.limits.maxFailures = row.value(4).toInt();
    rules.limits.maxFailuresPercent = row.value(5).toDouble();
    return rules;
}

// The latest stage ids may start in, counted over every worker; the reason the rollout is held
// when a stage reached its failure limit.
QString CampaignShared::stageGate(Gate& gate, QString& error) {
    const Rules& rules = gate.rules;
    QSqlQuery& stages = db_.run(
        QStringLiteral("SELECT stage, count(*), count(*) FILTER (WHERE state IN ('succeeded', "
                       "'failed')), count(*) FILTER (WHERE state = 'failed') FROM "
                       "velkor_campaign_id WHERE campaign = ? AND pass = ? GROUP BY stage "
                       "ORDER BY stage"),
        {db_.url().name, rules.pass}, error);
    struct Counts {
        int stage;
        qint64 ids, ended, failed;
    };
    QList<Counts> all;
    while (stages.next()) {
        all.append({stages.value(0).toInt(), stages.value(1).toLongLong(),
                    stages.value(2).toLongLong(), stages.value(3).toLongLong()});
    }
    const bool counted = rules.limits.maxFailures > 0 || rules.limits.maxFailuresPercent > 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Counts& s = all.at(i);
        gate.open = s.stage;
        gate.lastOpen = i + 1 == all.size();
        const int limit = rules.limits.failureLimit(s.ids, i + 1 == all.size());
        if (limit > 0 && s.failed >= limit) {
            return QStringLiteral("%1: %2 of the %3 ids of stage %4 failed")
                .arg(counted ? QStringLiteral("too many failures") : QStringLiteral("wave failed"))
                .arg(s.failed)
                .arg(s.ids)
                .arg(s.stage + 1);
        }
        if (s.ended < s.ids) {
            break;
        }
    }
    return QString();
}

// First, at most once a second, the ids whose lease ran out (a dead worker's: they come before
// the pending ones, and their stage waits for them), from the index of leases; then the pending
// ids in their order, from the index of pending ids.
bool CampaignShared::claimBatch(int count, const Gate& gate, QString& error) {
    if (!expiredScan_.isValid() || expiredScan_.elapsed() >= kExpiredScanMs) {
        expiredScan_.start();
        if (!claimWhere(
                QStringLiteral("i.state IN ('claimed', 'running') AND i.lease_until < now()"),
                count, gate, error)) {
            return false;
        }
    }
    return qsizetype(claimed_.size()) >= count ||
           claimWhere(QStringLiteral("i.state = 'pending'"), count - int(claimed_.size()), gate,
                      error);
}

bool CampaignShared::claimWhere(const QString& condition, int count, const Gate& gate,
                                QString& error) {
    const QString name = db_.url().name;
    QSqlQuery& claimed = db_.run(
        QStringLiteral("WITH picked AS (SELECT i.broker, i.id FROM velkor_campaign_id i "
                       " WHERE i.campaign = ? AND i.broker = ? AND %1 "
                       " AND i.pass = ? AND i.stage <= ? AND i.id = ANY(CAST(? AS bigint[])) "
                       " ORDER BY i.seq LIMIT ? FOR UPDATE SKIP LOCKED) "
                       "UPDATE velkor_campaign_id t SET state = 'claimed', worker = ?, "
                       " lease_until = now() + CAST(? AS bigint) * interval '1 millisecond' "
                       "FROM picked WHERE t.campaign = ? AND t.broker = picked.broker AND "
                       "t.id = picked.id RETURNING t.id, t.seq")
            .arg(condition),
        {name, purpose_.broker, gate.rules.pass, gate.open, idArray_, count, worker_, leaseMs_,
         name},
        error);
    QList<std::pair<qint64, std::uint32_t>> bySeq;
    while (claimed.next()) {
        bySeq.append({claimed.value(1).toLongLong(), std::uint32_t(claimed.value(0).toLongLong())});
    }
    std::sort(bySeq.begin(), bySeq.end());
    for (const auto& [seq, id] : bySeq) {
        claimed_.push_back(id);
    }
    return claimed.isActive();
}

// Whether an id of this worker's broker and list may still run: pending, or held by a worker.
int CampaignShared::liveIds(QString& error) {
    QSqlQuery& live =
        db_.run(QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM velkor_campaign_id WHERE "
                               "campaign = ? AND broker = ? AND state IN ('pending', 'claimed', "
                               "'running') AND id = ANY(CAST(? AS bigint[])) LIMIT 1) AS one"),
                {db_.url().name, purpose_.broker, idArray_}, error);
    return live.next() ? live.value(0).toInt() : -1;
}

// --rate over the whole campaign: one start every 60/N s, whichever worker makes it. A start
// that had to wait does not make up for lost time.
bool CampaignShared::takeStartSlot(const Rules& rules, int& waitMs, QString& error) {
    if (rules.ratePerMinute <= 0) {
        return true;
    }
    const QString name = db_.url().name;
    QSqlQuery& slot = db_.run(
        QStringLiteral("UPDATE velkor_campaign SET next_start = now() + CAST(? AS double "
                       "precision) * interval '1 millisecond' WHERE name = ? AND (next_start IS "
                       "NULL OR next_start <= now())"),
        {60000.0 / rules.ratePerMinute, name}, error);
    if (!slot.isActive() || slot.numRowsAffected() == 1) {
        return slot.isActive();
    }
    QSqlQuery& due = db_.run(QStringLiteral("SELECT ceil(extract(epoch FROM next_start - now()) * "
                                            "1000) FROM velkor_campaign WHERE name = ?"),
                             {name}, error);
    waitMs = due.next() ? qMax(1, due.value(0).toInt()) : kWaitMs;
    return false;
}

CampaignClaims::Offer CampaignShared::startClaimed(QString& error) {
    const std::uint32_t id = claimed_.front();
    claimed_.pop_front();
    QSqlQuery& started = db_.run(
        QStringLiteral(
            "UPDATE velkor_campaign_id SET state = 'running', attempts = attempts + 1, "
            "started_at = now(), ended_at = NULL, "
            "lease_until = now() + CAST(? AS bigint) * interval '1 millisecond' "
            "WHERE campaign = ? AND broker = ? AND id = ? AND worker = ? AND state = 'claimed' "
            "RETURNING coalesce(resume, ''), stage"),
        {leaseMs_, db_.url().name, purpose_.broker, qint64(id), worker_}, error);
    Offer offer;
    if (!started.next()) {
        offer.kind = Offer::Kind::Wait; // its lease ran out and another worker took it
        return offer;
    }
    running_.insert(id);
    offer.kind = Offer::Kind::Start;
    offer.id = id;
    offer.resume = started.value(0).toString();
    offer.stage = started.value(1).toInt();
    return offer;
}

// The campaign's rules and the stage ids may start in, read again once they are older than
// kGateMs or an id of this worker ended.
const CampaignShared::Gate* CampaignShared::currentGate(QString& error) {
    if (gate_ && gateAge_.elapsed() < kGateMs) {
        return &*gate_;
    }
    gate_.reset();
    const std::optional<Rules> rules = readRules(error);
    if (!rules) {
        return nullptr;
    }
    Gate gate{*rules, rules->held, 0};
    if (gate.held.isEmpty()) {
        gate.held = stageGate(gate, error);
        if (!gate.held.isEmpty()) {
            db_.run(QStringLiteral("UPDATE velkor_campaign SET held = ? WHERE name = ? AND "
                                   "held = ''"),
                    {gate.held, db_.url().name}, error);
        }
    }
    gate_ = gate;
    gateAge_.start();
    return &*gate_;
}

CampaignClaims::Offer CampaignShared::next(int free) {
    QString error;
    for (int attempt = 0; attempt < kBatch + 1; ++attempt) {
        const Gate* gate = currentGate(error);
        if (gate == nullptr) {
            return offerOf(Offer::Kind::Wait, 1000, error);
        }
        const Rules* rules = &gate->rules;
        const QString& held = gate->held;
        const int open = gate->open;
        if (rules->control != QStringLiteral("run") || !held.isEmpty()) {
            release();
            Offer stop = offerOf(Offer::Kind::Stop);
            stop.control = rules->control == QStringLiteral("run") ? QString() : rules->control;
            stop.reason = shortReason(held);
            stop.stage = open;
            return stop;
        }
        // Nothing was there to claim a moment ago, and no end of this worker's changed that.
        if (claimed_.empty() && idle_.isValid() && idle_.elapsed() < kWaitMs) {
            return offerOf(Offer::Kind::Wait, int(kWaitMs - idle_.elapsed()));
        }
        if (claimed_.empty() && !claimBatch(qBound(kBatch, free, kMaxBatch), *gate, error)) {
            return offerOf(Offer::Kind::Wait, 1000, error);
        }
        if (claimed_.empty()) {
            idle_.start();
            const int live = liveIds(error);
            return offerOf(live == 0 ? Offer::Kind::Done : Offer::Kind::Wait, kWaitMs, error);
        }
        idle_.invalidate();
        int waitMs = 0;
        if (!takeStartSlot(*rules, waitMs, error)) {
            return offerOf(Offer::Kind::Wait, waitMs > 0 ? waitMs : 1000, error);
        }
        Offer offer = startClaimed(error);
        if (offer.kind == Offer::Kind::Start) {
            return offer;
        }
    }
    return offerOf(Offer::Kind::Wait, kWaitMs, error);
}

CampaignClaims::Beat CampaignShared::beat() {
    Beat beat;
    QString error;
    flushEvents();
    if (sinceBeat_.elapsed() >= leaseMs_ / 3) {
        renewLeases(beat, error);
    }
    const std::optional<Rules> rules = readRules(error);
    beat.trouble = error;
    beat.leaseAtRisk = sinceBeat_.elapsed() > leaseMs_ / 2;
    if (!rules) {
        return beat;
    }
    beat.control = rules->control == QStringLiteral("run") ? QString() : rules->control;
    beat.held = shortReason(rules->held);
    return beat;
}

// Every third of the lease: the ids this worker holds get a whole lease again. A running id that
// is no longer among them was claimed by another worker while this one could not renew it.
void CampaignShared::renewLeases(Beat& beat, QString& error) {
    QSqlQuery& renewed = db_.run(
        QStringLiteral("UPDATE velkor_campaign_id SET lease_until = now() + CAST(? AS bigint) * "
                       "interval '1 millisecond' WHERE campaign = ? AND worker = ? AND state IN "
                       "('claimed', 'running') RETURNING id"),
        {leaseMs_, db_.url().name, worker_}, error);
    if (!renewed.isActive()) {
        return;
    }
    sinceBeat_.start();
    QSet<std::uint32_t> held;
    while (renewed.next()) {
        held.insert(std::uint32_t(renewed.value(0).toLongLong()));
    }
    for (const std::uint32_t id : std::as_const(running_)) {
        if (!held.contains(id)) {
            beat.lost.append(id);
        }
    }
    std::erase_if(claimed_, [&held](std::uint32_t id) { return !held.contains(id); });
}

bool CampaignShared::record(const FleetMember& m, QString& error) {
    running_.remove(m.id);
    // The end may open the next stage, or bring this one to its failure limit.
    if (gate_ && (!gate_->lastOpen || m.exitCode != 0)) {
        gate_.reset();
        idle_.invalidate();
    }
    // An id a drain or stop interrupted goes back to the campaign, with its resume position:
    // it did not fail.
    const QString state = m.exitCode == 0        ? QStringLiteral("succeeded")
                          : !m.stopped.isEmpty() ? QStringLiteral("pending")
                                                 : QStringLiteral("failed");
    const QString resume = m.resume();
    QSqlQuery& ended = db_.run(
        QStringLiteral("UPDATE velkor_campaign_id SET state = ?, outcome = ?, exit_code = ?, "
                       "resume = ?, status = ?, ended_at = now(), elapsed_ms = ?, "
                       "lease_until = NULL WHERE campaign = ? AND broker = ? AND id = ? AND "
                       "worker = ? AND state = 'running'"),
        {state, m.outcome(), m.exitCode,
         resume.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(resume), m.status(),
         m.elapsedMs, db_.url().name, purpose_.broker, qint64(m.id), worker_},
        error);
    if (!ended.isActive()) {
        return false;
    }
    if (ended.numRowsAffected() != 1) {
        error = QStringLiteral("%1: the campaign gave id %2 to another worker once this worker's "
                               "lease ran out; this outcome is not recorded")
                    .arg(db_.url().shown())
                    .arg(m.id);
        return false;
    }
    return true;
}

// The lines kept since the last flush, one row each; lines a database that cannot be reached
// did not take are dropped, as a full events file drops them: the fleet goes on.
void CampaignShared::flushEvents() {
    if (events_.isEmpty()) {
        return;
    }
    QString error;
    db_.run(QStringLiteral("INSERT INTO velkor_campaign_event (campaign, worker, line) SELECT ?, "
                           "?, CAST(l AS jsonb) FROM regexp_split_to_table(?, E'\\n') AS l "
                           "WHERE l <> ''"),
            {db_.url().name, worker_, QString::fromUtf8(events_)}, error);
    events_.clear();
}

void CampaignShared::release() {
    QString error;
    claimed_.clear();
    db_.run(QStringLiteral("UPDATE velkor_campaign_id SET state = 'pending', worker = NULL, "
                           "lease_until = NULL WHERE campaign = ? AND worker = ? AND "
                           "state = 'claimed'"),
            {db_.url().name, worker_}, error);
}

std::optional<FleetCampaign::Earlier> CampaignShared::earlier(std::uint32_t id) const {
    const auto it = earlier_.constFind(id);
    return it == earlier_.constEnd() ? std::nullopt : std::optional<Earlier>(*it);
}

void CampaignShared::loadOutcomes() {
    outcomesLoaded_ = true;
    QString error;
    QSqlQuery& rows = db_.run(
        QStringLiteral("SELECT id, state, coalesce(exit_code, -1), coalesce(outcome, ''), "
                       "coalesce(status, ''), coalesce(worker, '') FROM velkor_campaign_id "
                       "WHERE campaign = ? AND broker = ? AND id = ANY(CAST(? AS bigint[]))"),
        {db_.url().name, purpose_.broker, idArray_}, error);
    while (rows.next()) {
        outcomes_.insert(std::uint32_t(rows.value(0).toLongLong()),
                         Elsewhere{rows.value(1).toString(), rows.value(2).toInt(),
                                   rows.value(3).toString(), rows.value(4).toString(),
                                   rows.value(5).toString()});
    }
}

std::optional<CampaignClaims::Elsewhere> CampaignShared::elsewhere(std::uint32_t id) {
    if (!outcomesLoaded_) {
        loadOutcomes();
    }
    const auto it = outcomes_.constFind(id);
    return it == outcomes_.constEnd() ? std::nullopt : std::optional<Elsewhere>(*it);
}
