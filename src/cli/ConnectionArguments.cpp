#include "cli/ConnectionArguments.h"

#include "cli/UsageError.h"

ConnectionArguments::ConnectionArguments(const QStringList& arguments,
                                         const QList<QCommandLineOption>& own, Dashes dashes) {
    if (dashes == Dashes::Words) {
        parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }
    CommonOptions::addTo(parser_);
    parser_.addOptions({{{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Quiet.")},
                        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Help.")}});
    parser_.addOptions(own);
    if (!parser_.parse(arguments)) {
        throw UsageError(parser_.errorText());
    }
    basics_.help = parser_.isSet(QStringLiteral("help"));
    if (basics_.help) {
        return;
    }
    basics_.options = CommonOptions::from(parser_);
    basics_.quiet = parser_.isSet(QStringLiteral("quiet"));
}

void ConnectionArguments::requireLink() const {
    if (basics_.options.link == CommonOptions::Link::None) {
        throw UsageError(
            QStringLiteral("say how to reach the controller: --serial, --tcp or --broker"));
    }
}

ConnectionBasics connectionOnly(const QStringList& arguments, const QString& subcommand) {
    const ConnectionArguments read(arguments, {}, ConnectionArguments::Dashes::Grouped);
    auto parsed = read.start<ConnectionBasics>();
    if (parsed.help) {
        return parsed;
    }
    if (!read.positional().isEmpty()) {
        throw UsageError(
            QStringLiteral("%1 takes no arguments besides the connection").arg(subcommand));
    }
    read.requireLink();
    return parsed;
}

CliResult connectionHelp(const char* text) {
    CliResult help;
    help.output = QByteArray(text) + CommonOptions::helpText();
    return help;
}
