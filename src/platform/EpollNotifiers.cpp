#include "EpollNotifiers.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>

namespace {

// What each type of notifier asks for, and what readiness activates it (a hang-up or an error
// activates every type, as with poll()).
constexpr std::array<std::uint32_t, 3> kWanted{EPOLLIN, EPOLLOUT, EPOLLPRI};
constexpr std::uint32_t kAlways = EPOLLHUP | EPOLLERR;

std::uint32_t wantedBy(const std::array<QSocketNotifier*, 3>& notifiers) {
    std::uint32_t events = 0;
    for (std::size_t type = 0; type < notifiers.size(); ++type) {
        if (notifiers[type]) {
            events |= kWanted[type];
        }
    }
    return events;
}

} // namespace

void EpollNotifiers::add(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    const auto type = std::size_t(notifier->type());
    Watch& watch = watches_[fd];
    if (watch.notifiers[type] && watch.notifiers[type] != notifier) {
        qWarning("EpollNotifiers: a second notifier of the same type for socket %d replaces the "
                 "first",
                 fd);
    }
    watch.notifiers[type] = notifier;
    watch.queued[type] = false;
    markChanged(fd, watch);
}

// The last notifier of a descriptor leaves the set at once: its socket is about to be closed,
// and its number may come back for another socket before the next wait.
void EpollNotifiers::remove(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    const auto found = watches_.find(fd);
    const auto type = std::size_t(notifier->type());
    if (found == watches_.end() || found->second.notifiers[type] != notifier) {
        return;
    }
    Watch& watch = found->second;
    watch.notifiers[type] = nullptr;
    watch.queued[type] = false;
    if (wantedBy(watch.notifiers) != 0) {
        markChanged(fd, watch);
        return;
    }
    if (watch.inKernel != 0) {
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    }
    if (watch.alwaysReady) {
        std::erase(alwaysReady_, fd);
    }
    watches_.erase(found);
}

void EpollNotifiers::markChanged(int fd, Watch& watch) {
    if (!watch.changed) {
        watch.changed = true;
        changed_.push_back(fd);
    }
}

void EpollNotifiers::applyChanges() {
    for (const int fd : changed_) {
        const auto found = watches_.find(fd);
        if (found != watches_.end() && found->second.changed) {
            found->second.changed = false;
            apply(fd, found->second);
        }
    }
    changed_.clear();
}

// A descriptor closed before its notifiers were disabled has left the set by itself; one reused
// meanwhile for another socket is not in the set yet: a modification becomes an addition.
void EpollNotifiers::apply(int fd, Watch& watch) {
    const std::uint32_t wanted = wantedBy(watch.notifiers);
    if (watch.alwaysReady || wanted == watch.inKernel) {
        return;
    }
    epoll_event event{};
    event.events = wanted;
    event.data.fd = fd;
    if (watch.inKernel != 0 && epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event) == 0) {
        watch.inKernel = wanted;
        return;
    }
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) == 0 ||
        (errno == EEXIST && epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event) == 0)) {
        watch.inKernel = wanted;
    } else if (errno == EPERM) {
        watch.alwaysReady = true;
        alwaysReady_.push_back(fd);
    } else {
        qErrnoWarning("EpollNotifiers: socket %d cannot be watched", fd);
    }
}

void EpollNotifiers::queue(int fd, Watch& watch, std::uint32_t events) {
    for (std::size_t type = 0; type < watch.notifiers.size(); ++type) {
        if (watch.notifiers[type] && !watch.queued[type] && (events & (kWanted[type] | kAlways))) {
            watch.queued[type] = true;
            turns_.push_back({fd, int(type)});
        }
    }
}

void EpollNotifiers::queueReady(const epoll_event* events, int count) {
    for (int i = 0; i < count; ++i) {
        const auto found = watches_.find(events[i].data.fd);
        if (found != watches_.end()) {
            queue(found->first, found->second, events[i].events);
        }
    }
    for (const int fd : alwaysReady_) {
        queue(fd, watches_.at(fd), EPOLLIN | EPOLLOUT);
    }
}

// The queue is the thread's, not this call's: a notifier may run a nested event loop, which
// activates the turns after its own, and this call goes on with what is left when it returns.
int EpollNotifiers::activateQueued() {
    int activated = 0;
    QEvent event(QEvent::SockAct);
    while (!turns_.empty()) {
        const Turn turn = turns_.front();
        turns_.pop_front();
        const auto found = watches_.find(turn.fd);
        if (found == watches_.end() || !found->second.queued[std::size_t(turn.type)]) {
            continue; // disabled or deleted since it was queued
        }
        found->second.queued[std::size_t(turn.type)] = false;
        QCoreApplication::sendEvent(found->second.notifiers[std::size_t(turn.type)], &event);
        ++activated;
    }
    return activated;
}
