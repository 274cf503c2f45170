#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class QIODevice;

// The campaign file of --state: one JSON line per id of a fleet as the id ends (id, what the
// campaign is for, outcome, exit code, resume position, time), appended whole under the kernel's
// lock on the file (LockedAppend), as the journal is. A later run of the same campaign skips
// the ids that succeeded and resumes interrupted stores from their positions; a run killed
// outright loses only the ids that were running, which have no line and so run again. A torn
// line (the writer died in the middle) is ignored with a warning, and the next line starts on a
// line of its own.
//
// A campaign is bound to what it does: a line that was written for another subcommand, broker,
// firmware (its SHA-256) or other operands refuses the file, so that no id is skipped or
// resumed by the lines of another file's store.
class FleetCampaign {
public:
    // What a campaign is for; every line names it.
    struct Purpose {
        QString subcommand;
        QString broker;       // "host:port"
        QString sha256;       // of the firmware file (flash, store); empty for the others
        QStringList operands; // the other operands: send's commands, the read-back's OUT
        // The firmware file's header text, kept by a database campaign to say what it deploys;
        // no line of a campaign file holds it, and no campaign is told apart by it.
        QString header;

        void addTo(QJsonObject& line) const;
        bool isOf(const QJsonObject& line) const;
        // "store of the file with SHA-256 1f0e…, broker 10.0.0.5:10002", for messages.
        static QString describe(const QJsonObject& line);
    };

    // An id's latest line.
    struct Earlier {
        int exitCode = -1;
        QString resume; // "PAGE:ADDR:LINE", empty when there is none
    };

    // A line longer than this is no line the fleet wrote: it is passed over as torn.
    static constexpr qsizetype kMaxLine = 64 * 1024;

    FleetCampaign(QString path, Purpose purpose)
        : path_(std::move(path)), purpose_(std::move(purpose)) {}

    // Reads the lines; false with the reason when the file cannot be read or written, is no
    // regular file, or holds lines of another campaign. Lines that are not whole records are
    // noted in warnings().
    bool open(QString& error);
    std::optional<Earlier> earlier(std::uint32_t id) const;
    // The ids the file has a line of, ascending.
    QList<std::uint32_t> ids() const;
    const QStringList& warnings() const { return warnings_; }

    // Appends one line, with what the campaign is for; false with the reason when it could not
    // be written whole.
    bool append(QJsonObject line, QString& error);

    // The arguments of a store resumed at the position: --from-start (or an earlier --resume)
    // becomes --resume POSITION.
    static QStringList resumed(QStringList arguments, const QString& position);

private:
    bool read(QIODevice& file, QString& error);
    bool take(const QByteArray& text, qint64 number, QString& error);

    QString path_;
    Purpose purpose_;
    QHash<std::uint32_t, Earlier> earlier_;
    QStringList warnings_;
};
