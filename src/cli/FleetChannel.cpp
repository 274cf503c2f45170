#include "cli/FleetChannel.h"

#include <QList>
#include <QMutexLocker>
#include <algorithm>

#include "core/LoaderState.h"

namespace {

thread_local FleetChannel* currentChannel = nullptr;

// A message line longer than this is cut: a member must not grow the fleet by a line without end.
constexpr qsizetype kMaxLine = 4096;

} // namespace

qsizetype FleetChannel::answerLimitFor(int jobs) {
    return std::clamp<qsizetype>(kAnswerBudget / std::max(1, jobs), 64 * 1024, kDefaultAnswerLimit);
}

FleetChannel* FleetChannel::current() {
    return currentChannel;
}

FleetChannel::Scope::Scope(FleetChannel* channel) : previous_(currentChannel) {
    currentChannel = channel;
    if (channel != nullptr && channel->stopCheck) {
        stopCheck_.emplace(channel->stopCheck);
    }
}

FleetChannel::Scope::~Scope() {
    stopCheck_.reset();
    currentChannel = previous_;
}

void FleetChannel::stop(int signal) {
    stop_.store(signal);
    wake();
}

void FleetChannel::drain(int signal) {
    drain_.store(signal);
    wake();
}

void FleetChannel::expire() {
    expired_.store(true);
    wake();
}

void FleetChannel::wake() {
    const QMutexLocker lock(&wakeMutex_);
    if (wake_) {
        wake_();
    }
}

void FleetChannel::setWake(std::function<void()> wake) {
    const QMutexLocker lock(&wakeMutex_);
    wake_ = std::move(wake);
}

void FleetChannel::write(FILE* stream, const QByteArray& bytes) {
    if (stream != stderr) {
        QMutexLocker lock(&mutex_);
        const qsizetype room = qMax<qsizetype>(0, kMaxOutput - output_.size());
        output_ += bytes.left(room);
        dropped_ += bytes.size() - qMin(room, bytes.size());
        return;
    }
    QList<QByteArray> lines;
    {
        QMutexLocker lock(&mutex_);
        pendingErr_ += bytes;
        qsizetype end = 0;
        while ((end = pendingErr_.indexOf('\n')) >= 0) {
            lines.append(pendingErr_.left(qMin(end, kMaxLine)));
            pendingErr_.remove(0, end + 1);
        }
        if (pendingErr_.size() > kMaxLine) {
            lines.append(pendingErr_.left(kMaxLine));
            pendingErr_.clear();
        }
    }
    for (const QByteArray& text : lines) {
        line(text);
    }
}

void FleetChannel::line(const QByteArray& text) {
    const QString message = QString::fromLocal8Bit(text);
    {
        QMutexLocker lock(&mutex_);
        latest_.message = message;
    }
    if (onLine_) {
        onLine_(message);
    }
}

void FleetChannel::setProgress(qint64 done, qint64 total) {
    QMutexLocker lock(&mutex_);
    latest_.done = done;
    latest_.total = total;
}

FleetChannel::Snapshot FleetChannel::snapshot() const {
    QMutexLocker lock(&mutex_);
    return latest_;
}

QByteArray FleetChannel::output() const {
    QMutexLocker lock(&mutex_);
    return output_;
}

qint64 FleetChannel::droppedOutput() const {
    QMutexLocker lock(&mutex_);
    return dropped_;
}
