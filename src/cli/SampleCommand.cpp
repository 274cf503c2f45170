#include "cli/SampleCommand.h"

#include "cli/ExitCodes.h"
#include "cli/ShellOutput.h"
#include "cli/UsageError.h"
#include "core/Cp1251.h"
#include "core/SafeFile.h"
#include "firmware/HeaderRecord.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

const char* kHelp =
    "Usage: velkor-cli sample OUT [--records N] [--header TEXT]\n"
    "Writes a firmware file of our own making to OUT, to try the loader with: a header record,\n"
    "N data records of 16 bytes (S3, from address 0x08000000) and an end record (S7).\n"
    "  --records N     data records, 1 to 100000 (default 64)\n"
    "  --header TEXT   the header text (default \"UNIT:LUMET52 demo 2.1\", which fits the\n"
    "                  simulator's flash signature and the storage load's update signature)\n";

constexpr quint32 kBaseAddress = 0x08000000;
constexpr int kDataBytes = 16;

// One record line: type, count, address of addressBytes bytes, data and checksum.
QByteArray record(int type, quint32 address, int addressBytes, const QByteArray& data) {
    QByteArray body;
    for (int i = addressBytes - 1; i >= 0; --i) {
        body.append(char((address >> (8 * i)) & 0xFF));
    }
    body += data;
    const auto count = quint8(body.size() + 1);
    quint32 sum = count;
    for (const char c : body) {
        sum += quint8(c);
    }
    body.append(char(0xFF - (sum & 0xFF)));
    return "S" + QByteArray::number(type) + QByteArray(1, char(count)).toHex().toUpper() +
           body.toHex().toUpper();
}

// Data that looks like code, the same on every run.
QByteArray dataOf(int index) {
    QByteArray data(kDataBytes, '\0');
    quint32 x = 0x9E3779B9U * quint32(index + 1);
    for (char& c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x & 0xFF);
    }
    return data;
}

CliResult runSample(const QStringList& arguments, const RunFlags&) {
    QCommandLineParser parser;
    parser.addOptions({{"records", "Data records.", "N"},
                       {"header", "Header text.", "TEXT"},
                       {{"h", "help"}, "Help."}});
    if (!parser.parse(arguments)) {
        throw UsageError(parser.errorText());
    }
    if (parser.isSet("help")) {
        CliResult help;
        help.output = kHelp;
        return help;
    }
    if (parser.positionalArguments().size() != 1) {
        throw UsageError(QStringLiteral("name one output file OUT"));
    }
    bool ok = true;
    const int records = parser.isSet("records") ? parser.value("records").toInt(&ok) : 64;
    if (!ok || records < 1 || records > 100000) {
        throw UsageError(QStringLiteral("--records: a number of 1 to 100000"));
    }
    const QString header =
        parser.isSet("header") ? parser.value("header") : QStringLiteral("UNIT:LUMET52 demo 2.1");
    QByteArray text;
    for (const QByteArray& line : HeaderRecord::buildAll(Cp1251::encode(header))) {
        text += line + "\r\n";
    }
    for (int i = 0; i < records; ++i) {
        text += record(3, kBaseAddress + quint32(i * kDataBytes), 4, dataOf(i)) + "\r\n";
    }
    text += record(7, kBaseAddress, 4, QByteArray()) + "\r\n";
    const QString out = parser.positionalArguments().first();
    QString error;
    if (!writeFileSafely(out, text, &error)) {
        ShellOutput::report(QStringLiteral("sample"), error);
        return CliResult::withCode(kExitIoErr, error);
    }
    CliResult result;
    result.file = out;
    result.output = (out + QLatin1Char('\n')).toLocal8Bit();
    return result;
}

} // namespace

Subcommand sampleSubcommand() {
    return {QStringLiteral("sample"), QStringLiteral("write a sample firmware file"), runSample,
            true};
}
