#pragma once

#include <QHash>
#include <QString>

#include <functional>

// Chinese is the source language; English and German come from one built-in table.
enum Language : int { Chinese = 0, English = 1, German = 2 };

using TextTranslator = std::function<QString(const QString &)>;
using TranslationMap = QHash<QString, QString>;

// Number of rows in the built-in table.
int translationTableSize();

// Dictionary for a language: English for 1, German for 2, an empty one for anything else.
const TranslationMap &translationsFor(int language);

// Looks the trimmed text up; the text's outer white space is kept (as plain spaces).
QString lookupTranslation(const TranslationMap &dictionary, const QString &text);

// The translation with as many spaces around it as the source has white-space characters.
QString restoreOuterWhitespace(const QString &source, const QString &translation);

// Chinese text in language 0; otherwise its translation, or the fallback when the table lacks it.
QString translateOr(int language, const QString &chinese, const QString &fallback);

// Like lookupTranslation, but also translates "prefix (unit)" texts by their prefix.
QString translateWithUnit(int language, const QString &text);
