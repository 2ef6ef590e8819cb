#pragma once

#include <QByteArray>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>

// Compact JSON written straight into a byte array, keys in the order they are given: the per-frame
// messages are built without a document tree in between.
class JsonWriter
{
public:
    explicit JsonWriter(qsizetype reserve = 0);

    JsonWriter &beginObject();
    JsonWriter &beginObject(QStringView key);
    JsonWriter &endObject();
    JsonWriter &beginArray(QStringView key);
    JsonWriter &element(QStringView text);
    JsonWriter &endArray();

    JsonWriter &value(QStringView key, QStringView text);
    JsonWriter &value(QStringView key, const QString &text)
    {
        return value(key, QStringView(text));
    }
    JsonWriter &value(QStringView key, const char *latin1);
    JsonWriter &value(QStringView key, double number);
    JsonWriter &value(QStringView key, qint64 number);
    JsonWriter &value(QStringView key, bool flag);
    // Numbers as numbers (not-a-number and infinities as null), texts as strings, anything else
    // by its text.
    JsonWriter &value(QStringView key, const QVariant &variant);

    const QByteArray &data() const { return m_data; }
    QByteArray take() { return std::move(m_data); }

    static void appendString(QByteArray &out, QStringView text);
    static void appendNumber(QByteArray &out, double number);

private:
    void key(QStringView key);
    void separate();

    QByteArray m_data;
    // Per open object or array: whether it holds a member yet.
    QVarLengthArray<bool, 4> m_filled;
};
