#pragma once

#include <QByteArray>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>

#include <string>

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
    // Numbers as numbers to twelve significant digits (not-a-number and infinities as null),
    // texts as strings, anything else by its text.
    JsonWriter &value(QStringView key, const QVariant &variant);
    // The same under a key made once with encodedKey(): for keys written again and again.
    JsonWriter &value(const QByteArray &encodedKey, const QVariant &variant);
    static QByteArray encodedKey(QStringView key);

    QByteArray data() const { return QByteArray(m_data.data(), qsizetype(m_data.size())); }
    QByteArray take() { return data(); }

private:
    static void appendString(std::string &out, QStringView text);
    static void appendNumber(std::string &out, double number);
    static void appendInteger(std::string &out, qint64 number);

    void key(QStringView key);
    void separate();
    void write(const QVariant &variant);

    // Many small appends: a standard string does them without Qt's sharing checks.
    std::string m_data;
    // Per open object or array: whether it holds a member yet.
    QVarLengthArray<bool, 4> m_filled;
};
