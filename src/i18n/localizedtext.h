#pragma once

#include <QString>
#include <QStringList>

// A message composed in code, kept as its Chinese text and English form with the values that go
// into their %1..%9, so that it can be shown in whichever language is current when it is shown.
//
//     LocalizedText error(QStringLiteral("无法打开协议文件：%1"),
//                         QStringLiteral("Cannot open config file: %1"), {path});
//     label->setText(error.toString(language)); // the table's German in German
class LocalizedText
{
public:
    LocalizedText() = default;
    LocalizedText(const QString &chinese, const QString &english,
                  const QStringList &arguments = {});
    // A text from outside the translation table (the system's own words): the same in every
    // language.
    static LocalizedText verbatim(const QString &text);

    bool isEmpty() const { return m_chinese.isEmpty() && m_english.isEmpty(); }
    // Chinese in language 0; otherwise the table's translation, or the English form without one.
    QString toString(int language) const;
    QString english() const { return filled(m_english); }

    bool operator==(const LocalizedText &other) const;

private:
    QString filled(const QString &pattern) const;

    QString m_chinese;
    QString m_english;
    QStringList m_arguments;
};
