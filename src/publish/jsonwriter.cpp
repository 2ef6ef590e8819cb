#include "publish/jsonwriter.h"

#include <charconv>
#include <cmath>
#include <limits>

JsonWriter::JsonWriter(qsizetype reserve)
{
    if (reserve > 0)
        m_data.reserve(size_t(reserve));
}

void JsonWriter::separate()
{
    if (m_filled.isEmpty())
        return;
    if (m_filled.last())
        m_data.push_back(',');
    m_filled.last() = true;
}

void JsonWriter::key(QStringView key)
{
    separate();
    appendString(m_data, key);
    m_data.push_back(':');
}

QByteArray JsonWriter::encodedKey(QStringView key)
{
    std::string encoded;
    appendString(encoded, key);
    encoded.push_back(':');
    return QByteArray(encoded.data(), qsizetype(encoded.size()));
}

JsonWriter &JsonWriter::beginObject()
{
    separate();
    m_data.push_back('{');
    m_filled.append(false);
    return *this;
}

JsonWriter &JsonWriter::beginObject(QStringView name)
{
    key(name);
    m_data.push_back('{');
    m_filled.append(false);
    return *this;
}

JsonWriter &JsonWriter::endObject()
{
    m_data.push_back('}');
    if (!m_filled.isEmpty())
        m_filled.removeLast();
    return *this;
}

JsonWriter &JsonWriter::beginArray(QStringView name)
{
    key(name);
    m_data.push_back('[');
    m_filled.append(false);
    return *this;
}

JsonWriter &JsonWriter::element(QStringView text)
{
    separate();
    appendString(m_data, text);
    return *this;
}

JsonWriter &JsonWriter::endArray()
{
    m_data.push_back(']');
    if (!m_filled.isEmpty())
        m_filled.removeLast();
    return *this;
}

JsonWriter &JsonWriter::value(QStringView name, QStringView text)
{
    key(name);
    appendString(m_data, text);
    return *this;
}

JsonWriter &JsonWriter::value(QStringView name, const char *latin1)
{
    return value(name, QString::fromLatin1(latin1));
}

JsonWriter &JsonWriter::value(QStringView name, double number)
{
    key(name);
    appendNumber(m_data, number);
    return *this;
}

JsonWriter &JsonWriter::value(QStringView name, qint64 number)
{
    key(name);
    appendInteger(m_data, number);
    return *this;
}

JsonWriter &JsonWriter::value(QStringView name, bool flag)
{
    key(name);
    m_data.append(flag ? "true" : "false");
    return *this;
}

JsonWriter &JsonWriter::value(QStringView name, const QVariant &variant)
{
    key(name);
    write(variant);
    return *this;
}

JsonWriter &JsonWriter::value(const QByteArray &encoded, const QVariant &variant)
{
    separate();
    m_data.append(encoded.constData(), size_t(encoded.size()));
    write(variant);
    return *this;
}

void JsonWriter::write(const QVariant &variant)
{
    switch (variant.typeId()) {
    case QMetaType::Double:
        appendNumber(m_data, *static_cast<const double *>(variant.constData()));
        return;
    case QMetaType::Float:
        appendNumber(m_data, variant.toDouble());
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::UInt:
        appendInteger(m_data, variant.toLongLong());
        return;
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
        if (variant.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            appendInteger(m_data, qint64(variant.toULongLong()));
        else
            appendNumber(m_data, variant.toDouble());
        return;
    case QMetaType::Bool:
        m_data.append(variant.toBool() ? "true" : "false");
        return;
    case QMetaType::QString:
        appendString(m_data, *static_cast<const QString *>(variant.constData()));
        return;
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        m_data.append("null");
        return;
    default:
        appendString(m_data, variant.toString());
    }
}

void JsonWriter::appendString(std::string &out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    const qsizetype size = text.size();
    const char16_t *chars = text.utf16();
    // Keys and most texts are plain ASCII: copied as they are, without a conversion buffer.
    qsizetype plain = 0;
    while (plain < size && chars[plain] >= 0x20 && chars[plain] < 0x80 && chars[plain] != u'"'
           && chars[plain] != u'\\')
        ++plain;
    out.push_back('"');
    for (qsizetype i = 0; i < plain; ++i)
        out.push_back(char(chars[i]));

    qsizetype runStart = plain;
    for (qsizetype i = plain; i < size; ++i) {
        const char16_t c = chars[i];
        if (c >= 0x20 && c != u'"' && c != u'\\')
            continue;
        if (i > runStart) {
            const QByteArray utf8 = text.sliced(runStart, i - runStart).toUtf8();
            out.append(utf8.constData(), size_t(utf8.size()));
        }
        runStart = i + 1;
        switch (c) {
        case u'"':
            out.append("\\\"");
            break;
        case u'\\':
            out.append("\\\\");
            break;
        case u'\n':
            out.append("\\n");
            break;
        case u'\r':
            out.append("\\r");
            break;
        case u'\t':
            out.append("\\t");
            break;
        default:
            out.append("\\u00");
            out.push_back(hex[(c >> 4) & 0xF]);
            out.push_back(hex[c & 0xF]);
        }
    }
    if (runStart < size) {
        const QByteArray utf8 = text.sliced(runStart).toUtf8();
        out.append(utf8.constData(), size_t(utf8.size()));
    }
    out.push_back('"');
}

void JsonWriter::appendNumber(std::string &out, double number)
{
    if (!std::isfinite(number)) {
        out.append("null");
        return;
    }
    // Twelve significant digits, far more than any reading carries: scaled readings such as
    // 239 x 0.1 are written 23.9, not 23.900000000000002. Most are whole or have a few decimals
    // and are written from integers, much quicker than the general form.
    const double tolerance = std::abs(number) * 1e-12;
    if (std::abs(number) < 1e12) {
        double scale = 1;
        for (int decimals = 0; decimals <= 6; ++decimals, scale *= 10) {
            qint64 whole = qint64(number * scale + (number < 0 ? -0.5 : 0.5));
            if (std::abs(double(whole) / scale - number) > tolerance)
                continue;
            if (decimals == 0) {
                appendInteger(out, whole);
                return;
            }
            if (whole < 0) {
                out.push_back('-');
                whole = -whole;
            }
            const qint64 divisor = qint64(scale);
            appendInteger(out, whole / divisor);
            char fraction[8];
            qint64 rest = whole % divisor;
            int kept = decimals;
            for (int i = decimals - 1; i >= 0; --i, rest /= 10)
                fraction[i] = char('0' + rest % 10);
            while (kept > 0 && fraction[kept - 1] == '0')
                --kept;
            if (kept > 0) {
                out.push_back('.');
                out.append(fraction, size_t(kept));
            }
            return;
        }
    }
    char buffer[32];
    const auto result =
            std::to_chars(buffer, buffer + sizeof(buffer), number, std::chars_format::general, 12);
    out.append(buffer, size_t(result.ptr - buffer));
}

void JsonWriter::appendInteger(std::string &out, qint64 number)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), number);
    out.append(buffer, size_t(result.ptr - buffer));
}
