#pragma once

#include <QString>
#include <QStringList>

class CampaignDatabase;

// A campaign file of --state taken into a database campaign: the campaign is made from what
// the file's lines are for (its subcommand, broker, firmware and operands), and each id gets
// the outcome, exit code and resume position of its latest line, so that the workers of the
// shared campaign skip what succeeded and resume what was interrupted. Ids the campaign has
// already are kept as they are. All of it, or nothing on an error.
namespace CampaignImport {

struct Result {
    QString error;
    QStringList warnings; // lines of the file that were no whole record
    int added = 0;
    int kept = 0;
};

Result run(CampaignDatabase& db, const QString& path);

} // namespace CampaignImport
