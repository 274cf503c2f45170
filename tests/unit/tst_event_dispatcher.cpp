// The event loop of the threads that carry many sockets, held to the contract of Qt's own
// dispatcher: every row runs on a thread of its own with the epoll dispatcher and again with
// Qt's, and both must tell the same story.
#include "platform/EpollDispatcher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <memory>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// How late a timer may fire on a busy machine (the suite runs beside others on two cores); none
// may fire early.
constexpr qint64 kLateMs = 100;

// A connected pair of local sockets: bytes written at the far end make the near end readable.
struct SocketPair {
    SocketPair() {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            qFatal("socketpair failed");
        }
    }
    ~SocketPair() {
        close(fds[0]);
        close(fds[1]);
    }
    int near() const { return fds[0]; }
    void writeOne() const { QCOMPARE_EQ(write(fds[1], "x", 1), 1); }
    void readOne() const {
        char byte;
        QCOMPARE_EQ(read(fds[0], &byte, 1), 1);
    }
    int fds[2];
};

// Runs the loop until a step quits it; a row that hangs ends after five seconds, saying so.
void runLoop(QEventLoop& loop, QStringList& trace) {
    QTimer::singleShot(5000, &loop, [&] {
        trace << "hung";
        loop.quit();
    });
    loop.exec();
}

void quitWhenQuiet(QEventLoop& loop, QStringList& trace) {
    QTimer::singleShot(50, &loop, [&] {
        trace << "quiet";
        loop.quit();
    });
}

// Level-triggered: a byte left unread activates the notifier again; once read, no more.
QStringList readableSocket() {
    QStringList trace;
    QEventLoop loop;
    SocketPair pair;
    QSocketNotifier notifier(pair.near(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        if (!trace.contains("readable")) {
            trace << "readable";
            return;
        }
        trace << "readable again";
        pair.readOne();
        quitWhenQuiet(loop, trace);
    });
    pair.writeOne();
    runLoop(loop, trace);
    return trace;
}

// Two sockets ready in the same wake; whichever notifier goes first takes the other's byte and
// deletes its notifier, or disables it and enables it again: either way the other's turn in
// that wake must not come.
enum class Gone { Deleted, Replaced };
QStringList notifierGoneBeforeItsTurn(Gone how) {
    QStringList trace;
    QEventLoop loop;
    SocketPair pairs[2];
    std::unique_ptr<QSocketNotifier> notifiers[2];
    for (int i = 0; i < 2; ++i) {
        notifiers[i] = std::make_unique<QSocketNotifier>(pairs[i].near(), QSocketNotifier::Read);
        QObject::connect(notifiers[i].get(), &QSocketNotifier::activated, [&, i] {
            trace << "one activated";
            pairs[0].readOne();
            pairs[1].readOne();
            auto& other = notifiers[1 - i];
            if (how == Gone::Deleted) {
                other.reset();
            } else {
                other->setEnabled(false);
                other->setEnabled(true);
            }
            quitWhenQuiet(loop, trace);
        });
        pairs[i].writeOne();
    }
    runLoop(loop, trace);
    return trace;
}
QStringList notifierDeletedBeforeItsTurn() {
    return notifierGoneBeforeItsTurn(Gone::Deleted);
}
QStringList notifierReplacedBeforeItsTurn() {
    return notifierGoneBeforeItsTurn(Gone::Replaced);
}

// Single-shot timers of 40, 0, 20 and 10 ms and one of 25 ms ticking three times: each fires in
// the order of its moment, never before it, and not much after it.
QStringList timersInOrder() {
    QStringList trace;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    const auto fired = [&](qint64 dueMs) {
        const qint64 at = clock.elapsed();
        trace << (at >= dueMs && at <= dueMs + kLateMs
                      ? QStringLiteral("%1 ms").arg(dueMs)
                      : QStringLiteral("%1 ms fired at %2 ms").arg(dueMs).arg(at));
    };
    std::vector<std::unique_ptr<QTimer>> timers;
    for (const int ms : {40, 0, 20, 10}) {
        auto& timer = timers.emplace_back(std::make_unique<QTimer>());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [&fired, ms] { fired(ms); });
        timer->start(ms);
    }
    QTimer periodic;
    periodic.setTimerType(Qt::PreciseTimer);
    int ticks = 0;
    QObject::connect(&periodic, &QTimer::timeout, [&] {
        fired(25 * ++ticks);
        if (ticks == 3) {
            periodic.stop();
            quitWhenQuiet(loop, trace);
        }
    });
    periodic.start(25);
    runLoop(loop, trace);
    return trace;
}

// Three timers due at the same moment: the first stops the second and starts the third again,
// which then fires a whole interval later, not in the same pass.
QStringList timersChangedByAnEarlierOne() {
    QStringList trace;
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer first, second, third;
    for (QTimer* timer : {&first, &second, &third}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    QObject::connect(&first, &QTimer::timeout, [&] {
        trace << "first";
        second.stop();
        third.start(20);
    });
    QObject::connect(&second, &QTimer::timeout, [&] { trace << "second"; });
    QObject::connect(&third, &QTimer::timeout, [&] {
        trace << (clock.elapsed() >= 30 ? "third, restarted" : "third, too early");
        quitWhenQuiet(loop, trace);
    });
    clock.start();
    for (QTimer* timer : {&first, &second, &third}) {
        timer->start(10);
    }
    runLoop(loop, trace);
    return trace;
}

// The thread waits with no timer due: an event posted from another thread wakes it.
QStringList eventPostedFromAnotherThread() {
    QStringList trace;
    QEventLoop loop;
    QObject receiver;
    QElapsedTimer sent;
    std::thread poster([&] {
        std::this_thread::sleep_for(30ms);
        sent.start();
        QMetaObject::invokeMethod(
            &receiver,
            [&] {
                trace << (sent.elapsed() <= kLateMs ? "posted event ran" : "posted event late");
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    runLoop(loop, trace);
    poster.join();
    return trace;
}

// The thread waits with no timer due: quitting it from another thread interrupts the wait.
QStringList quitFromAnotherThread() {
    QStringList trace;
    QEventLoop loop;
    QThread* self = QThread::currentThread();
    std::thread quitter([self] {
        std::this_thread::sleep_for(30ms);
        self->quit();
    });
    runLoop(loop, trace);
    quitter.join();
    trace << "ended";
    return trace;
}

struct Scenario {
    const char* name;
    QStringList (*run)();
    QStringList story;
};

const Scenario kScenarios[] = {
    {"readable socket, level-triggered", readableSocket, {"readable", "readable again", "quiet"}},
    {"notifier deleted before its turn", notifierDeletedBeforeItsTurn, {"one activated", "quiet"}},
    {"notifier disabled and enabled before its turn",
     notifierReplacedBeforeItsTurn,
     {"one activated", "quiet"}},
    {"timers in order and on time",
     timersInOrder,
     {"0 ms", "10 ms", "20 ms", "25 ms", "40 ms", "50 ms", "75 ms", "quiet"}},
    {"timers changed by an earlier one",
     timersChangedByAnEarlierOne,
     {"first", "third, restarted", "quiet"}},
    {"event posted from another thread", eventPostedFromAnotherThread, {"posted event ran"}},
    {"quit from another thread", quitFromAnotherThread, {"ended"}},
};

} // namespace

class EventDispatcherTest : public QObject {
    Q_OBJECT
private slots:
    void keepsQtsContract_data();
    void keepsQtsContract();
};

void EventDispatcherTest::keepsQtsContract_data() {
    QTest::addColumn<bool>("epoll");
    QTest::addColumn<int>("scenario");
    for (const bool epoll : {true, false}) {
        for (int i = 0; i < int(std::size(kScenarios)); ++i) {
            QTest::addRow("%s, %s", epoll ? "epoll" : "Qt's", kScenarios[i].name) << epoll << i;
        }
    }
}

void EventDispatcherTest::keepsQtsContract() {
    QFETCH(bool, epoll);
    QFETCH(int, scenario);
    QThread thread;
    if (epoll) {
        thread.setEventDispatcher(new EpollDispatcher);
    }
    QObject context;
    context.moveToThread(&thread);
    thread.start();
    QStringList story;
    QMetaObject::invokeMethod(
        &context, [&] { story = kScenarios[scenario].run(); }, Qt::BlockingQueuedConnection);
    // The thread waits with nothing due: only the quit's interrupt can end its loop.
    thread.quit();
    QVERIFY(thread.wait(2000));
    QCOMPARE(story, kScenarios[scenario].story);
}

QTEST_GUILESS_MAIN(EventDispatcherTest)
#include "tst_event_dispatcher.moc"
