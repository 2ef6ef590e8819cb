#include "datalog/cellstore.h"

#include "datalog/realtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Tags below 0x80 name a type; a tag with the high bit set is a decimal real (see addDouble).
enum Tag : uchar {
    TagInvalid = 0,
    TagDouble, // 8 bytes, the bits of the real
    TagInt8,
    TagInt16,
    TagInt32,
    TagUInt, // 4 bytes
    TagLongLong8,
    TagLongLong16,
    TagLongLong32,
    TagLongLong64,
    TagULongLong, // 8 bytes
    TagFalse,
    TagTrue,
    TagStringInline, // 1 length byte, then UTF-8
    TagStringPool16,
    TagStringPool32,
    TagOther, // 4 bytes, index into the side list
};

// Decimal real: 0x80 | width << 5 | correction << 3 | exponent. The value is
// mantissa / 10^exponent moved by a few units in the last place: 0, +1, -1, or a signed byte
// stored after the mantissa. The mantissa is 1, 2 or 4 bytes (width 0, 1, 2).
constexpr uchar kDecimal = 0x80;
constexpr int kMaxExponent = 7;
constexpr double kPow10[kMaxExponent + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

constexpr size_t kBlockSize = 64 * 1024;
constexpr int kPageShift = 12;
constexpr qsizetype kPageSize = qsizetype(1) << kPageShift;
constexpr quint16 kMaxPooledPerColumn = 256;
constexpr int kMaxInlineBytes = 255;

template<typename T>
T load(const uchar *p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

qint64 bitsOf(double d)
{
    qint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

double fromBits(qint64 bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

int decimalWidth(uchar tag)
{
    return 1 << ((tag >> 5) & 3);
}

size_t cellSize(uchar tag, const uchar *payload)
{
    if (tag & kDecimal)
        return size_t(decimalWidth(tag)) + (((tag >> 3) & 3) == 3 ? 1 : 0);
    switch (tag) {
    case TagDouble:
    case TagLongLong64:
    case TagULongLong:
        return 8;
    case TagInt8:
    case TagLongLong8:
        return 1;
    case TagInt16:
    case TagLongLong16:
    case TagStringPool16:
        return 2;
    case TagInt32:
    case TagUInt:
    case TagLongLong32:
    case TagStringPool32:
    case TagOther:
        return 4;
    case TagStringInline:
        return 1 + size_t(payload[0]);
    default:
        return 0;
    }
}

// cellSize() as a table for the tags of fixed size; 0xFF marks an inline text (length byte
// first). Walks that skip many cells of every row use it.
struct CellSizeTable
{
    uchar size[256];
    constexpr CellSizeTable() : size()
    {
        for (int tag = 0; tag < 256; ++tag) {
            if (tag & kDecimal) {
                size[tag] = uchar((1 << ((tag >> 5) & 3)) + (((tag >> 3) & 3) == 3 ? 1 : 0));
                continue;
            }
            switch (tag) {
            case TagDouble:
            case TagLongLong64:
            case TagULongLong:
                size[tag] = 8;
                break;
            case TagInt8:
            case TagLongLong8:
                size[tag] = 1;
                break;
            case TagInt16:
            case TagLongLong16:
            case TagStringPool16:
                size[tag] = 2;
                break;
            case TagInt32:
            case TagUInt:
            case TagLongLong32:
            case TagStringPool32:
            case TagOther:
                size[tag] = 4;
                break;
            case TagStringInline:
                size[tag] = 0xFF;
                break;
            default:
                size[tag] = 0;
                break;
            }
        }
    }
};
constexpr CellSizeTable kCellSizes;

inline size_t skipSize(uchar tag, const uchar *payload)
{
    const uchar size = kCellSizes.size[tag];
    return size == 0xFF ? 1 + size_t(payload[0]) : size;
}

} // namespace

CellStore::CellStore()
{
    m_tags.reserve(64);
    m_payload.reserve(512);
}

CellStore::~CellStore() = default;

void CellStore::beginRow()
{
    m_tags.clear();
    m_payload.clear();
}

void CellStore::addInvalid()
{
    m_tags.push_back(TagInvalid);
}

void CellStore::putBytes(const void *data, size_t size)
{
    const auto *p = static_cast<const uchar *>(data);
    m_payload.insert(m_payload.end(), p, p + size);
}

void CellStore::addVariant(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        addInvalid();
        return;
    case QMetaType::Double:
        addDouble(value.toDouble());
        return;
    case QMetaType::Int:
        addInteger(value.toInt(), TagInt8, 4);
        return;
    case QMetaType::LongLong:
        addInteger(value.toLongLong(), TagLongLong8, 8);
        return;
    case QMetaType::UInt: {
        const quint32 v = value.toUInt();
        m_tags.push_back(TagUInt);
        putBytes(&v, sizeof v);
        return;
    }
    case QMetaType::ULongLong: {
        const quint64 v = value.toULongLong();
        m_tags.push_back(TagULongLong);
        putBytes(&v, sizeof v);
        return;
    }
    case QMetaType::Bool:
        m_tags.push_back(value.toBool() ? TagTrue : TagFalse);
        return;
    case QMetaType::QString:
        addString(value.toString());
        return;
    default:
        addOther(value);
        return;
    }
}

// tag8 is the 1-byte tag of the family; the 2-, 4- and 8-byte tags follow it.
void CellStore::addInteger(qint64 value, uchar tag8, int maxBytes)
{
    if (value >= INT8_MIN && value <= INT8_MAX) {
        const qint8 v = qint8(value);
        m_tags.push_back(tag8);
        putBytes(&v, 1);
    } else if (value >= INT16_MIN && value <= INT16_MAX) {
        const qint16 v = qint16(value);
        m_tags.push_back(tag8 + 1);
        putBytes(&v, 2);
    } else if (maxBytes == 4 || (value >= INT32_MIN && value <= INT32_MAX)) {
        const qint32 v = qint32(value);
        m_tags.push_back(tag8 + 2);
        putBytes(&v, 4);
    } else {
        m_tags.push_back(tag8 + 3);
        putBytes(&value, 8);
    }
}

// A real is kept as the shortest decimal mantissa m with exponent e (0..7) such that m / 10^e
// lies within 127 units in the last place of it; the distance is stored too, so the value reads
// back exactly. Readings scaled by 0.1, 0.01 or 0.001, and sums and differences of them, nearly
// always qualify; anything else is stored as its 8 bytes.
void CellStore::addDecimal(qint32 mantissa, int exponent, int diff)
{
    int width;
    if (mantissa >= INT8_MIN && mantissa <= INT8_MAX)
        width = 0;
    else if (mantissa >= INT16_MIN && mantissa <= INT16_MAX)
        width = 1;
    else
        width = 2;
    const int correction = diff == 0 ? 0 : diff == 1 ? 1 : diff == -1 ? 2 : 3;
    m_tags.push_back(uchar(kDecimal | width << 5 | correction << 3 | exponent));
    putBytes(&mantissa, size_t(1) << width); // little-endian: the low bytes
    if (correction == 3) {
        const qint8 c = qint8(diff);
        putBytes(&c, 1);
    }
}

void CellStore::addDouble(double d)
{
    if (d == 0.0 && !std::signbit(d)) {
        const qint8 zero = 0;
        m_tags.push_back(kDecimal);
        putBytes(&zero, 1);
        return;
    }
    // Whole numbers (millivolts, counts) are the commonest readings: what the first round of
    // the search below finds for them, without its arithmetic.
    if (d != 0.0 && std::fabs(d) < 2147483647.0) {
        const auto whole = qint32(d);
        if (double(whole) == d) {
            addDecimal(whole, 0, 0);
            return;
        }
    }
    if (std::isfinite(d)) {
        const qint64 bits = bitsOf(d);
        for (int e = 0; e <= kMaxExponent; ++e) {
            const double scaled = d * kPow10[e];
            if (!(std::fabs(scaled) < 2147483647.0))
                break;
            const double rounded = std::nearbyint(scaled);
            // Cheap rejection before the division: the scaled value must be nearly whole.
            if (rounded == 0.0 || std::fabs(scaled - rounded) > std::fabs(scaled) * 1e-13)
                continue;
            const auto mantissa = qint32(rounded);
            const double base = double(mantissa) / kPow10[e];
            const qint64 baseBits = bitsOf(base);
            if ((bits ^ baseBits) < 0)
                continue;
            const qint64 diff = bits - baseBits;
            if (diff < -128 || diff > 127)
                continue;
            addDecimal(mantissa, e, int(diff));
            return;
        }
    }
    m_tags.push_back(TagDouble);
    putBytes(&d, sizeof d);
}

void CellStore::addString(const QString &text)
{
    const size_t column = m_tags.size();
    auto it = m_stringIndex.constFind(text);
    if (it == m_stringIndex.constEnd()) {
        if (m_pooledPerColumn.size() <= column)
            m_pooledPerColumn.resize(column + 1, 0);
        if (m_pooledPerColumn[column] < kMaxPooledPerColumn && text.size() <= kMaxInlineBytes) {
            ++m_pooledPerColumn[column];
            const auto index = quint32(m_strings.size());
            m_strings.append(text);
            it = m_stringIndex.insert(text, index);
        }
    }
    if (it != m_stringIndex.constEnd()) {
        const quint32 index = it.value();
        if (index <= 0xFFFF) {
            const auto i16 = quint16(index);
            m_tags.push_back(TagStringPool16);
            putBytes(&i16, 2);
        } else {
            m_tags.push_back(TagStringPool32);
            putBytes(&index, 4);
        }
        return;
    }

    if (text.size() <= kMaxInlineBytes) {
        const QChar *chars = text.constData();
        const qsizetype n = text.size();
        bool ascii = true;
        for (qsizetype i = 0; i < n && ascii; ++i)
            ascii = chars[i].unicode() < 0x80;
        if (ascii) {
            m_tags.push_back(TagStringInline);
            m_payload.push_back(uchar(n));
            for (qsizetype i = 0; i < n; ++i)
                m_payload.push_back(uchar(chars[i].unicode()));
            return;
        }
        const QByteArray utf8 = text.toUtf8();
        if (utf8.size() <= kMaxInlineBytes) {
            m_tags.push_back(TagStringInline);
            m_payload.push_back(uchar(utf8.size()));
            putBytes(utf8.constData(), size_t(utf8.size()));
            return;
        }
    }
    addOther(text);
}

void CellStore::addOther(const QVariant &value)
{
    const auto index = quint32(m_others.size());
    m_others.append(value);
    m_tags.push_back(TagOther);
    putBytes(&index, 4);
}

uchar *CellStore::allocate(size_t size)
{
    if (size > m_freeSize) {
        if (size > kBlockSize / 4) {
            // A row of unusual size gets its own block; the current block stays in use.
            m_blocks.emplace_back(new uchar[size]);
            m_heldBytes += qint64(size);
            return m_blocks.back().get();
        }
        m_blocks.emplace_back(new uchar[kBlockSize]);
        m_heldBytes += qint64(kBlockSize);
        m_free = m_blocks.back().get();
        m_freeSize = kBlockSize;
    }
    uchar *p = m_free;
    m_free += size;
    m_freeSize -= size;
    return p;
}

void CellStore::endRow()
{
    const size_t count = m_tags.size();
    const size_t header = count < 0xFF ? 1 : 5;
    uchar *record = allocate(header + count + m_payload.size());
    if (header == 1) {
        record[0] = uchar(count);
    } else {
        record[0] = 0xFF;
        const auto n = quint32(count);
        std::memcpy(record + 1, &n, 4);
    }
    if (count)
        std::memcpy(record + header, m_tags.data(), count);
    if (!m_payload.empty())
        std::memcpy(record + header + count, m_payload.data(), m_payload.size());

    if ((m_rowCount & (kPageSize - 1)) == 0) {
        m_pages.emplace_back(new const uchar *[kPageSize]);
        m_heldBytes += qint64(kPageSize * sizeof(const uchar *));
    }
    m_pages.back()[m_rowCount & (kPageSize - 1)] = record;
    ++m_rowCount;
}

const uchar *CellStore::rowRecord(qsizetype row) const
{
    return m_pages[size_t(row >> kPageShift)][row & (kPageSize - 1)];
}

const CellStore::Cursor *CellStore::locate(qsizetype row) const
{
    if (row < 0 || row >= m_rowCount)
        return nullptr;
    if (m_cursor.row == row)
        return &m_cursor;
    const uchar *record = rowRecord(row);
    int count = record[0];
    const uchar *tags = record + 1;
    if (count == 0xFF) {
        count = int(load<quint32>(record + 1));
        tags = record + 5;
    }
    m_cursor.row = row;
    m_cursor.count = count;
    m_cursor.tags = tags;
    m_cursor.payload = tags + count;
    m_cursor.offsets.resize(size_t(count));
    quint32 offset = 0;
    for (int i = 0; i < count; ++i) {
        m_cursor.offsets[size_t(i)] = offset;
        offset += quint32(cellSize(tags[i], m_cursor.payload + offset));
    }
    return &m_cursor;
}

int CellStore::cellCount(qsizetype row) const
{
    if (row < 0 || row >= m_rowCount)
        return 0;
    const uchar *record = rowRecord(row);
    return record[0] == 0xFF ? int(load<quint32>(record + 1)) : record[0];
}

QVariant CellStore::cell(qsizetype row, int column) const
{
    const Cursor *c = locate(row);
    if (!c || column < 0 || column >= c->count)
        return QVariant();
    return decode(c->tags[column], c->payload + c->offsets[size_t(column)]);
}

bool CellStore::isString(qsizetype row, int column) const
{
    const Cursor *c = locate(row);
    if (!c || column < 0 || column >= c->count)
        return false;
    const uchar tag = c->tags[column];
    if (tag == TagStringInline || tag == TagStringPool16 || tag == TagStringPool32)
        return true;
    if (tag == TagOther) {
        const auto index = load<quint32>(c->payload + c->offsets[size_t(column)]);
        return m_others.at(index).typeId() == QMetaType::QString;
    }
    return false;
}

namespace {

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930"
                               "31323334353637383940414243444546474849505152535455565758596061"
                               "62636465666768697071727374757677787980818283848586878889909192"
                               "93949596979899";

// Writes the decimal digits of u (u > 0) so that they end just before end; returns their start.
// 32-bit values take the cheaper arithmetic.
template<typename U>
char *digitsBefore(U u, char *end)
{
    char *p = end;
    while (u >= 100) {
        const unsigned pair = unsigned(u % 100) * 2;
        u /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (u >= 10) {
        *--p = kDigitPairs[u * 2 + 1];
        *--p = kDigitPairs[u * 2];
    } else {
        *--p = char('0' + u);
    }
    return p;
}

// Decimal digits of u, most significant first; returns their count (u > 0).
int digitsOf(quint64 u, char *out)
{
    char buffer[20];
    char *const end = buffer + sizeof buffer;
    const char *first = u <= 0xFFFFFFFFu ? digitsBefore(quint32(u), end) : digitsBefore(u, end);
    const int n = int(end - first);
    std::memcpy(out, first, size_t(n));
    return n;
}

int integerText(qint64 v, char *out)
{
    if (v == 0) {
        out[0] = '0';
        return 1;
    }
    int sign = 0;
    quint64 u = quint64(v);
    if (v < 0) {
        out[sign++] = '-';
        u = 0 - u;
    }
    return sign + digitsOf(u, out + sign);
}

qint32 decimalMantissa(uchar tag, const uchar *p)
{
    switch (decimalWidth(tag)) {
    case 1:
        return load<qint8>(p);
    case 2:
        return load<qint16>(p);
    default:
        return load<qint32>(p);
    }
}

// The real of a decimal cell (see addDouble).
double decimalValue(uchar tag, const uchar *p)
{
    // Whole numbers (exponent 0) are the commonest cells; a division costs more than the test.
    const int exponent = tag & 7;
    double value = double(decimalMantissa(tag, p));
    if (exponent != 0)
        value /= kPow10[exponent];
    switch ((tag >> 3) & 3) {
    case 1:
        value = fromBits(bitsOf(value) + 1);
        break;
    case 2:
        value = fromBits(bitsOf(value) - 1);
        break;
    case 3:
        value = fromBits(bitsOf(value) + load<qint8>(p + decimalWidth(tag)));
        break;
    default:
        break;
    }
    return value;
}

// The text QString::number(v, 'g', QLocale::FloatingPointShortest) gives, which is what a real's
// variant turns into: the shortest digits that read back as v, in fixed notation unless the
// exponent form is shorter, with a two-digit exponent. realtext makes it for readings' magnitudes
// at a fraction of the cost; std::to_chars makes the same text except for zero's sign and for
// large whole numbers, which it writes out exactly: those are left to Qt.
bool realText(double v, char *out, int &length)
{
    if (v == 0.0) {
        out[0] = '0';
        length = 1;
        return true;
    }
    length = realtext::shortest(v, out);
    if (length > 0)
        return true;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    if (!(std::fabs(v) < 1e15))
        return false;
    const std::to_chars_result result = std::to_chars(out, out + CellStore::kMaxNumberText, v);
    if (result.ec != std::errc())
        return false;
    length = int(result.ptr - out);
    return true;
#else
    Q_UNUSED(out)
    Q_UNUSED(length)
    return false;
#endif
}

// The same text for the double nearest to m / 10^e, made directly: its shortest digits are those
// of m without trailing zeros (any shorter decimal lies more than a unit in the last place away),
// in fixed notation unless the exponent form (two-digit exponent) is shorter.
int decimalText(qint32 mantissa, int exponent, char *out)
{
    if (mantissa == 0) {
        out[0] = '0';
        return 1;
    }
    char *p = out;
    const quint32 u = mantissa < 0 ? 0u - quint32(mantissa) : quint32(mantissa);
    if (mantissa < 0)
        *p++ = '-';
    // Digits end mid-buffer so that fixed 16-byte copies from them stay inside it; out has
    // kMaxNumberText bytes, enough for the same copies at the furthest position they start.
    char buffer[32];
    char *const end = buffer + 16;
    const int total = realtext::digitsBefore(u, end);
    const char *const digits = end - total;
    const int point = total - exponent; // digits before the decimal point (may be <= 0)
    if (exponent > 0 && point > 0 && digits[total - 1] != '0') {
        // Digits on both sides of the point, the commonest reading: fixed, without the
        // weighing below.
        std::memcpy(p, digits, 16);
        p[point] = '.';
        std::memcpy(p + point + 1, digits + point, 16);
        return int(p - out) + total + 1;
    }
    int significant = total;
    while (digits[significant - 1] == '0')
        --significant;
    const int fixedLength =
            point <= 0 ? 2 - point + significant : (point < significant ? significant + 1 : point);
    const int power = point - 1; // within -7..9: two exponent digits
    const int absPower = power < 0 ? -power : power;
    const int scientificLength = significant + (significant > 1 ? 1 : 0) + 4;
    if (scientificLength < fixedLength) {
        *p++ = digits[0];
        if (significant > 1) {
            *p++ = '.';
            for (int i = 1; i < significant; ++i)
                *p++ = digits[i];
        }
        *p++ = 'e';
        *p++ = power < 0 ? '-' : '+';
        *p++ = char('0' + absPower / 10);
        *p++ = char('0' + absPower % 10);
    } else if (point <= 0) {
        p[0] = '0';
        p[1] = '.';
        std::memcpy(p + 2, "00000000", 8); // -point <= kMaxExponent
        p += 2 - point;
        std::memcpy(p, digits, 16);
        p += significant;
    } else if (point >= significant) { // a whole number: its zeros are among the digits
        std::memcpy(p, digits, 16);
        p += point;
    } else {
        std::memcpy(p, digits, 16);
        p += point;
        *p++ = '.';
        std::memcpy(p, digits + point, 16);
        p += significant - point;
    }
    return int(p - out);
}

// The number a text spells ("25.0", "-3", "1e3"), as QByteArray::toDouble reads it; NaN else.
double decimalNumber(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 64)
        return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double v = QByteArray::fromRawData(text.data(), text.size()).toDouble(&ok);
    return ok && std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

CellStore::TextKind CellStore::cellText(qsizetype row, int column, char *buffer, int &length,
                                        QByteArrayView &utf8) const
{
    const Cursor *c = locate(row);
    if (!c || column < 0 || column >= c->count)
        return TextKind::Empty;
    return textOf(c->tags[column], c->payload + c->offsets[size_t(column)], buffer, length, utf8);
}

int CellStore::rowTexts(qsizetype row, CellText *texts, int capacity) const
{
    if (row < 0 || row >= m_rowCount)
        return 0;
    const uchar *record = rowRecord(row);
    int count = record[0];
    const uchar *tags = record + 1;
    if (count == 0xFF) {
        count = int(load<quint32>(record + 1));
        tags = record + 5;
    }
    const uchar *p = tags + count;
    const int n = qMin(count, capacity);
    for (int i = 0; i < n; ++i) {
        CellText &t = texts[i];
        t.kind = textOf(tags[i], p, t.number, t.length, t.utf8);
        p += skipSize(tags[i], p);
    }
    return count;
}

int CellStore::csvFields(qsizetype row, const int *columns, int count, int from, char *&out,
                         TextKind &stopKind, QByteArrayView &stopText) const
{
    char *o = out;
    int cells = 0;
    const uchar *tags = nullptr;
    const uchar *p = nullptr;
    if (row >= 0 && row < m_rowCount) {
        const uchar *record = rowRecord(row);
        cells = record[0];
        tags = record + 1;
        if (cells == 0xFF) {
            cells = int(load<quint32>(record + 1));
            tags = record + 5;
        }
        p = tags + cells;
    }
    int column = 0;
    for (int i = from; i < count; ++i) {
        const int wanted = columns[i];
        *o = ',';
        char *field = o + (i > 0 ? 1 : 0);
        field[0] = '"';
        if (wanted >= cells) { // past the row's end: empty
            field[1] = '"';
            o = field + 2;
            continue;
        }
        for (; column < wanted; ++column)
            p += skipSize(tags[column], p);
        int length = 0;
        const TextKind kind = textOf(tags[column], p, field + 1, length, stopText);
        if (kind == TextKind::Number) {
            field[length + 1] = '"';
            o = field + length + 2;
        } else if (kind == TextKind::Empty) {
            field[1] = '"';
            o = field + 2;
        } else {
            out = o;
            stopKind = kind;
            return i;
        }
    }
    out = o;
    return count;
}

int CellStore::rowNumbers(qsizetype row, const int *columns, int count, double *out) const
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    if (row < 0 || row >= m_rowCount) {
        for (int i = 0; i < count; ++i)
            out[i] = nan;
        return 0;
    }
    const uchar *record = rowRecord(row);
    int cells = record[0];
    const uchar *tags = record + 1;
    if (cells == 0xFF) {
        cells = int(load<quint32>(record + 1));
        tags = record + 5;
    }
    const uchar *p = tags + cells;
    int column = 0;
    for (int i = 0; i < count; ++i) {
        const int wanted = columns[i];
        if (wanted < column || wanted >= cells) { // not ascending, or past the row's end
            out[i] = nan;
            continue;
        }
        for (; column < wanted; ++column)
            p += skipSize(tags[column], p);
        out[i] = numberOf(tags[column], p);
    }
    return cells;
}

double CellStore::numberOf(uchar tag, const uchar *p) const
{
    if (tag & kDecimal)
        return decimalValue(tag, p);
    switch (tag) {
    case TagDouble:
        return load<double>(p);
    case TagInt8:
    case TagLongLong8:
        return load<qint8>(p);
    case TagInt16:
    case TagLongLong16:
        return load<qint16>(p);
    case TagInt32:
    case TagLongLong32:
        return load<qint32>(p);
    case TagUInt:
        return load<quint32>(p);
    case TagLongLong64:
        return double(load<qint64>(p));
    case TagULongLong:
        return double(load<quint64>(p));
    case TagStringInline:
        return decimalNumber(QByteArrayView(reinterpret_cast<const char *>(p + 1), p[0]));
    case TagStringPool16:
        return decimalNumber(pooledUtf8(load<quint16>(p)));
    case TagStringPool32:
        return decimalNumber(pooledUtf8(load<quint32>(p)));
    case TagOther: {
        const QVariant &v = m_others.at(load<quint32>(p));
        switch (v.typeId()) {
        case QMetaType::QString:
            return decimalNumber(v.toString().toUtf8());
        case QMetaType::Float:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return v.toDouble();
        default:
            return std::numeric_limits<double>::quiet_NaN();
        }
    }
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

Q_ALWAYS_INLINE CellStore::TextKind CellStore::textOf(uchar tag, const uchar *p, char *buffer,
                                                      int &length, QByteArrayView &utf8) const
{
    if (tag & kDecimal) {
        if (((tag >> 3) & 3) == 0) { // exactly the double nearest to m / 10^e
            length = decimalText(decimalMantissa(tag, p), tag & 7, buffer);
            return TextKind::Number;
        }
        return recentRealText(decimalValue(tag, p), buffer, length) ? TextKind::Number
                                                                    : TextKind::Other;
    }
    switch (tag) {
    case TagInvalid:
        return TextKind::Empty;
    case TagDouble:
        return recentRealText(load<double>(p), buffer, length) ? TextKind::Number : TextKind::Other;
    case TagInt8:
    case TagLongLong8:
        length = integerText(load<qint8>(p), buffer);
        return TextKind::Number;
    case TagInt16:
    case TagLongLong16:
        length = integerText(load<qint16>(p), buffer);
        return TextKind::Number;
    case TagInt32:
    case TagLongLong32:
        length = integerText(load<qint32>(p), buffer);
        return TextKind::Number;
    case TagLongLong64:
        length = integerText(load<qint64>(p), buffer);
        return TextKind::Number;
    case TagStringInline:
        utf8 = QByteArrayView(reinterpret_cast<const char *>(p + 1), p[0]);
        return TextKind::Utf8;
    case TagStringPool16:
        utf8 = pooledUtf8(load<quint16>(p));
        return TextKind::Utf8;
    case TagStringPool32:
        utf8 = pooledUtf8(load<quint32>(p));
        return TextKind::Utf8;
    default:
        return TextKind::Other;
    }
}

bool CellStore::recentRealText(double v, char *buffer, int &length) const
{
    // Readings repeat (a temperature at 0.1 K, say, takes a few hundred values), and the
    // shortest text of a real that is not a short decimal costs far more than a lookup.
    const quint64 bits = quint64(bitsOf(v));
    if (!m_realTexts)
        m_realTexts = std::make_unique<RealText[]>(kRealTexts);
    static_assert(kRealTexts == 256, "the hash below picks one of 256 entries");
    RealText &entry = m_realTexts[size_t((bits * 0x9E3779B97F4A7C15ull) >> 56)];
    if (entry.bits == bits && entry.length > 0) {
        length = entry.length;
        std::memcpy(buffer, entry.text, kMaxNumberText);
        return true;
    }
    if (!realText(v, buffer, length))
        return false;
    entry.bits = bits;
    entry.length = length;
    std::memcpy(entry.text, buffer, kMaxNumberText);
    return true;
}

QByteArrayView CellStore::pooledUtf8(quint32 index) const
{
    // The pool only grows and its texts never change: their UTF-8 forms are made once.
    while (m_stringsUtf8.size() <= size_t(index))
        m_stringsUtf8.push_back(m_strings.at(qsizetype(m_stringsUtf8.size())).toUtf8());
    return m_stringsUtf8[index];
}

QVariant CellStore::decode(uchar tag, const uchar *p) const
{
    if (tag & kDecimal)
        return QVariant(decimalValue(tag, p));
    switch (tag) {
    case TagDouble:
        return QVariant(load<double>(p));
    case TagInt8:
        return QVariant(int(load<qint8>(p)));
    case TagInt16:
        return QVariant(int(load<qint16>(p)));
    case TagInt32:
        return QVariant(int(load<qint32>(p)));
    case TagUInt:
        return QVariant(uint(load<quint32>(p)));
    case TagLongLong8:
        return QVariant(qlonglong(load<qint8>(p)));
    case TagLongLong16:
        return QVariant(qlonglong(load<qint16>(p)));
    case TagLongLong32:
        return QVariant(qlonglong(load<qint32>(p)));
    case TagLongLong64:
        return QVariant(qlonglong(load<qint64>(p)));
    case TagULongLong:
        return QVariant(qulonglong(load<quint64>(p)));
    case TagFalse:
        return QVariant(false);
    case TagTrue:
        return QVariant(true);
    case TagStringInline:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(p + 1), p[0]));
    case TagStringPool16:
        return QVariant(m_strings.at(load<quint16>(p)));
    case TagStringPool32:
        return QVariant(m_strings.at(load<quint32>(p)));
    case TagOther:
        return m_others.at(load<quint32>(p));
    default:
        return QVariant();
    }
}

void CellStore::clear()
{
    m_tags.clear();
    m_payload.clear();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_free = nullptr;
    m_freeSize = 0;
    m_pages.clear();
    m_pages.shrink_to_fit();
    m_rowCount = 0;
    m_heldBytes = 0;
    m_strings.clear();
    m_stringsUtf8.clear();
    m_stringIndex.clear();
    m_pooledPerColumn.clear();
    m_others.clear();
    m_cursor = Cursor();
}
