#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <memory>
#include <random>

namespace devsim {

// The faults of one connection, decided one event at a time. Every decision depends only on
// the options, the seed and the order of the events, so a run can be repeated exactly.
class FaultPlan {
public:
    FaultPlan(const FaultOptions& options, std::uint32_t salt);

    const FaultOptions& options() const { return options_; }
    bool dropAnswer();               // once per command
    bool wrongCounter();             // once per accepted page write
    bool closeAtThisWrite();         // once per accepted page write
    int answerDelayMs();             // once per answer
    QByteArray garbageAfterAnswer(); // once per answer; empty: none
    bool badCrc();                   // once per broker frame
    bool splitFrame();               // once per broker frame
    bool doubleFrame();              // once per broker answer piece

private:
    static bool nth(int every, int& counter);
    // Made at the first random choice: its 5 KB of state are not spent on the many plans (one
    // per broker controller) whose options make none.
    std::mt19937& random();

    FaultOptions options_;
    std::uint32_t seed_;
    std::unique_ptr<std::mt19937> random_;
    int commands_ = 0;
    int writes_ = 0;
    int closeWrites_ = 0;
    int answers_ = 0;
    int crcFrames_ = 0;
    int splitFrames_ = 0;
    int doubleFrames_ = 0;
};

} // namespace devsim
