#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Cuts response frames (":" ... "~") out of a received byte stream.
//
// Bytes are appended as they arrive; every complete frame is taken out in order and cleaned to
// printable ASCII. The buffer never holds more than bufferLimit() bytes once a read has been
// handled (call trim() after taking the frames), so a line full of noise cannot grow it.
//
//     assembler.append(bytes);
//     QString frame;
//     while (assembler.takeFrame(frame))
//         use(frame);
//     assembler.trim();
class FrameAssembler
{
public:
    // The least bound; a protocol with longer answers asks for more with setBufferLimit().
    static constexpr qsizetype maxBufferSize = 1024;

    // The bound becomes the larger of bytes and maxBufferSize.
    void setBufferLimit(qsizetype bytes) { m_limit = qMax(bytes, maxBufferSize); }
    qsizetype bufferLimit() const { return m_limit; }

    void append(QByteArrayView bytes);
    // Takes the next complete frame out of the buffer; false when no complete frame is left.
    bool takeFrame(QString &frame);
    // Bounds the buffer: when it holds more than bufferLimit() bytes, only the part from its last
    // start mark is kept, and nothing when that part is still too long or there is no start mark.
    void trim();
    void clear();

    // Bytes received and not yet consumed.
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_pos); }
    qsizetype size() const { return m_buffer.size() - m_pos; }
    bool isEmpty() const { return size() == 0; }
    // A start mark waits for its end mark (true only once the complete frames are taken).
    bool hasOpenFrame() const { return pending().contains(':'); }

    // Text of one cut frame: from the last ':' before the first '~' up to that '~', with every
    // byte outside printable ASCII (32..126) left out. Empty when there is no ':' followed by '~'.
    static QString normalizeFrame(QByteArrayView bytes);

private:
    void compact();

    QByteArray m_buffer;
    qsizetype m_limit = maxBufferSize;
    qsizetype m_pos = 0; // start of the unconsumed bytes; consumed bytes are dropped lazily
};
