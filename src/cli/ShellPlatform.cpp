#include "cli/ShellPlatform.h"

#include "cli/FleetChannel.h"

#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#endif

namespace {

std::atomic<int> stopSignal{0};
// The first stop signal of the run, kept after the run took it: the writes still to come (the
// result, the last messages) no longer wait for a stalled reader.
std::atomic<int> stopSeen{0};
// How many of each stop signal came; one more of a kind than `allowedOfKind` ends the program.
std::atomic<int> caughtOfKind[32]{};
std::atomic<int> allowedOfKind{1};
// Every stop signal caught, of any kind.
std::atomic<int> caughtAll{0};

#ifdef Q_OS_UNIX
// The terminal's settings while EchoOff has echo off, for a signal that ends the program then.
termios echoSaved{};
std::atomic<bool> echoToRestore{false};
#endif

constexpr int kStopSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

// Notes the signal; the handler itself touches nothing else. One of a kind past those allowed
// gives the terminal its echo back (a password prompt had it off) and takes the default action.
extern "C" void onStopSignal(int signal) {
    if (caughtOfKind[signal & 31].fetch_add(1) >= allowedOfKind.load()) {
#ifdef Q_OS_UNIX
        if (echoToRestore.load()) {
            tcsetattr(STDIN_FILENO, TCSANOW, &echoSaved);
        }
#endif
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    stopSignal.store(signal);
    caughtAll.fetch_add(1);
    int none = 0;
    stopSeen.compare_exchange_strong(none, signal);
}

bool isTerminal(int fd) {
#ifdef Q_OS_UNIX
    return isatty(fd) != 0;
#else
    return _isatty(fd) != 0;
#endif
}

} // namespace

bool ShellPlatform::stdinIsTerminal() {
    return isTerminal(0);
}

bool ShellPlatform::stderrIsTerminal() {
    return isTerminal(2);
}

// The width (or height) of the terminal on standard error; the fallback where there is none
// or it says no more than `least`.
static int terminalDimension([[maybe_unused]] bool width, [[maybe_unused]] int least,
                             int fallback) {
#ifdef Q_OS_UNIX
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) {
        const int value = width ? size.ws_col : size.ws_row;
        if (value > least) {
            return value;
        }
    }
#endif
    return fallback;
}

int ShellPlatform::terminalColumns() {
    return terminalDimension(true, 20, 80);
}

int ShellPlatform::terminalRows() {
    return terminalDimension(false, 2, 24);
}

ShellPlatform::EchoOff::EchoOff() {
#ifdef Q_OS_UNIX
    static_assert(sizeof(termios) <= sizeof(saved_));
    termios current{};
    if (tcgetattr(STDIN_FILENO, &current) != 0) {
        return;
    }
    std::memcpy(saved_, &current, sizeof current);
    echoSaved = current;
    echoToRestore.store(true);
    current.c_lflag &= ~tcflag_t(ECHO);
    restore_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &current) == 0;
    echoToRestore.store(restore_);
#endif
}

ShellPlatform::EchoOff::~EchoOff() {
#ifdef Q_OS_UNIX
    if (restore_) {
        termios saved{};
        std::memcpy(&saved, saved_, sizeof saved);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        echoToRestore.store(false);
    }
#endif
}

void ShellPlatform::catchStopSignals(int allowed) {
    if (FleetChannel::current() != nullptr) {
        return; // the fleet catches them for the whole process
    }
    stopSignal.store(0);
    stopSeen.store(0);
    caughtAll.store(0);
    for (auto& caught : caughtOfKind) {
        caught.store(0);
    }
    allowedOfKind.store(allowed);
    for (const int signal : kStopSignals) {
        std::signal(signal, onStopSignal);
    }
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void ShellPlatform::releaseStopSignals() {
    if (FleetChannel::current() != nullptr) {
        return;
    }
    for (const int signal : kStopSignals) {
        std::signal(signal, SIG_DFL);
    }
}

int ShellPlatform::takeStopSignal() {
    if (FleetChannel* channel = FleetChannel::current()) {
        return channel->takeStop(); // passed on by the fleet to each of its running members
    }
    return stopSignal.exchange(0);
}

int ShellPlatform::stopReceived() {
    return stopSeen.load();
}

int ShellPlatform::stopsCaught() {
    return caughtAll.load();
}

int ShellPlatform::exitCodeForSignal(int signal) {
    return 128 + signal;
}

const char* ShellPlatform::signalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        return "signal";
    }
}

ShellPlatform::FifoHold::~FifoHold() {
#ifdef Q_OS_UNIX
    if (fd_ >= 0) {
        ::close(fd_);
    }
#endif
}

int ShellPlatform::FifoHold::open(const char* path, const std::function<void()>& onNoReader) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISFIFO(info.st_mode)) {
        return 0;
    }
    // Without O_NONBLOCK the open would wait for a reader inside the system, past any signal.
    for (bool told = false;; told = true) {
        fd_ = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0 || errno != ENXIO) {
            return 0; // any other failure shows when the data is written
        }
        if (!told) {
            onNoReader();
        }
        if (const int signal = takeStopSignal(); signal != 0) {
            return signal;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
#else
    Q_UNUSED(path);
    Q_UNUSED(onNoReader);
    return 0;
#endif
}
