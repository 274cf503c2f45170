#include "LoaderOutput.h"

#include "FormModel.h"
#include "ProgressText.h"

void LoaderOutput::setStatus(int panel, const QString& text) {
    if (panel < 0 || panel >= int(form_.Status.size())) {
        return;
    }
    form_.Status[std::size_t(panel)] = text;
    if (panel == 3) {
        message_ = text;
        ++messagesWritten_;
    }
    if (onStatus) {
        onStatus(panel, text);
    }
}

void HeldMessage::standIn(const QString& text) {
    output_.setStatus(3, text);
    lastStandIn_ = output_.messagesWritten_;
}

void HeldMessage::release() {
    if (lastStandIn_ == output_.messagesWritten_) {
        output_.setStatus(3, held_);
    }
    lastStandIn_.reset();
}

void LoaderOutput::showProgress(const ProgressEvent& progress) {
    setStatus(0, QStringLiteral("%1:%2").arg(progress.done).arg(progress.total));
    last_ = progress;
    form_.ProgressBar1.text = ProgressText::barText(progress);
    if (onProgress) {
        onProgress(progress);
    }
}

void LoaderOutput::clearProgress() {
    // The counter of the last operation is not this one's.
    setStatus(0, QStringLiteral("0:0"));
    last_ = ProgressEvent{};
    form_.ProgressBar1.setPosition(0);
    form_.ProgressBar1.text.clear();
}

void LoaderOutput::endProgress() {
    last_.remainingMs.reset();
    form_.ProgressBar1.text = ProgressText::barText(last_);
}

void LoaderOutput::addTerminalLine(const QByteArray& line) {
    form_.terminal.lines.append(line);
    if (onTerminalLine) {
        onTerminalLine(line);
    }
}

void LoaderOutput::showDeviceType(const QString& deviceType) {
    form_.UnitSign.caption = deviceType;
}

void LoaderOutput::showStoredPosition(const QString& caption) {
    form_.Panel3.caption = caption;
}

void LoaderOutput::lockTerminalInput(bool locked) {
    form_.terminal.commandInputEnabled = !locked;
}

void LoaderOutput::notify(const Notice& notice) {
    if (onNotice) {
        onNotice(notice);
    }
}

void LoaderOutput::controllerNotFound() {
    if (onControllerNotFound) {
        onControllerNotFound();
    }
}

void LoaderOutput::startProgressBar(int maximum) {
    form_.ProgressBar1.setMaximum(maximum);
    form_.ProgressBar1.setPosition(0);
}

void LoaderOutput::moveProgressBar(int position) {
    form_.ProgressBar1.setPosition(position);
}
