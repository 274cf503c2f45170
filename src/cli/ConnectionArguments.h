#pragma once

#include "cli/CliResult.h"
#include "cli/CommonOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>

// What every subcommand that reaches a controller reads first: the common options, -q and -h.
struct ConnectionBasics {
    CommonOptions options;
    bool quiet = false;
    bool help = false;
};

// The arguments of a subcommand that reaches a controller, its own options read by the same
// parser as the common ones. When help is asked nothing else is read.
class ConnectionArguments {
public:
    // Grouped: "-qh" is -q and -h. Words: "-quiet" is --quiet.
    enum class Dashes { Grouped, Words };

    // Raises UsageError for what the parser refuses, and for a bad common option.
    ConnectionArguments(const QStringList& arguments, const QList<QCommandLineOption>& own,
                        Dashes dashes);
    ConnectionArguments(const ConnectionArguments&) = delete;
    ConnectionArguments& operator=(const ConnectionArguments&) = delete;

    // A subcommand's own arguments (a struct derived from ConnectionBasics), the basics filled in.
    template <typename Arguments> Arguments start() const {
        Arguments arguments;
        static_cast<ConnectionBasics&>(arguments) = basics_;
        return arguments;
    }
    bool isSet(const QString& name) const { return parser_.isSet(name); }
    QString value(const QString& name) const { return parser_.value(name); }
    QStringList positional() const { return parser_.positionalArguments(); }
    // Raises UsageError unless the options say how to reach the controller.
    void requireLink() const;

private:
    QCommandLineParser parser_;
    ConnectionBasics basics_;
};

// The arguments of a query that takes nothing but the connection (version, stored): a word
// besides it is a usage error naming the subcommand.
ConnectionBasics connectionOnly(const QStringList& arguments, const QString& subcommand);

// The help of such a subcommand: its own text, then that of the common options.
CliResult connectionHelp(const char* text);
