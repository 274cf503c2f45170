#pragma once

#include "OperationResult.h"

#include <QString>
#include <cstdint>
#include <optional>

struct FileDialogState;

// The questions an operation asks the user. The window answers them with its dialogs, the
// shell from its options, so neither matches the text of a caption to know which one it is.
class Questions {
public:
    virtual ~Questions() = default;

    // Where a storage upload starts: from the beginning, or from a position. An answer that is
    // not a whole number raises the conversion error.
    struct Start {
        bool fromBeginning = true;
        ResumePosition position; // when not from the beginning; not yet checked for range
        // The engineer cancelled the operation at the question (Escape): the position stays
        // the one given, so that a later run resumes from it.
        bool cancelled = false;
    };
    virtual Start startPosition(const ResumePosition& current) = 0;

    // The access password of a locked controller; empty when the user gave none.
    virtual QString password() = 0;

    // The file a read-back writes; none when the user chose none.
    virtual std::optional<QString> fileToWrite() = 0;
};
