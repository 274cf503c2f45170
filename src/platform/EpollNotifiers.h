#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

class QSocketNotifier;
struct epoll_event;

// The socket notifiers of one thread in an epoll set, level-triggered as Qt's notifiers are:
// a wait hears only the descriptors that are ready, where poll() would look at every socket of
// the thread each time. A descriptor epoll refuses (a regular file) counts as always ready,
// as poll() reports it.
// Enabling and disabling a notifier changes the set only before the next wait, so a socket
// that is written to and flushed at once (its write notifier on and off again) costs the
// kernel nothing. A notifier's activation goes through a queue: each ready one is queued once, and
// one that is disabled or deleted before its turn (by a notifier activated ahead of it) is not
// activated.
class EpollNotifiers {
public:
    // Adds the notifiers to the epoll set `epollFd`, which the caller waits on.
    explicit EpollNotifiers(int epollFd) : epollFd_(epollFd) {}

    void add(QSocketNotifier* notifier);
    void remove(QSocketNotifier* notifier);
    // Brings the epoll set up to date with the notifiers: before each wait.
    void applyChanges();
    // Queues the notifiers the ready events concern (events for descriptors not watched here
    // are left alone), and those of the descriptors that are always ready.
    void queueReady(const epoll_event* events, int count);
    bool hasAlwaysReady() const { return !alwaysReady_.empty(); }
    // Activates the queued notifiers in turn, including those queued meanwhile by a nested
    // event loop; returns how many were activated.
    int activateQueued();

private:
    static constexpr int kTypes = 3; // QSocketNotifier::Read, Write, Exception
    struct Watch {
        std::array<QSocketNotifier*, kTypes> notifiers{};
        std::array<bool, kTypes> queued{};
        std::uint32_t inKernel = 0; // the events the epoll set watches for it (0: not in it)
        bool alwaysReady = false;
        bool changed = false; // since the last applyChanges()
    };
    struct Turn {
        int fd;
        int type;
    };

    void markChanged(int fd, Watch& watch);
    void apply(int fd, Watch& watch);
    void queue(int fd, Watch& watch, std::uint32_t events);

    int epollFd_;
    std::unordered_map<int, Watch> watches_;
    std::vector<int> alwaysReady_;
    std::vector<int> changed_;
    std::deque<Turn> turns_;
};
