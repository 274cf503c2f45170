#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace devsim {

// How the simulated controller words what it prints. Controllers of the family answer the same
// commands in different, equally valid ways: other line ends, an echo of each command, a prompt,
// a progress line before a slow answer, other forms of a setting's value and of a page write's
// confirmation, another page size, error texts that happen to hold acknowledgement letters.
// The default is the simulator's own way; --dialect chooses others, so that the loader can be
// run against each.
struct Dialect {
    static constexpr int kDefaultPageSize = 528;
    static constexpr int kMinPageSize = 64;
    static constexpr int kMaxPageSize = 4096;

    QByteArray lineEnd = "\r\n"; // empty: lines carry no line end (noeol)
    bool echo = false;           // every command is echoed, as a line, before its answer
    bool prompt = false;         // "> " after every answer to a command
    bool progress = false;       // "Erasing sector" at once, the slow answer progressMs later
    int progressMs = 700;
    bool padded = false;  // a setting's number has at least four digits ("0070")
    bool bare = false;    // a setting is answered with its value alone, no "KEYWORD="
    bool strOnly = false; // a page write is confirmed "OK STR:n" alone
    bool pageEnd = false; // a write ending at a page's end reports that page and its size
    int pageSize = kDefaultPageSize;
    bool tokenErrors = false; // error texts that hold the loader's acknowledgement letters

    // A line as printed: the text and the line end. Without line ends the text alone.
    QByteArray line(const QByteArray& text) const;
    // A line that something else follows in the same output: without line ends a blank
    // separates them.
    QByteArray lineBefore(const QByteArray& text) const;
    // Lines one after another (an empty text is an empty line); without line ends the texts
    // that are not empty, a blank between each two.
    QByteArray lines(const QList<QByteArray>& texts) const;
    // The answer to a setting: its keyword and value, or the value alone; a number padded.
    QByteArray setting(const QByteArray& keyword, const QByteArray& value) const;
    QByteArray setting(const QByteArray& keyword, long number) const;
    // An error of the command interpreter ("ERR: " + what, or "ERROR: " + what).
    QByteArray interpreterError(const QByteArray& what) const;
};

// The features --dialect takes, in the order the help names them.
QString dialectFeatureNames();

// Applies features (each one of dialectFeatureNames()) to dialect. Nothing, with the reason in
// error, for an unknown feature, a page size out of range, or two that contradict each other
// (two line ends, two page sizes).
std::optional<Dialect> parseDialect(const QStringList& features, Dialect dialect, QString* error);

} // namespace devsim
