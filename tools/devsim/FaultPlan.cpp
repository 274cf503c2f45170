#include "FaultPlan.h"

#include "TokenFreeBytes.h"

namespace devsim {

FaultPlan::FaultPlan(const FaultOptions& options, std::uint32_t salt)
    : options_(options), seed_(options.seed * 2654435761U + salt) {}

std::mt19937& FaultPlan::random() {
    if (!random_) {
        random_ = std::make_unique<std::mt19937>(seed_);
    }
    return *random_;
}

bool FaultPlan::nth(int every, int& counter) {
    if (every <= 0) {
        return false;
    }
    ++counter;
    return counter % every == 0;
}

bool FaultPlan::dropAnswer() {
    bool drop = nth(options_.dropEvery, commands_);
    if (options_.dropRate > 0.0) {
        drop =
            std::uniform_real_distribution<double>(0.0, 1.0)(random()) < options_.dropRate || drop;
    }
    return drop;
}

bool FaultPlan::wrongCounter() {
    return nth(options_.wrongCounterEvery, writes_);
}

bool FaultPlan::closeAtThisWrite() {
    return nth(options_.closeAfterWrites, closeWrites_);
}

int FaultPlan::answerDelayMs() {
    int delay = options_.delayMs;
    if (options_.jitterMs > 0) {
        delay += std::uniform_int_distribution<int>(0, options_.jitterMs)(random());
    }
    return delay;
}

QByteArray FaultPlan::garbageAfterAnswer() {
    if (!nth(options_.garbageEvery, answers_)) {
        return {};
    }
    const QByteArray& kAlphabet = tokenFreeBytes();
    const int length = std::uniform_int_distribution<int>(1, 8)(random());
    QByteArray garbage;
    for (int i = 0; i < length; ++i) {
        garbage.append(
            kAlphabet[std::uniform_int_distribution<int>(0, int(kAlphabet.size()) - 1)(random())]);
    }
    return garbage;
}

bool FaultPlan::badCrc() {
    return nth(options_.badCrcEvery, crcFrames_);
}

bool FaultPlan::splitFrame() {
    return nth(options_.splitFrameEvery, splitFrames_);
}

bool FaultPlan::doubleFrame() {
    return nth(options_.doubleFrameEvery, doubleFrames_);
}

} // namespace devsim
