#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// One subcommand of velkor-cli. run() gets the arguments after the program name, the
// subcommand's name first, and returns the exit code.
struct Subcommand {
    QString name;
    QString summary;
    std::function<int(const QStringList& arguments)> run;
    bool hidden = false; // a helper left out of --help (the demo's sample file)
};

// Every subcommand, in the order --help lists them.
const std::vector<Subcommand>& allSubcommands();
