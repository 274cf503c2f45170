#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The header record as the loader writes it: "S0", the count, the text's bytes and the
// checksum, all hex in upper case, with no address field (the count covers the data and the
// checksum only). The reader takes every byte but the checksum into the header text, so the
// record reads back as the same text.
namespace HeaderRecord {

// Most characters one record holds: the count byte must also cover the checksum.
constexpr qsizetype kMaxText = 254;

// The record of one piece of text of at most kMaxText bytes.
QByteArray build(QByteArrayView text);
// The records of a text of any length: one record per kMaxText bytes, in order. The reader
// joins consecutive header records, so they read back as the whole text. Empty text, no record.
QList<QByteArray> buildAll(QByteArrayView text);
// The line is a header record (it starts with "S0").
bool isHeaderLine(QByteArrayView line);

} // namespace HeaderRecord
