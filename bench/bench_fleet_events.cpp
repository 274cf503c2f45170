// Times a fleet's live events as the fleet writes them (--events FILE): the processor time of
// one event line, from the member's state to the line appended to the file, for the events a
// fleet writes most (an id's start, progress and end).
//
//   bench_fleet_events [EVENTS]    (default 200000)
//
// Prints "events: N lines, T ms, U us an event (processor time), B bytes a line".
#include "cli/FleetEvents.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

double processorMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

FleetMember ended(std::uint32_t id) {
    FleetMember m;
    m.id = id;
    m.state = FleetMember::State::Done;
    m.exitCode = 0;
    m.elapsedMs = 7012;
    m.result = {{QStringLiteral("outcome"), QStringLiteral("success")},
                {QStringLiteral("status"), QStringLiteral("Операция выполнена за 00:00:06")}};
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.jsonl"));
    FleetEvents events;
    QString error;
    if (!events.open(path, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double start = processorMs();
    for (int i = 0; i < count; i += 3) {
        FleetMember m = ended(std::uint32_t(i % 1000 + 1));
        events.idStarted(m, 0);
        m.done = 120;
        m.total = 200;
        m.message = QStringLiteral("Идет программирование устройства... 60.0 %");
        events.idProgress(m);
        events.idEnded(m);
    }
    const double ms = processorMs() - start;
    std::printf("events: %lld lines, %.1f ms, %.2f us an event (processor time), %lld bytes a "
                "line\n",
                static_cast<long long>(events.written()), ms,
                ms * 1000.0 / double(events.written()),
                static_cast<long long>(QFileInfo(path).size() / qMax<qint64>(1, events.written())));
    return 0;
}
