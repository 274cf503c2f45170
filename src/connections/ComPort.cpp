#include "ComPort.h"

#include "SerialErrorText.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <iterator>

namespace {

SerialError portNotOpen() {
    return SerialError(QStringLiteral("Port Not Open"), 0);
}

} // namespace

ComPort::ComPort(QObject* parent) : QObject(parent) {
    port_.setReadBufferSize(kQueueSize);
    connect(&port_, &QSerialPort::errorOccurred, this, &ComPort::onError);
    connect(&port_, &QSerialPort::readyRead, this, &ComPort::onReadyRead);
}

ComPort::~ComPort() {
    // Destroying the component closes the port without raising events at a dead owner.
    onAfterClose = nullptr;
    port_.close();
}

QString ComPort::deviceFor(const QString& name) {
#ifdef Q_OS_LINUX
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"));
    const QRegularExpressionMatch match = comName.match(name);
    if (match.hasMatch()) {
        return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
    }
#endif
    return name;
}

void ComPort::onError(QSerialPort::SerialPortError error) {
    // errno still holds the failed call's code here; it is gone once Qt's call returns.
    if (error != QSerialPort::NoError) {
        lastErrno_ = errno;
    }
    // An unplugged adapter (or a hung-up line) cannot come back: close, so that the
    // after-close handling runs, instead of leaving a dead port open. Queued, because the
    // error arrives inside QSerialPort's own calls.
    if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError) &&
        port_.isOpen()) {
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    }
}

int ComPort::systemCode(QSerialPort::SerialPortError error) const {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return lastErrno_ != 0 ? lastErrno_ : ENOENT;
    case QSerialPort::PermissionError:
        // A refused lock file means another program holds the port, not a missing right.
        return (lastErrno_ == EACCES || lastErrno_ == EPERM || lastErrno_ == EBUSY) ? lastErrno_
                                                                                    : EBUSY;
    case QSerialPort::OpenError:
        return EBUSY;
    case QSerialPort::UnsupportedOperationError:
        // Refused by the serial layer itself, before any system call.
        return lastErrno_ != 0 ? lastErrno_ : EINVAL;
    default:
        return lastErrno_ != 0 ? lastErrno_ : EIO;
    }
}

void ComPort::resetErrors() {
    // errno is read when Qt reports an error; a value left from an earlier call (such as the
    // refused DTR of a pseudo-terminal) must not be taken for this call's cause.
    errno = 0;
    lastErrno_ = 0;
    port_.clearError();
}

void ComPort::open() {
    if (port_.isOpen()) {
        return;
    }
    port_.setPortName(deviceFor(name_));
    presetLineSettings();
    resetErrors();
    if (!port_.open(QIODevice::ReadWrite)) {
        const int code = systemCode(port_.error());
        port_.clearError();
        throw SerialError(SerialErrorText::openFailed(code), code);
    }
    try {
        applyLineSettings();
    } catch (const SerialError&) {
        // The after-open event has not run, so no after-close event either.
        port_.close();
        port_.clearError();
        throw;
    }
    if (onAfterOpen) {
        onAfterOpen();
    }
}

// Handed over before the open, the settings are what the open itself puts on the line as it
// opens the device: the line never passes through another speed or format (9600 baud, the
// port's own default) on the way to them. A speed outside the common ones is set after the
// open, where a device that refuses it is named as refusing the speed.
void ComPort::presetLineSettings() {
    static constexpr int kCommonSpeeds[] = {9600, 19200, 38400, 57600, 115200};
    if (std::find(std::begin(kCommonSpeeds), std::end(kCommonSpeeds), baud_) !=
        std::end(kCommonSpeeds)) {
        port_.setBaudRate(baud_);
    }
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

void ComPort::setControlLines(bool dtr, bool rts) {
    if (port_.isOpen()) {
        port_.setDataTerminalReady(dtr);
        port_.setRequestToSend(rts);
        resetErrors(); // a pseudo-terminal has no modem lines: nothing to report
    }
}

void ComPort::applyLineSettings() {
    // The system raised DTR and RTS when it opened the device; they go down before anything
    // else, so that a controller whose reset or boot pin hangs on them sees the shortest pulse.
    // The settings after them are confirmed: the line already has them, and stays as it is.
    dropModemLine([this] { return port_.setDataTerminalReady(false); }, QStringLiteral("DTR"));
    dropModemLine([this] { return port_.setRequestToSend(false); }, QStringLiteral("RTS"));
    require(port_.setBaudRate(baud_), QStringLiteral("скорость %1 бит/с").arg(baud_));
    require(port_.setDataBits(QSerialPort::Data8), QStringLiteral("8 бит данных"));
    require(port_.setParity(QSerialPort::NoParity), QStringLiteral("без контроля четности"));
    require(port_.setStopBits(QSerialPort::OneStop), QStringLiteral("1 стоповый бит"));
    require(port_.setFlowControl(QSerialPort::NoFlowControl),
            QStringLiteral("без управления потоком"));
}

void ComPort::dropModemLine(const std::function<bool()>& drop, const QString& line) {
    resetErrors();
    // A line without modem lines (a pseudo-terminal) refuses with "Inappropriate ioctl for
    // device": there is nothing to hold inactive then.
    if (!drop() && lastErrno_ != ENOTTY && lastErrno_ != EINVAL) {
        require(false, line + QStringLiteral(" выключен"));
    }
    resetErrors();
}

void ComPort::require(bool applied, const QString& setting) {
    if (applied) {
        resetErrors();
        return;
    }
    const int code = systemCode(port_.error());
    port_.clearError();
    throw SerialError(SerialErrorText::openFailed(code) +
                          QStringLiteral(". Порт не принял настройку: ") + setting,
                      code);
}

void ComPort::write(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        throw portNotOpen();
    }
    resetErrors();
    if (port_.write(bytes) < 0) {
        throwWriteFailed();
    }
    QDeadlineTimer deadline(1000 + 100 * qint64(bytes.size()));
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        errno = 0;
        if (!port_.waitForBytesWritten(int(deadline.remainingTime())) &&
            port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError) {
            throwWriteFailed(); // a write error, or the adapter is gone
        }
    }
    // What the time-out left unsent is dropped, as a write with a time-out does: it must not
    // trail into the next command.
    if (port_.isOpen() && port_.bytesToWrite() > 0) {
        port_.clear(QSerialPort::Output);
    }
}

void ComPort::throwWriteFailed() {
    const int code = systemCode(port_.error());
    port_.clearError();
    throw SerialError(SerialErrorText::writeFailed(code), code);
}

int ComPort::read(char* buffer, int count) {
    if (!port_.isOpen()) {
        throw portNotOpen();
    }
    resetErrors();
    const qint64 n = port_.read(buffer, count);
    if (n < 0) {
        const int code = systemCode(port_.error());
        throw SerialError(SerialErrorText::readFailed(code), code);
    }
    return int(n);
}

void ComPort::close() {
    if (!port_.isOpen()) {
        return;
    }
    port_.clear(QSerialPort::AllDirections);
    port_.close();
    port_.clearError();
    if (onAfterClose) {
        onAfterClose();
    }
}

void ComPort::onReadyRead() {
    const qint64 queued = port_.bytesAvailable();
    if (queued > 0 && onRxChar) {
        onRxChar(int(queued));
    }
}
