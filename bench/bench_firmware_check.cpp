// Times reading a large S-record file into lines and checking every record, and reports the
// peak memory of the process. Generates the file (S0 header, S3 records of 32 data bytes, S7)
// unless it is already there.
//
//   bench_firmware_check [--file PATH] [--size-mb N] [--runs N]
//
// Prints "key: value" lines for the benchmark script.
#include "BenchSupport.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FirmwareImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void appendRecord(QByteArray& out, char type, const QByteArray& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    const unsigned count = unsigned(bytes.size()) + 1;
    unsigned sum = count;
    out.append('S').append(type).append(digits[count >> 4]).append(digits[count & 0xF]);
    for (char c : bytes) {
        const auto b = std::uint8_t(c);
        out.append(digits[b >> 4]).append(digits[b & 0xF]);
        sum += b;
    }
    const unsigned checksum = 0xFF - (sum & 0xFF);
    out.append(digits[checksum >> 4]).append(digits[checksum & 0xF]).append("\r\n");
}

QByteArray bigEndian(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = char(value >> (24 - 8 * i));
    }
    return bytes;
}

bool generate(const QString& path, qint64 targetBytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray chunk;
    appendRecord(chunk, '0', QByteArray(2, '\0') + "UNIT:BENCH synthetic image");
    qint64 written = 0;
    std::uint32_t address = 0;
    QByteArray data(32, '\0');
    while (written + chunk.size() < targetBytes) {
        for (int i = 0; i < 32; ++i) {
            data[i] = char((address + std::uint32_t(i)) * 37u);
        }
        appendRecord(chunk, '3', bigEndian(address) + data);
        address += 32;
        if (chunk.size() >= (1 << 20)) {
            written += file.write(chunk);
            chunk.resize(0);
        }
    }
    appendRecord(chunk, '7', bigEndian(0));
    return file.write(chunk) == chunk.size();
}

long peakRssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString path;
    qint64 sizeMb = 50;
    int runs = 3;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QStringLiteral("--file")) {
            path = args[i + 1];
        } else if (args[i] == QStringLiteral("--size-mb")) {
            sizeMb = args[i + 1].toLongLong();
        } else if (args[i] == QStringLiteral("--runs")) {
            runs = qMax(1, args[i + 1].toInt());
        }
    }
    QTemporaryDir dir;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("bench.s37"));
    }
    if (!QFileInfo::exists(path) && !generate(path, sizeMb * 1000 * 1000)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const qint64 bytes = QFileInfo(path).size();
    const long baselineKb = peakRssKb();

    double best = 1e9;
    qsizetype lines = 0;
    bool sound = false;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        FirmwareImage image = FirmwareImage::load(path);
        sound = CheckFirmwareLines(image).sound();
        lines = image.size();
        best = qMin(best, double(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("file: %s\nbytes: %lld\nlines: %lld\nsound: %s\nseconds: %.4f\n"
                "mb_per_s: %.1f\npeak_rss_kb: %ld\nbaseline_rss_kb: %ld\n",
                qPrintable(path), static_cast<long long>(bytes), static_cast<long long>(lines),
                sound ? "yes" : "no", best, double(bytes) / 1e6 / best, peakRssKb(), baselineKb);
    return sound ? 0 : 2;
}
