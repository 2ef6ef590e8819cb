#include "serial/frameassembler.h"

namespace {
constexpr char startMark = ':';
constexpr char endMark = '~';
} // namespace

void FrameAssembler::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    compact();
    m_buffer.append(bytes);
}

bool FrameAssembler::takeFrame(QString &frame)
{
    const char *data = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    for (;;) {
        const QByteArrayView rest(data + m_pos, size - m_pos);
        const qsizetype s = rest.indexOf(startMark);
        if (s < 0) {
            // Without a start mark nothing here can become a frame; an end mark in it is the tail
            // of a frame whose start was lost, drop it so it cannot pair with a later start.
            const qsizetype e = rest.lastIndexOf(endMark);
            if (e >= 0)
                m_pos += e + 1;
            return false;
        }
        const qsizetype e = rest.indexOf(endMark);
        if (e < 0)
            return false;
        if (e < s) {
            // Tail of a lost frame before the next start mark: skip it, or it would block every
            // frame behind it until the buffer overflows.
            m_pos += s;
            continue;
        }
        frame = normalizeFrame(rest.sliced(s, e - s + 1));
        m_pos += e + 1;
        if (m_pos == size) {
            m_buffer.clear();
            m_pos = 0;
        }
        return true;
    }
}

void FrameAssembler::trim()
{
    compact();
    if (m_buffer.size() <= m_limit)
        return;
    const qsizetype s = m_buffer.lastIndexOf(startMark);
    if (s < 0 || m_buffer.size() - s > m_limit)
        m_buffer.clear();
    else
        m_buffer.remove(0, s);
}

void FrameAssembler::clear()
{
    m_buffer.clear();
    m_pos = 0;
}

void FrameAssembler::compact()
{
    if (m_pos == 0)
        return;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
}

QString FrameAssembler::normalizeFrame(QByteArrayView bytes)
{
    const qsizetype s = bytes.indexOf(startMark);
    if (s < 0)
        return {};
    QString text(bytes.size() - s, Qt::Uninitialized);
    QChar *out = text.data();
    qsizetype n = 0;
    out[n++] = QLatin1Char(startMark);
    for (qsizetype i = s + 1; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == startMark) {
            n = 1; // a new start mark: what came before belongs to a broken frame
        } else if (c == endMark) {
            out[n++] = QLatin1Char(endMark);
            text.truncate(n);
            return text;
        } else if (c >= 32 && c <= 126) {
            out[n++] = QLatin1Char(char(c));
        }
    }
    return {};
}
