#pragma once

#include "core/OperationRequest.h"

#include "TextCrc.h"
#include "core/Answer.h"
#include "core/OperationResult.h"
#include "core/Phase.h"
#include "core/Progress.h"
#include "core/StoreProgress.h"
#include "core/Task.h"
#include "firmware/FirmwareImage.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class Loader;
class Questions;
class ReadBackProcedure;
class TextStream;

// Loading the firmware into the controller's storage memory through its command interpreter:
// log in, write the file's text piece by piece with "PAGEWRITE", each write confirmed by the
// controller's line counter and position; an unconfirmed write logs in again, goes back to the
// last confirmed position and sends the same piece again. Then the descriptor (length and
// checksum of the text) and, when asked for, the finalisation: the controller checks the stored
// image, reprograms itself and restarts. An interrupted run leaves its last confirmed position
// in StartPage, PageAddr and LastLoadedLine, from which a later run resumes.
class StorageLoadProcedure {
public:
    StorageLoadProcedure(Loader& loader, Questions& questions);
    ~StorageLoadProcedure();
    StorageLoadProcedure(const StorageLoadProcedure&) = delete;
    StorageLoadProcedure& operator=(const StorageLoadProcedure&) = delete;

    // The procedure of operation mode 37.
    Task<Verdict> LoadToStorage(OperationRequest request);

    // How many times in a row the upload's login may go unanswered or unconfirmed before the
    // run ends as unanswered (with its resume position); 0 repeats it until the engineer
    // cancels (the window), a script sets a bound.
    int loginAttemptsBound = 0;
    // The answer wait of each command of the upload's logins; 0 keeps the write's wait (the
    // window). A script with a bound on the logins sets its own, so that a controller that
    // falls silent does not cost the write's 30 s per login.
    std::int32_t loginWaitMs = 0;
    // Reads what was stored back for the check the window's "Проверить записанное" (and the
    // shell's --verify) asks for.
    void verifyWith(ReadBackProcedure* reader) { reader_ = reader; }

    // How the last run ended as the driver reports it, with the position to resume from when
    // the upload did not finish.
    Verdict verdict() const;
    // The message of the error that ended the last upload, empty when none did.
    const QString& errorMessage() const { return errorMessage_; }
    // "Прошивка Num:P Addr:A Str:L CRC:XXXX": the last confirmed position and the checksum.
    QString positionLine() const;
    // The information message shown at the end of the last run, empty when none was.
    const QString& information() const { return information_; }

private:
    enum class Login { Granted, Denied, Ended };
    enum class Write { Accepted, Failed, Unanswered };
    enum class Stretch { Uploaded, Stopped, Ended };
    // A place in the storage memory as the controller confirmed it, with the line count there.
    struct Position {
        std::uint16_t page = 0;
        std::uint16_t addr = 0;
        std::uint16_t line = 0;
        int pageSize = 0;   // the controller's page size as learnt by then; 0 before
        bool known = false; // the controller said where it is
    };

    void end(Verdict verdict);
    void end(Outcome outcome, Cause cause, VerdictContext context = {});
    bool completed() const { return verdict_ && verdict_->succeeded(); }
    void endUnanswered();
    Task<Answer> send(QByteArray command, int attempts);
    bool endWithAnswer(const QByteArray& command, const Answer& answer);

    bool fileAccepted();
    bool signatureFound();
    Task<Login> firstLogin();
    bool chooseStartPosition();
    void prepare();
    void skipPieces();
    Task<Stretch> uploadStretch();
    Task<bool> UploadLogin();
    Task<bool> loginCommandsEchoed();
    Task<Stretch> uploadLoop();
    Stretch pieceGivenUp();
    Task<Write> writePending();
    Write confirmation(const QByteArray& answer);
    bool movedByPiece(std::uint16_t page, std::uint16_t addr, int* pageSize) const;
    bool loginGivenUp();
    Task<bool> writeInFirmwareArea(int addr, QByteArray hex, bool positioned);
    Task<bool> positionedInFirmwareArea(int addr);
    static bool reportsPlace(const QByteArray& confirmation, int addr);
    static bool saysWhere(const QByteArray& confirmation);
    bool earlierAnswer(const QByteArray& confirmation, int addr) const;
    Task<void> letAnswerArrive();
    Task<bool> storedTextVerified();
    QByteArray fileText() const;
    void accept();
    void showProgress();
    ProgressEvent progress(std::optional<std::int64_t> remainingMs) const;
    // The text's progress as status panel 3 shows it.
    PhaseEvent storing(std::optional<std::int64_t> remainingMs) const;
    void rollBack();
    void rewindToAnchor();
    void keepConfirmedPosition();
    void resumeFromStart();
    Task<bool> writeDescriptor();
    Task<void> finalise();
    void showVersion(const Answer& version);
    Task<void> sendAccompanyingLines();
    void finish();
    void release();

    Loader& loader_;
    OperationRequest request_;
    QString header_; // the checked file's header text
    Questions& questions_;
    std::optional<Verdict> verdict_; // how the run ended, once it has
    QString errorMessage_;
    QString information_;
    QByteArray version_; // the controller's answer to "VER" after its restart

    // The state of one run.
    FirmwareImage image_;
    std::unique_ptr<TextStream> stream_;
    qsizetype totalLines_ = 0;
    TextCrc crc_;
    QByteArray pending_;
    QByteArray scratch_;
    QByteArray userPassword_;
    std::uint16_t confirmedPage_ = 0;
    std::uint16_t confirmedAddr_ = 0;
    std::uint16_t confirmedLine_ = 0;
    // The line count of the last write answer taken, in the text or the descriptor area.
    std::uint16_t lastLineTaken_ = 0;
    // The position the write being judged confirms.
    Position accepted_;
    // The last confirmed position the controller said in full: where a roll-back goes while the
    // controller confirms writes without saying where it is (positionKnown_ false).
    Position anchor_;
    bool positionKnown_ = true;
    // The controller's page size, learnt at the first page a confirmed write crossed; 0 before.
    int pageSize_ = 0;
    int loginFailures_ = 0;
    int pieceFailures_ = 0; // failed writes of the piece in flight, in a row
    Answer lastWrite_;
    ReadBackProcedure* reader_ = nullptr;
    QString resultMessage_;
    StoreProgress::RemainingTime remaining_;
};
