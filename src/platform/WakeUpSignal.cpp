#include "WakeUpSignal.h"

#include <QtGlobal>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

WakeUpSignal::WakeUpSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) {
        qFatal("WakeUpSignal: no eventfd: %s", strerror(errno));
    }
}

WakeUpSignal::~WakeUpSignal() {
    close(fd_);
}

void WakeUpSignal::raise() {
    if (!pending_.exchange(true, std::memory_order_acq_rel)) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
    }
}

// The counter is read before the flag is cleared: whatever was posted before a raise() that
// found it pending is there for the waiter's next look at its events, which comes after this.
void WakeUpSignal::take() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t taken = read(fd_, &count, sizeof count);
    pending_.store(false, std::memory_order_release);
}
