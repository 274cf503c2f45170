#pragma once

#include <QString>
#include <functional>

class Runtime;
struct LoaderChoices;
struct LinkSettings;

// The operation journal: four lines per completed operation (a rule of 60 hyphens, the date and
// time, the connection parameters, the final message), Windows-1251, CR LF, appended to
// velkor.jnl in the data folder. Nothing reads it back; it is the engineers' audit trail.
class Journal {
public:
    // Reads the clock for the date and the chosen link for the connection parameters; nothing
    // else.
    Journal(const Runtime& runtime, const LoaderChoices& choices, QString dataDir)
        : runtime_(runtime), choices_(choices), dataDir_(std::move(dataDir)) {}

    // Appends one entry; raises LoaderError with the system's text when the file cannot be
    // opened or written (or is no regular file), or another writer holds it lockStallMs without
    // writing (LockedAppend).
    void WriteJournal(const QString& message);

    QString path() const;
    int lockStallMs = 5000;
    // The running operation's entry names the link its request names: the link the operation
    // used, whatever is chosen by the time the entry is written.
    void noteOperationLink(const LinkSettings& link);
    // The connection parameters as line 3 shows them: of the operation's link once one has
    // started, else of the visible page.
    QString connectionParams() const;
    // What the running operation adds after the message of line 4 ("Restart: command"); empty
    // adds nothing.
    std::function<QString()> messageNote;

private:
    QString messageWithNote(const QString& message) const;
    const Runtime& runtime_;
    const LoaderChoices& choices_;
    QString dataDir_;
    QString operationParams_; // taken when the operation started
};
