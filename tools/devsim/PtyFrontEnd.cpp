#include "PtyFrontEnd.h"

#include "AnswerShaper.h"
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
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyFrontEnd::readMaster);
    runner_->start();
    return true;
}

void PtyFrontEnd::readMaster() {
    QByteArray received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    if (!received.isEmpty()) {
        runner_->receive(received);
    }
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
