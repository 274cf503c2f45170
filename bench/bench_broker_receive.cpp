// Times cutting the broker's byte stream into frames: a large chunk of small frames (what a
// backlog of answers looks like), the same stream byte by byte, and hostile chunks that
// make the resynchronisation search hardest (lead bytes everywhere, lengths near the limit,
// noise).
//
//   bench_broker_receive [--mb N]
//
// Prints "key: value" lines.
#include "connections/BrokerReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

void report(const char* key, qint64 bytes, qint64 ns, qsizetype pieces) {
    std::printf("%s: %.1f MB/s (%lld bytes, %lld pieces, %.1f ms)\n", key,
                double(bytes) / 1e6 / (double(ns) / 1e9), static_cast<long long>(bytes),
                static_cast<long long>(pieces), double(ns) / 1e6);
}

template <typename Feed> void run(const char* key, const QByteArray& stream, Feed feed) {
    BrokerReceiver receiver;
    QElapsedTimer clock;
    clock.start();
    const qsizetype pieces = feed(receiver, stream);
    report(key, stream.size(), clock.nsecsElapsed(), pieces);
}

qsizetype bulk(BrokerReceiver& receiver, const QByteArray& stream) {
    return receiver.feed(stream).size();
}

qsizetype inChunks(BrokerReceiver& receiver, const QByteArray& stream, qsizetype chunk) {
    qsizetype pieces = 0;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        pieces += receiver.feed(stream.mid(at, chunk)).size();
    }
    return pieces;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype index = args.indexOf(QStringLiteral("--mb"));
    const int mb = index >= 0 ? args.value(index + 1).toInt() : 4;
    const qsizetype target = qsizetype(mb) * 1024 * 1024;

    QByteArray frames;
    for (int n = 0; frames.size() < target; ++n) {
        frames += BrokerFrame::encode({0x41, 1, QByteArray::number(n) + "\r\n"});
    }
    run("small frames, one chunk", frames, bulk);
    run("small frames, 1460-byte chunks", frames,
        [](BrokerReceiver& r, const QByteArray& s) { return inChunks(r, s, 1460); });
    run("small frames, byte by byte", frames.left(256 * 1024),
        [](BrokerReceiver& r, const QByteArray& s) { return inChunks(r, s, 1); });

    // Every byte a lead byte, every length 0x0101: each position is a candidate whose CRC
    // must be computed over 269 bytes.
    run("lead bytes everywhere", QByteArray(target, '\x01'), bulk);
    // Lengths near the limit: candidates of about 4 KB each.
    QByteArray hostile(target, '\x0F');
    for (qsizetype at = 0; at < hostile.size(); at += 97) {
        hostile[at] = '\x01';
    }
    run("long candidates every 97 bytes", hostile, bulk);
    // Noise: nothing marks where a frame starts, so every position is tried.
    QByteArray noise(target, '\0');
    std::uint32_t state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245U + 12345U;
        byte = char(state >> 24);
    }
    run("random bytes, 64 KB chunks", noise,
        [](BrokerReceiver& r, const QByteArray& s) { return inChunks(r, s, 65536); });
    return 0;
}
