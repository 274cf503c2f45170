#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The campaign file of --state: one JSON line per id of a fleet as the id ends (id, subcommand,
// outcome, exit code, resume position, time), appended whole under a lock file beside it, as
// the journal is. A later run of the same subcommand with the same file skips the ids that
// succeeded and resumes interrupted stores from their positions; a run killed outright loses
// only the ids that were running, which have no line and so run again. A torn last line (the
// writer died in the middle) is ignored with a warning, and the next line starts on a line of
// its own.
class FleetCampaign {
public:
    // An id's latest line.
    struct Earlier {
        int exitCode = -1;
        QString resume; // "PAGE:ADDR:LINE", empty when there is none
    };

    explicit FleetCampaign(QString path) : path_(std::move(path)) {}

    // Reads the lines of the subcommand; false with the reason when the file cannot be read or
    // written. Lines that are not whole records are noted in warnings().
    bool open(const QString& subcommand, QString& error);
    std::optional<Earlier> earlier(std::uint32_t id) const;
    const QStringList& warnings() const { return warnings_; }

    // Appends one line; false with the reason when it could not be written whole.
    bool append(const QJsonObject& line, QString& error);

    // The arguments of a store resumed at the position: --from-start (or an earlier --resume)
    // becomes --resume POSITION.
    static QStringList resumed(QStringList arguments, const QString& position);

private:
    void read(const QByteArray& text, const QString& subcommand);
    bool endsInTornLine() const;

    QString path_;
    QHash<std::uint32_t, Earlier> earlier_;
    QStringList warnings_;
};
