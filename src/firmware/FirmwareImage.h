#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <vector>

// The lines of a firmware file as 8-bit text. The file's bytes are kept in one buffer and each
// line is a slice of it, so a large file costs one read and one small index entry per line.
//
// Line rules: a line ends at CR LF, LF or CR; a line break at the very end adds no line, an
// extra blank line there does; a NUL byte ends the text, and the image remembers the line it
// stood in, so that the check refuses the file and nothing saves the shortened image over it.
// The hex digits of each record (its count and the pairs the count announces) are kept in
// upper case, the form the controller's read-back takes.
// Every user loads a fresh image and drops it when done: the file is not held open.
class FirmwareImage {
public:
    // No firmware has more lines (8 MB of the shortest records has 700 000); a file of line
    // breaks alone would otherwise take 16 bytes of index for each of its bytes.
    static constexpr qsizetype kMaxLines = qsizetype(1) << 20;

    FirmwareImage() = default;

    // Reads the file; raises LoaderError naming the file and the system's reason when it
    // cannot be opened or read, and FileTooLargeError when it is larger than any firmware (in
    // bytes, or in lines).
    static FirmwareImage load(const QString& path);
    // Splits text that is already in memory; raises FileTooLargeError past kMaxLines.
    static FirmwareImage fromText(QByteArray text);

    qsizetype size() const { return qsizetype(lines_.size()); }
    bool isEmpty() const { return lines_.empty(); }
    QByteArrayView line(qsizetype index) const {
        const Span& s = lines_[std::size_t(index)];
        return QByteArrayView(buffer_.constData() + s.start, s.length);
    }
    QList<QByteArray> lines() const;
    // The index of the line a NUL byte ended the text in (the line after the last one when the
    // NUL began a line of its own); -1 when the text had no NUL.
    qsizetype nulLine() const { return nulLine_; }

    // Replaces one line by the given lines (one or more).
    void replaceLine(qsizetype index, const QList<QByteArray>& replacement);
    void appendLine(const QByteArray& line);
    // Removes the lines at the given indexes (ascending) in one pass.
    void removeLines(const std::vector<qsizetype>& indexes);

    // Writes every line followed by CR LF (the last one too). The new content goes to a
    // temporary file in the same folder that then replaces the original, so a failure part way
    // leaves the file as it was. Raises LoaderError naming the file and the reason, also for
    // an image a NUL byte cut short: it would lose the lines after the NUL.
    void save(const QString& path) const;

    // Drops the lines and the buffer.
    void release();

private:
    struct Span {
        qsizetype start;
        qsizetype length;
    };

    void split();
    static QString tooManyLines();
    Span store(const QByteArray& line);

    QByteArray buffer_;
    std::vector<Span> lines_;
    qsizetype nulLine_ = -1;
};
