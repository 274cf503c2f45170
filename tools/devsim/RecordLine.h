#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace devsim {

// One Motorola S-record line as the bootloader checks it: "S", the type digit, the byte count,
// the address (2 bytes for S0, S1, S5, S9; 3 for S2, S6, S8; 4 for S3, S7), the data and the
// checksum (the ones' complement of the low byte of the sum of count, address and data bytes).
struct RecordLine {
    int type = 0;
    std::uint32_t address = 0;
    QByteArray data;

    bool isData() const { return type >= 1 && type <= 3; }
    bool isCount() const { return type == 5 || type == 6; }
    bool isEnd() const { return type >= 7 && type <= 9; }
};

enum class RecordError { None, Form, Type, Length, Checksum };

struct RecordResult {
    std::optional<RecordLine> record;
    RecordError error = RecordError::None;
    // The address field of a line whose checksum alone is wrong (the bootloader names it).
    std::uint32_t address = 0;
};

// Checks one line (without its line end). Hex digits of either case are accepted.
RecordResult parseRecordLine(const QByteArray& line);

// Address bytes of a record type, 0 for a type that does not exist (S4).
int addressBytes(int type);

} // namespace devsim
