#pragma once

// The value of a hex digit (0-9, A-F, a-f); -1 for any other character. For texts whose every
// digit must be one, unlike the record reader's arithmetic (firmware/HexPair.h).
constexpr int strictHexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}
