#include "LoaderOutput.h"

#include "PhaseText.h"
#include "ProgressText.h"
#include "UiTexts.h"

LoaderOutput::LoaderOutput(TerminalModel& terminal)
    : terminal_(terminal), firmwareGroupCaption_(UiTexts::firmwareGroup()) {}

void LoaderOutput::setStatus(int panel, const QString& text) {
    if (panel < 0 || panel >= int(status_.size())) {
        return;
    }
    if (panel == 0) {
        counterStale_ = false;
    }
    status_[std::size_t(panel)] = text;
    if (panel == 3) {
        message_ = text;
        ++messagesWritten_;
    }
    if (onStatus) {
        onStatus(panel, text);
    }
}

void LoaderOutput::showPhase(const PhaseEvent& phase) {
    setStatus(3, PhaseText::status(phase));
    if (onPhase) {
        onPhase(phase);
    }
}

void HeldMessage::standIn(const PhaseEvent& phase) {
    output_.showPhase(phase);
    lastStandIn_ = output_.messagesWritten_;
}

void HeldMessage::release() {
    if (lastStandIn_ == output_.messagesWritten_) {
        output_.setStatus(3, held_);
    }
    lastStandIn_.reset();
}

void LoaderOutput::showProgress(const ProgressEvent& progress) {
    // The counter's and the bar's texts are made when shown, not for every record.
    last_ = progress;
    counterStale_ = true;
    barTextStale_ = true;
    if (onProgress) {
        onProgress(progress);
    }
}

void LoaderOutput::clearProgress() {
    // The counter of the last operation is not this one's.
    setStatus(0, QStringLiteral("0:0"));
    last_ = ProgressEvent{};
    progressBar_.setPosition(0);
    progressBar_.text.clear();
    barTextStale_ = false;
}

void LoaderOutput::endProgress() {
    last_.remainingMs.reset();
    barTextStale_ = true;
}

const QString& LoaderOutput::status(int panel) const {
    if (panel == 0 && counterStale_) {
        status_[0] = QStringLiteral("%1:%2").arg(last_.done).arg(last_.total);
        counterStale_ = false;
    }
    return status_.at(std::size_t(panel));
}

const BarState& LoaderOutput::progressBar() const {
    if (barTextStale_) {
        progressBar_.text = ProgressText::barText(last_);
        barTextStale_ = false;
    }
    return progressBar_;
}

void LoaderOutput::addTerminalLine(const QByteArray& line) {
    terminal_.lines.append(line);
    if (onTerminalLine) {
        onTerminalLine(line);
    }
}

void LoaderOutput::showDeviceType(const QString& deviceType) {
    deviceType_ = deviceType;
}

void LoaderOutput::showStoredPosition(const QString& caption) {
    firmwareGroupCaption_ = caption;
}

void LoaderOutput::lockTerminalInput(bool locked) {
    terminal_.commandInputEnabled = !locked;
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
    progressBar_.setMaximum(maximum);
    progressBar_.setPosition(0);
}

void LoaderOutput::moveProgressBar(int position) {
    progressBar_.setPosition(position);
}

void LoaderOutput::showOperationRunning(bool running) {
    if (onOperationRunning) {
        onOperationRunning(running);
    }
}

void LoaderOutput::showLinkOpen(bool open) {
    terminal_.sendPanelVisible = open;
    if (onLinkOpen) {
        onLinkOpen(open);
    }
}

void LoaderOutput::showHeader(const QString& header, qsizetype headerLine) {
    if (onHeader) {
        onHeader(header, headerLine);
    }
}

void LoaderOutput::startWaitBar(int maximum) {
    waitBar_.setMaximum(maximum);
}

void LoaderOutput::moveWaitBar(int position) {
    waitBar_.setPosition(position);
}
