#include "PtyFrontEnd.h"

#include "AnswerShaper.h"
#include "Bounds.h"
#include "SessionRunner.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace devsim {

PtyFrontEnd::PtyFrontEnd(Device& device, const SimOptions& options, QObject* parent)
    : QObject(parent), device_(device), options_(options) {}

PtyFrontEnd::~PtyFrontEnd() {
    notifier_.reset();
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PtyFrontEnd::open(QString* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(std::strerror(errno));
        return false;
    }
    const char* name = ::ptsname(master_);
    slave_ = name != nullptr ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    termios raw{};
    if (slave_ < 0 || ::tcgetattr(slave_, &raw) != 0) {
        *error =
            QStringLiteral("cannot open the pseudo-terminal's slave: %1").arg(std::strerror(errno));
        return false;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = QString::fromLocal8Bit(name);

    runner_ = new SessionRunner(device_, options_, 0x5054, this);
    connect(runner_, &SessionRunner::output, this, [this](const QByteArray& bytes, bool damaged) {
        writeMaster(damaged ? garbled(bytes) : bytes);
    });
    connect(runner_, &SessionRunner::closeRequested, runner_, &SessionRunner::start);
    // Answers that pile up faster than the line carries them (--pace, --delay): with no peer to
    // drop, the controller restarts, as on the close-after-writes fault.
    connect(
        runner_, &SessionRunner::overflowed, runner_,
        [this](const QString& why) {
            qWarning("velkor-devsim: pty controller restarted: %s", qPrintable(why));
            runner_->start();
        },
        Qt::QueuedConnection);
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyFrontEnd::readMaster);
    runner_->start();
    return true;
}

void PtyFrontEnd::readMaster() {
    // At most kReadChunk at a time: a peer that writes as fast as the simulator reads cannot
    // keep it here.
    QByteArray received(kReadChunk, '\0');
    qsizetype size = 0;
    while (size < received.size()) {
        const ssize_t n = ::read(master_, received.data() + size, size_t(received.size() - size));
        if (n > 0) {
            size += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    if (size == 0) {
        return;
    }
    received.truncate(size);
    const bool taken = runner_->receive(received);
    if (!taken && !overrun_) {
        qWarning("velkor-devsim: pty input lost: more than %lld bytes waiting to cross the "
                 "paced line",
                 static_cast<long long>(kMaxInputInFlight));
    }
    overrun_ = !taken;
}

void PtyFrontEnd::writeMaster(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // the terminal's buffer is full: the rest is lost
        }
    }
}

} // namespace devsim
