#include "BenchSupport.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

QByteArray recordLine(char type, const QByteArray& body) {
    int sum = int(body.size()) + 1;
    for (char b : body) {
        sum += std::uint8_t(b);
    }
    QByteArray line = "S" + QByteArray(1, type);
    line += QByteArray::number(body.size() + 1, 16).rightJustified(2, '0').toUpper();
    line += body.toHex().toUpper();
    line += QByteArray::number(0xFF - (sum & 0xFF), 16).rightJustified(2, '0').toUpper();
    return line;
}

QByteArray address32(std::uint32_t address) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[3 - i] = char((address >> (8 * i)) & 0xFF);
    }
    return bytes;
}

} // namespace

Bench::Simulator::~Simulator() {
    if (process) {
        process->kill();
        process->waitForFinished(2000);
    }
}

Bench::Simulator Bench::startSimulator(const QStringList& arguments) {
    Simulator sim;
    sim.process = std::make_unique<QProcess>();
    sim.process->setProcessChannelMode(QProcess::SeparateChannels);
    sim.process->start(QStringLiteral(VELKOR_DEVSIM_PATH), arguments);
    QByteArray out;
    while (!out.contains("ready") && sim.process->waitForReadyRead(5000)) {
        out += sim.process->readAllStandardOutput();
    }
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2) {
            const auto port = quint16(words[1].mid(words[1].lastIndexOf(':') + 1).toUInt());
            if (words[0] == "tcp") {
                sim.tcpPort = port;
            } else if (words[0] == "broker") {
                sim.brokerPort = port;
            }
        }
    }
    if (!out.contains("ready")) {
        std::fprintf(stderr, "bench: the simulator did not start: %s\n", out.constData());
        std::exit(1);
    }
    return sim;
}

void Bench::writeFirmware(const QString& path, int records, const QByteArray& header) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.write(recordLine('0', QByteArray(2, '\0') + header) + "\r\n");
    QByteArray data(32, '\0');
    for (int r = 0; r < records; ++r) {
        for (int i = 0; i < data.size(); ++i) {
            data[i] = char((r * 7 + i * 13) & 0xFF);
        }
        file.write(recordLine('3', address32(0x08000000U + std::uint32_t(r) * 32) + data) + "\r\n");
    }
    file.write(recordLine('7', address32(0x08000000U)) + "\r\n");
}

double Bench::cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& tv) { return double(tv.tv_sec) * 1000.0 + tv.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
