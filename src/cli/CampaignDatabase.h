#pragma once

#include "cli/CampaignUrl.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <map>

// The connection to the PostgreSQL database of shared campaigns (Qt's QPSQL driver), on the
// thread that opened it. The schema is created on first use; every worker's statements go
// through run() with their values bound, never spliced into the text.
class CampaignDatabase {
public:
    explicit CampaignDatabase(CampaignUrl url);
    ~CampaignDatabase();
    CampaignDatabase(const CampaignDatabase&) = delete;
    CampaignDatabase& operator=(const CampaignDatabase&) = delete;

    // Connects and creates the tables and indexes that are missing; false with the reason.
    bool open(QString& error);
    // Runs one statement with its "?" bound to values in order. The query comes back active,
    // or inactive with the server's reason in error; it is this statement's, read it before the
    // same statement runs again.
    QSqlQuery& run(const QString& sql, const QVariantList& values, QString& error);
    bool begin(QString& error);
    bool commit(QString& error);
    void rollback();
    const CampaignUrl& url() const { return url_; }

    // The statements that create the schema, in order (also what docs/fleets.md shows).
    static QStringList schema();
    // A list as a PostgreSQL array literal, for CAST(? AS bigint[]).
    static QString arrayOf(const QList<std::uint32_t>& values);

private:
    CampaignUrl url_;
    QString connection_;
    struct Prepared {
        QSqlQuery query;
        bool stale = false; // to be prepared again
    };
    std::map<QString, Prepared> prepared_; // by their text; a reference stays valid
    QSqlQuery plain_;                      // the latest statement without values
};
