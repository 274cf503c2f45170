#pragma once

#include <QStringList>

// velkor-cli campaign status|ids|events|drain|stop|import: a shared campaign seen and steered from
// any machine that reaches its database.
namespace CampaignCommand {

// arguments: those after "campaign"; returns the exit code.
int run(const QStringList& arguments);
QString help();

} // namespace CampaignCommand
