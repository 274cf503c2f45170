#include "FrameAssembler.h"

#include <cstring>

namespace devsim {

// Walks the bytes with an offset and removes what it has used once at the end: removing from
// the front at every skipped byte would take time growing with the square of a flood of junk.
FrameAssembler::Output FrameAssembler::feed(const QByteArray& bytes) {
    Output out;
    buffer_.append(bytes);
    const char* data = buffer_.constData();
    const qsizetype size = buffer_.size();
    qsizetype at = 0;
    while (at < size) {
        if (std::uint8_t(data[at]) != BrokerFrame::kLeadByte) {
            const void* lead = std::memchr(data + at, BrokerFrame::kLeadByte, size_t(size - at));
            const qsizetype next = lead == nullptr ? size : static_cast<const char*>(lead) - data;
            out.skippedBytes += int(next - at);
            at = next;
            continue;
        }
        if (size - at < BrokerFrame::kHeaderSize) {
            break;
        }
        const int frameSize = BrokerFrame::lengthField(data + at) + BrokerFrame::kOverhead;
        const bool headerSound = data[at + 8] == '\x03' && data[at + 9] == '\x00';
        if (!headerSound || frameSize > BrokerFrame::kReceiveBufferSize) {
            out.skippedBytes += 1;
            at += 1;
            continue;
        }
        if (size - at < frameSize) {
            break;
        }
        const std::optional<BrokerFrame::Frame> frame = BrokerFrame::decode(data + at, frameSize);
        if (!frame) {
            out.skippedBytes += 1;
            at += 1;
            continue;
        }
        out.frames.append(*frame);
        at += frameSize;
    }
    buffer_.remove(0, at);
    return out;
}

} // namespace devsim
