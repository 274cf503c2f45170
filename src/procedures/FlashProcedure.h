#pragma once

#include "core/OperationRequest.h"
#include "core/Task.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "core/Answer.h"
#include "core/OperationResult.h"
#include "firmware/FirmwareImage.h"

#include <optional>

class Loader;

// Flashing the controller: wait for its restart, take the device-type signature from its
// restart banner, check it against the firmware file's header, enter the bootloader with "i",
// then send the file record by record with "f" first, one record in flight.
class FlashProcedure {
public:
    enum class BootStage { WaitReset, WatchBanner, Programming, Finished };
    explicit FlashProcedure(Loader& loader) : loader_(loader) {}

    // The procedure of the flash operation, for the request's file and header.
    Task<Verdict> EnterBootloader(OperationRequest request);
    // Programs the file into a bootloader that is in its command mode.
    Task<void> ProgramFlash(QString path);

    BootStage stage() const { return stage_; }
    // How the last run ended, as the driver reports it.
    Verdict verdict() const;

private:
    enum class PassResult { Continue, LeaveLoop };

    // The run goes on: not ended by the procedure itself, nor stopped by the driver.
    bool running() const;
    // ... and neither cancelled nor cut off from the controller.
    bool goesOn() const;

    Task<PassResult> watchBanner();
    bool restartOverdue() const;
    std::optional<FirmwareImage> readFirmware();
    void showBannerWait(const QByteArray& heard);
    Task<void> requestRestart();
    Task<void> restartWhileControllerMissing();
    Task<PassResult> checkSignature(QByteArray deviceSignature, QByteArray banner);
    Task<void> enterBootloaderMode();
    void refuseFirmware();
    void restoreAfterFlash();
    void cleanUpAfterLoop();
    void leaveOpenOperation(Verdict verdict);

    Task<void> waitForProgrammingStart();
    Task<void> programLines(const FirmwareImage& image);
    Task<void> awaitEndConfirmation();
    bool programmingStopped() const;
    void showProgress(int record, int count);
    Task<void> programLine(QByteArray line, bool dataFollows);
    void judgeAnswer(int recordType, const QByteArray& answer, bool dataFollows);
    [[noreturn]] void fail(Verdict verdict, const QString& message);
    // The context of the record in flight.
    VerdictContext recordContext(const QString& words = QString()) const;
    bool succeeded() const;
    void finishSuccessfully();
    bool deadlinePassed(std::uint32_t deadline) const;

    Loader& loader_;
    OperationRequest request_;
    QString deviceType_; // as the restart banner named it
    bool bannerSeen_ = false;
    // The file as it was read when the run began, programmed as it was read.
    std::optional<FirmwareImage> image_;
    QString readError_;  // why the file could not be read, when it could not
    bool ended_ = false; // the procedure ended the run itself (a failure, or the end)
    BootStage stage_ = BootStage::WaitReset;
    std::optional<Verdict> verdict_; // how the run ended, once it has
    int record_ = 0;                 // the record in flight, from 1
    bool lastRecordEnds_ = false;    // the record sent last is an end or count record
    int records_ = 0;
    std::uint32_t bannerWaitStart_ = 0;
    int shownPercent_ = -1;
    std::uint32_t programmingStartTick_ = 0;
    int shownWaitSeconds_ = 0;
    // The restarts asked for, and when the last went; whether the broker said it lacks the
    // controller (its wait is then shown instead of the seconds since the restart).
    int restarts_ = 0;
    std::uint32_t restartTick_ = 0;
    bool controllerMissed_ = false;
};
