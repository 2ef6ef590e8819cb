#include "i18n/localizedtext.h"
#include "i18n/translations.h"

#include <QtTest>

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void tableIsComplete();
    void lookup_data();
    void lookup();
    void translateOrFallback_data();
    void translateOrFallback();
    void withUnit_data();
    void withUnit();
    void multiLineRowIsFound();
    void whitespaceIsRestoredAsSpaces();
    void localizedText_data();
    void localizedText();
};

void TestTranslations::tableIsComplete()
{
    QCOMPARE(translationTableSize(), 403);
    // One key repeats, so each dictionary has one entry fewer than the table has rows.
    QCOMPARE(translationsFor(English).size(), translationTableSize() - 1);
    QCOMPARE(translationsFor(German).size(), translationTableSize() - 1);
    QVERIFY(translationsFor(Chinese).isEmpty());
    QVERIFY(translationsFor(7).isEmpty());
    QVERIFY(translationsFor(-1).isEmpty());
}

void TestTranslations::lookup_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("chinese unchanged") << 0 << QStringLiteral("开始") << QStringLiteral("开始");
    QTest::newRow("en plain") << 1 << QStringLiteral("开始") << QStringLiteral("Start");
    QTest::newRow("de plain") << 2 << QStringLiteral("开始") << QStringLiteral("Starten");
    QTest::newRow("en outer spaces")
            << 1 << QStringLiteral("  开始 ") << QStringLiteral("  Start ");
    QTest::newRow("en repeated key last wins")
            << 1 << QStringLiteral("关闭") << QStringLiteral("Close");
    QTest::newRow("de repeated key last wins")
            << 2 << QStringLiteral("关闭") << QStringLiteral("Schließen");
    QTest::newRow("unknown kept with spaces")
            << 1 << QStringLiteral(" 不存在 ") << QStringLiteral(" 不存在 ");
    QTest::newRow("white space only") << 1 << QStringLiteral("   ") << QStringLiteral("   ");
    QTest::newRow("first row") << 2 << QStringLiteral("%1 已关闭")
                               << QStringLiteral("%1 geschlossen");
    QTest::newRow("status template") << 1 << QStringLiteral("%1 已打开, %2, %3, %4, %5, %6")
                                     << QStringLiteral("%1 opened, %2, %3, %4, %5, %6");
    QTest::newRow("no-break space trimmed")
            << 1 << QStringLiteral("\u00A0开始") << QStringLiteral(" Start");
}

void TestTranslations::lookup()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(lookupTranslation(translationsFor(language), text), expected);
}

void TestTranslations::translateOrFallback_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zh returns chinese")
            << 0 << QStringLiteral("没有这个") << QStringLiteral("没有这个");
    QTest::newRow("en missing -> fallback")
            << 1 << QStringLiteral("没有这个") << QStringLiteral("fb");
    QTest::newRow("de missing -> fallback")
            << 2 << QStringLiteral("没有这个") << QStringLiteral("fb");
    QTest::newRow("de found") << 2 << QStringLiteral("警告") << QStringLiteral("Warnung");
    QTest::newRow("en found keeps spaces")
            << 1 << QStringLiteral(" 警告") << QStringLiteral(" Warning");
}

void TestTranslations::translateOrFallback()
{
    QFETCH(int, language);
    QFETCH(QString, chinese);
    QFETCH(QString, expected);
    QCOMPARE(translateOr(language, chinese, QStringLiteral("fb")), expected);
}

void TestTranslations::withUnit_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("en unit") << 1 << QStringLiteral("最大电压(mV)")
                             << QStringLiteral("Max Voltage(mV)");
    QTest::newRow("de unit") << 2 << QStringLiteral("最大电压(mV)")
                             << QStringLiteral("Max. Spannung(mV)");
    QTest::newRow("space before paren dropped")
            << 1 << QStringLiteral("电池组电压 (V)") << QStringLiteral("Battery Pack Voltage(V)");
    QTest::newRow("unit only unchanged") << 1 << QStringLiteral("(mV)") << QStringLiteral("(mV)");
    QTest::newRow("unknown prefix unchanged")
            << 1 << QStringLiteral("未知项(mV)") << QStringLiteral("未知项(mV)");
    QTest::newRow("direct hit first")
            << 1 << QStringLiteral("电芯编号 (1-%1)") << QStringLiteral("Cell index (1-%1)");
    QTest::newRow("outer spaces kept")
            << 1 << QStringLiteral(" 总电压(V)  ") << QStringLiteral(" Total Voltage(V)  ");
    QTest::newRow("no closing paren")
            << 1 << QStringLiteral("总电压(V") << QStringLiteral("总电压(V");
    QTest::newRow("chinese unchanged")
            << 0 << QStringLiteral("总电压(V)") << QStringLiteral("总电压(V)");
}

void TestTranslations::withUnit()
{
    QFETCH(int, language);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(translateWithUnit(language, text), expected);
}

void TestTranslations::multiLineRowIsFound()
{
    const QString key =
            QStringLiteral("无法加载协议文件，请确保 protocols 目录存在并包含有效的协议配置文件。\n"
                           "路径: %1");
    QCOMPARE(translateOr(German, key, QStringLiteral("fallback")),
             QStringLiteral("Protokolldateien konnten nicht geladen werden. Stellen Sie sicher, "
                            "dass das Verzeichnis \"protocols\" existiert und gültige Dateien "
                            "enthält.\nPfad: %1"));
    QCOMPARE(translateOr(English, key, QStringLiteral("fallback")),
             QStringLiteral("Unable to load protocol files. Ensure the protocols directory exists "
                            "and contains valid configuration files.\nPath: %1"));
}

void TestTranslations::whitespaceIsRestoredAsSpaces()
{
    QCOMPARE(restoreOuterWhitespace(QStringLiteral("\t\nx\r"), QStringLiteral("T")),
             QStringLiteral("  T "));
    QCOMPARE(restoreOuterWhitespace(QStringLiteral("x"), QStringLiteral("T")), QStringLiteral("T"));
}

void TestTranslations::localizedText_data()
{
    QTest::addColumn<LocalizedText>("text");
    QTest::addColumn<QStringList>("expected"); // Chinese, English, German

    const LocalizedText notFound(QStringLiteral("未找到协议：%1"),
                                 QStringLiteral("Protocol not found: %1"), {"CS-16S"});
    QTest::newRow("from the table")
            << notFound
            << QStringList{"未找到协议：CS-16S", "Protocol not found: CS-16S",
                           "Protokoll nicht gefunden: CS-16S"};
    // A value is put in once: a "%2" inside it is not filled again.
    QTest::newRow("values put in once")
            << LocalizedText(QStringLiteral("导出 CSV 失败：%1\n%2"),
                             QStringLiteral("CSV export failed: %1\n%2"), {"a%2b", "x"})
            << QStringList{"导出 CSV 失败：a%2b\nx", "CSV export failed: a%2b\nx",
                           "CSV-Export fehlgeschlagen: a%2b\nx"};
    QTest::newRow("missing from the table")
            << LocalizedText(QStringLiteral("不存在的键 %1"), QStringLiteral("No such key %1"),
                             {"7"})
            << QStringList{"不存在的键 7", "No such key 7", "No such key 7"};
    QTest::newRow("system words, percent kept")
            << LocalizedText::verbatim(QStringLiteral("Disk 100% full %1"))
            << QStringList{"Disk 100% full %1", "Disk 100% full %1", "Disk 100% full %1"};
}

void TestTranslations::localizedText()
{
    QFETCH(LocalizedText, text);
    QFETCH(QStringList, expected);
    QCOMPARE(text.toString(Chinese), expected.at(0));
    QCOMPARE(text.toString(English), expected.at(1));
    QCOMPARE(text.toString(German), expected.at(2));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
