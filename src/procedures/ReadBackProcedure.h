#pragma once

#include "core/OperationRequest.h"

#include "ReadBackText.h"
#include "StorageDescriptor.h"
#include "core/Answer.h"
#include "core/OperationResult.h"
#include "core/Task.h"
#include "firmware/FirmwareImage.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class Loader;
class Questions;

// Reading the firmware back from the controller's storage memory: the descriptor gives the
// stored text's length and checksum, the text is read in text mode and cut into S-record lines
// at each "S", and the lines go to the file the user names. The file is replaced only by a
// read-back whose checksum matched, and only as a whole (written beside it, then renamed); the
// lines of a read-back that did not match go to the same name with ".partial" appended.
class ReadBackProcedure {
public:
    // Bytes one read of the text returns (text mode: one character each).
    static constexpr int kTextReadCount = 250;
    // Descriptor reads that may come back lost, cut or damaged, as many as text reads.
    static constexpr int kReadAttempts = ReadBackText::kReadAttempts;

    ReadBackProcedure(Loader& loader, Questions& questions)
        : loader_(loader), questions_(questions) {}

    // The procedure of operation mode 2.
    Task<Verdict> ReadBackStorage(const OperationRequest& request);

    // What the storage memory holds, read for the store's check of what it wrote: the
    // controller is logged in already, nothing is asked and no file is written. With the
    // controller's page size known (the store learnt it from its confirmations; 0 when not), a
    // read that went wrong is positioned at the first character not taken, instead of reading
    // the text again from its start.
    struct StoredCopy {
        bool read = false; // the descriptor and the whole stored length were read
        StorageDescriptor descriptor;
        QByteArray text;
        Verdict failure; // why the copy could not be read, when it could not
    };
    Task<StoredCopy> readStoredCopy(int pageSize);
    // What the storage memory holds, by its descriptor alone: positioned, logged in, the
    // descriptor read (again where its answer came lost, cut or damaged). The verdict's reason
    // says it ("текст 438 символов, контрольная сумма 1A2B"); nothing is written.
    Task<Verdict> storedDescriptor(const OperationRequest& request);

    // How the last run ended as the driver reports it, with the file the text went to.
    Verdict verdict() const;
    // The file the last run wrote, empty when it wrote none.
    const QString& writtenFile() const { return writtenFile_; }
    const StorageDescriptor& descriptor() const { return descriptor_; }
    std::uint32_t taken() const { return text_.taken(); }

    // A text checksum as the controller's descriptor holds it: four upper-case hex digits.
    static QString checksumText(std::uint16_t crc);
    // The name the lines of a mismatched read-back are written to.
    static QString partialFileName(const QString& target);

private:
    void end(Verdict verdict);
    void end(Outcome outcome, Cause cause, VerdictContext context = {});
    bool ended() const { return verdict_.has_value(); }
    void endUnanswered();
    void endWith(const Answer& answer, const QByteArray& command);
    // "PAGEREAD", awaiting the characters one read returns.
    Task<Answer> readPage(qsizetype characters);
    Task<bool> settings(QList<QByteArray> commands);
    Task<bool> positioned();
    Task<bool> loggedIn();
    Task<bool> descriptorRead();
    Task<bool> repositioned();
    static qsizetype descriptorLine(const QByteArray& answer);
    Task<bool> prepareTextRead();
    Task<void> readText();
    void showProgress();
    void conclude(bool fileChosen);
    void writeLines(const QString& path);
    void finish();
    void startRun();

    Loader& loader_;
    QString target_; // the file the text read back goes to
    Questions& questions_;
    std::optional<Verdict> verdict_; // how the run ended, once it has
    QString writtenFile_;
    QString resultMessage_;
    StorageDescriptor descriptor_;
    ReadBackText text_;
    int pageSize_ = 0; // the controller's page size where known, 0 where not
    int rereads_ = 0;  // the text read again from its start in this run
};
