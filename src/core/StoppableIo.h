#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <functional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>
#else
#include <io.h>
#endif

// Header only: the simulator borrows the safe file write, which uses it.
//
// Reads and writes on what can hold a thread in the system without end: a FIFO or a pipe whose
// other end neither reads nor writes, a terminal nobody types on. A caught signal does not end
// such a call (it is restarted), so these never enter one that could block: they wait for the
// descriptor in slices of kSliceMs and ask between the slices whether the run is to stop.
namespace StoppableIo {

constexpr int kSliceMs = 100;

// The question "is this thread to stop?" asked between the slices; without one nothing stops a
// wait. A front end that catches stop signals sets it for the thread of each run while the
// scope lives.
using StopCheck = std::function<bool()>;
class StopCheckScope {
public:
    explicit StopCheckScope(StopCheck check);
    ~StopCheckScope();
    StopCheckScope(const StopCheckScope&) = delete;
    StopCheckScope& operator=(const StopCheckScope&) = delete;

private:
    StopCheck previous_;
};
// The calling thread's answer; false without a check.
bool stopRequested();

enum class Wait { Ready, Stopped, Failed };
// Waits until fd can be read (or written): Ready; Stopped once stop() says so and fd has not
// become ready within graceMs more; Failed with errno set when the system refuses the wait.
Wait waitFor(int fd, bool writing, const StopCheck& stop, int graceMs = 0);

// Writes every byte to fd, a blocking descriptor shared with others (standard output) or one of
// our own: never more at a time than a pipe takes at once once it has room, so no write blocks.
// Returns the bytes written; fewer when a stop came (stopped is set) or the write failed (errno).
qint64 writeAll(int fd, QByteArrayView bytes, const StopCheck& stop, bool& stopped,
                int graceMs = 0);

} // namespace StoppableIo

namespace StoppableIo::detail {

inline thread_local StopCheck threadCheck;

#ifdef Q_OS_UNIX
// A pipe with room takes this much in one write without blocking.
inline constexpr qsizetype kPiece = PIPE_BUF;
#else
inline constexpr qsizetype kPiece = 4096;
#endif

} // namespace StoppableIo::detail

inline StoppableIo::StopCheckScope::StopCheckScope(StopCheck check)
    : previous_(std::move(detail::threadCheck)) {
    detail::threadCheck = std::move(check);
}

inline StoppableIo::StopCheckScope::~StopCheckScope() {
    detail::threadCheck = std::move(previous_);
}

inline bool StoppableIo::stopRequested() {
    return detail::threadCheck && detail::threadCheck();
}

inline StoppableIo::Wait StoppableIo::waitFor([[maybe_unused]] int fd,
                                              [[maybe_unused]] bool writing,
                                              [[maybe_unused]] const StopCheck& stop,
                                              [[maybe_unused]] int graceMs) {
#ifdef Q_OS_UNIX
    QElapsedTimer sinceStop;
    for (;;) {
        if (!sinceStop.isValid() && stop && stop()) {
            sinceStop.start();
        }
        const int slice = sinceStop.isValid()
                              ? int(std::clamp<qint64>(graceMs - sinceStop.elapsed(), 0, kSliceMs))
                              : kSliceMs;
        pollfd watched{fd, short(writing ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&watched, 1, slice);
        if (ready > 0) {
            return Wait::Ready; // readable, writable, or an end or error the next call reports
        }
        if (ready < 0 && errno != EINTR) {
            return Wait::Failed;
        }
        if (sinceStop.isValid() && sinceStop.elapsed() >= graceMs) {
            return Wait::Stopped;
        }
    }
#else
    return Wait::Ready;
#endif
}

inline qint64 StoppableIo::writeAll(int fd, QByteArrayView bytes, const StopCheck& stop,
                                    bool& stopped, int graceMs) {
    stopped = false;
    qint64 done = 0;
#ifdef Q_OS_UNIX
    // A descriptor of our own is non-blocking: it is written first and waited for when full. A
    // shared one is waited for first; a pipe says it has room only once a page is free, so such
    // a write waits while less than a page is left in it.
    const bool ownDescriptor = (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
#else
    const bool ownDescriptor = false;
#endif
    bool writable = ownDescriptor;
    while (done < bytes.size()) {
        if (!writable) {
            const Wait wait = waitFor(fd, true, stop, graceMs);
            if (wait != Wait::Ready) {
                stopped = wait == Wait::Stopped;
                return done;
            }
        }
        const qsizetype piece = std::min(detail::kPiece, bytes.size() - qsizetype(done));
#ifdef Q_OS_UNIX
        const ssize_t written = ::write(fd, bytes.data() + done, std::size_t(piece));
        writable = ownDescriptor && written > 0;
        if (written < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
#else
        const int written = ::_write(fd, bytes.data() + done, unsigned(piece));
#endif
        if (written <= 0) {
            return done;
        }
        done += written;
    }
    return done;
}
