#pragma once

#include <QStringList>

// velkor-cli: dispatches to the subcommand named first on the command line.
class CliApp {
public:
    explicit CliApp(QStringList arguments, QStringList undecodable = QStringList())
        : arguments_(std::move(arguments)), undecodable_(std::move(undecodable)) {}
    int run();

    static QString usage();

private:
    QStringList arguments_;
    QStringList undecodable_;
};
