#include "publish/jsonwriter.h"

#include <QLocale>

#include <cmath>

JsonWriter::JsonWriter(qsizetype reserve)
{
    if (reserve > 0)
        m_data.reserve(reserve);
}

void JsonWriter::separate()
{
    if (m_filled.isEmpty())
        return;
    if (m_filled.last())
        m_data.append(',');
    m_filled.last() = true;
}

void JsonWriter::key(QStringView key)
{
    separate();
    appendString(m_data, key);
    m_data.append(':');
}

JsonWriter &JsonWriter::beginObject()
{
    separate();
    m_data.append('{');
    m_filled.append(false);
    return *this;
}

JsonWriter &JsonWriter::beginObject(QStringView name)
{
    key(name);
    m_data.append('{');
    m_filled.append(false);
    return *this;
}

JsonWriter &JsonWriter::endObject()
{
    m_data.append('}');
    if (!m_filled.isEmpty())
        m_filled.removeLast();
    return *this;
}

JsonWriter &JsonWriter::beginArray(QStringView name)
{
    key(name);
    m_data.append('[');
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
    m_data.append(']');
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
    m_data.append(QByteArray::number(number));
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
    switch (variant.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return value(name, variant.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
        return value(name, variant.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
        key(name);
        m_data.append(QByteArray::number(variant.toULongLong()));
        return *this;
    case QMetaType::Bool:
        return value(name, variant.toBool());
    case QMetaType::QString:
        return value(name, QStringView(*static_cast<const QString *>(variant.constData())));
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        key(name);
        m_data.append("null");
        return *this;
    default:
        return value(name, variant.toString());
    }
}

void JsonWriter::appendString(QByteArray &out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    qsizetype plainStart = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= 0x20 && c != u'"' && c != u'\\')
            continue;
        if (i > plainStart)
            out.append(text.mid(plainStart, i - plainStart).toUtf8());
        plainStart = i + 1;
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
            out.append(hex[(c >> 4) & 0xF]);
            out.append(hex[c & 0xF]);
        }
    }
    if (plainStart == 0) {
        out.append(text.toUtf8());
    } else if (plainStart < size) {
        out.append(text.mid(plainStart).toUtf8());
    }
    out.append('"');
}

void JsonWriter::appendNumber(QByteArray &out, double number)
{
    if (!std::isfinite(number)) {
        out.append("null");
        return;
    }
    // Shortest form that reads back as the same double; whole numbers without a fraction.
    out.append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
}
