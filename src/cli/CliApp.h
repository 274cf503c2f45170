#pragma once

#include <QStringList>

// velkor-cli: dispatches to the subcommand named first on the command line.
class CliApp {
public:
    explicit CliApp(QStringList arguments) : arguments_(std::move(arguments)) {}
    int run();

    static QString usage();

private:
    QStringList arguments_;
};
