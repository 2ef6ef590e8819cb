#include "i18n/localizedtext.h"

#include "i18n/translations.h"

LocalizedText::LocalizedText(const QString &chinese, const QString &english,
                             const QStringList &arguments)
    : m_chinese(chinese), m_english(english), m_arguments(arguments)
{ }

LocalizedText LocalizedText::verbatim(const QString &text)
{
    // Its own key is absent from the table, so every language falls back to the text itself;
    // kept as the one argument, a % in it stays as it is.
    return LocalizedText(QStringLiteral("%1"), QStringLiteral("%1"), {text});
}

QString LocalizedText::toString(int language) const
{
    return filled(translateOr(language, m_chinese, m_english));
}

bool LocalizedText::operator==(const LocalizedText &other) const
{
    return m_chinese == other.m_chinese && m_english == other.m_english
            && m_arguments == other.m_arguments;
}

QString LocalizedText::filled(const QString &pattern) const
{
    // One pass, so that a value holding "%2" is not filled in again.
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%' && i + 1 < pattern.size()) {
            const int n = pattern.at(i + 1).digitValue();
            if (n >= 1 && n <= m_arguments.size()) {
                out += m_arguments.at(n - 1);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
