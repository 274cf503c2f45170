#pragma once

#include <QString>
#include <optional>

// Where a shared campaign is kept: postgresql://[USER[:PASSWORD]@][HOST][:PORT][/DB]?name=NAME
// (postgres:// as well). A part left out is taken from the libpq environment (PGHOST, PGPORT,
// PGUSER, PGPASSWORD, PGDATABASE), as any PostgreSQL client does; the campaign's NAME is
// required. Further query items are passed to the server connection as libpq options
// (sslmode=require, connect_timeout=5).
struct CampaignUrl {
    QString user;
    QString password;
    QString host;
    int port = -1; // -1: the default
    QString database;
    QString name;
    QString options; // "sslmode=require;connect_timeout=5", as Qt's driver takes them

    // Empty with the reason when the text is no such URL.
    static std::optional<CampaignUrl> parse(const QString& text, QString& error);
    // The URL without its password, for messages.
    QString shown() const;
};
