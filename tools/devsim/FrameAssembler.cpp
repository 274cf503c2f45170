#include "FrameAssembler.h"

namespace devsim {

FrameAssembler::Output FrameAssembler::feed(const QByteArray& bytes) {
    Output out;
    buffer_.append(bytes);
    while (!buffer_.isEmpty()) {
        if (std::uint8_t(buffer_[0]) != BrokerFrame::kLeadByte) {
            const qsizetype lead = buffer_.indexOf(char(BrokerFrame::kLeadByte));
            const qsizetype skip = lead < 0 ? buffer_.size() : lead;
            out.skippedBytes += int(skip);
            buffer_.remove(0, skip);
            continue;
        }
        if (buffer_.size() < BrokerFrame::kHeaderSize) {
            break;
        }
        const int size = BrokerFrame::lengthField(buffer_.constData()) + BrokerFrame::kOverhead;
        const bool headerSound = buffer_[8] == '\x03' && buffer_[9] == '\x00';
        if (!headerSound || size > BrokerFrame::kReceiveBufferSize) {
            out.skippedBytes += 1;
            buffer_.remove(0, 1);
            continue;
        }
        if (buffer_.size() < size) {
            break;
        }
        const std::optional<BrokerFrame::Frame> frame =
            BrokerFrame::decode(buffer_.constData(), size);
        if (!frame) {
            out.skippedBytes += 1;
            buffer_.remove(0, 1);
            continue;
        }
        out.frames.append(*frame);
        buffer_.remove(0, size);
    }
    return out;
}

} // namespace devsim
