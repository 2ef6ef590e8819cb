// Arbitrary byte chunks through the receive framing: the buffer stays bounded after every read,
// every frame is ":...~" in printable ASCII, and while the bound is never reached the cut
// depends only on the bytes, not on how they were split into reads.

#include "fuzzsupport.h"
#include "serial/frameassembler.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

void checkFrame(const QString &frame)
{
    FUZZ_CHECK(frame.size() >= 2);
    FUZZ_CHECK(frame.front() == QLatin1Char(':'));
    FUZZ_CHECK(frame.back() == QLatin1Char('~'));
    for (const QChar c : frame)
        FUZZ_CHECK(c.unicode() >= 32 && c.unicode() <= 126);
    // Only the last character closes the frame.
    FUZZ_CHECK(frame.indexOf(QLatin1Char('~')) == frame.size() - 1);
    FUZZ_CHECK(frame.lastIndexOf(QLatin1Char(':')) == 0);
}

// One read as the serial interface handles it: append, take every frame, bound the buffer.
void read(FrameAssembler &assembler, QByteArrayView chunk, QList<QString> &frames)
{
    assembler.append(chunk);
    QString frame;
    while (assembler.takeFrame(frame)) {
        checkFrame(frame);
        frames.append(frame);
    }
    assembler.trim();
    FUZZ_CHECK(assembler.size() <= FrameAssembler::maxBufferSize);
    FUZZ_CHECK(assembler.size() == assembler.pending().size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceLogging();
    return 0;
}

// Layout: byte 0 = how many chunk-length bytes follow (0..15); those bytes give the chunk
// lengths (0 = one byte), used in turn over the rest, which is the received stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t lengthCount = data[0] % 16;
    if (size < 1 + lengthCount)
        return 0;
    const uint8_t *lengths = data + 1;
    const char *stream = reinterpret_cast<const char *>(data + 1 + lengthCount);
    const size_t streamSize = size - 1 - lengthCount;

    FrameAssembler chunked;
    QList<QString> chunkedFrames;
    size_t pos = 0;
    for (size_t i = 0; pos < streamSize; ++i) {
        size_t n = lengthCount ? lengths[i % lengthCount] : streamSize;
        if (n == 0)
            n = 1;
        n = std::min(n, streamSize - pos);
        read(chunked, QByteArrayView(stream + pos, qsizetype(n)), chunkedFrames);
        pos += n;
    }

    if (streamSize <= size_t(FrameAssembler::maxBufferSize)) {
        FrameAssembler whole;
        QList<QString> wholeFrames;
        read(whole, QByteArrayView(stream, qsizetype(streamSize)), wholeFrames);
        FUZZ_CHECK(chunkedFrames == wholeFrames);
    }

    chunked.clear();
    FUZZ_CHECK(chunked.isEmpty());
    return 0;
}
