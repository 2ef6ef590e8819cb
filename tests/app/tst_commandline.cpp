#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// The application's command line, run as a process with no display at all: the text-only
// answers must come without a GUI application, which could not start here.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void textOnlyAnswers_data();
    void textOnlyAnswers();
};

void TestCommandLine::textOnlyAnswers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected"); // each must appear in stdout
    QTest::addColumn<int>("savedLanguage"); // -1: none saved
    QTest::addColumn<QString>("locale");

    const QString version = QStringLiteral("cellscribe " CELLSCRIBE_VERSION "\n");
    const QString c = QStringLiteral("C");
    QTest::newRow("--version") << QStringList{"--version"} << QStringList{version} << -1 << c;
    QTest::newRow("-v") << QStringList{"-v"} << QStringList{version} << 2 << c;
    QTest::newRow("--help") << QStringList{"--help"}
                            << QStringList{"cellscribe [options]", "--port <PATH>", "Repeatable",
                                           "--version"}
                            << -1 << c;
    QTest::newRow("-h after ports") << QStringList{"--port", "/tmp/a", "--port", "/tmp/b", "-h"}
                                    << QStringList{"--port <PATH>"} << -1 << c;
    // A framework argument in front is not mistaken for -v (as a cluster of letters would be).
    QTest::newRow("framework argument")
            << QStringList{"-reverse", "--help"} << QStringList{"--help"} << -1 << c;
    // The help speaks the language the window was last shown in, else the system's.
    QTest::newRow("saved German") << QStringList{"--help"}
                                  << QStringList{"cellscribe [Optionen]", "--port <PATH>",
                                                 "Wiederholbar", "--version"}
                                  << 2 << c;
    QTest::newRow("saved Chinese")
            << QStringList{"-h"} << QStringList{"cellscribe [选项]", "--port <PATH>", "可重复"} << 0
            << QStringLiteral("de_DE.UTF-8");
    QTest::newRow("German system")
            << QStringList{"--help"} << QStringList{"cellscribe [Optionen]", "Wiederholbar"} << -1
            << QStringLiteral("de_DE.UTF-8");
    QTest::newRow("saved English on a German system")
            << QStringList{"--help"} << QStringList{"cellscribe [options]", "Repeatable"} << 1
            << QStringLiteral("de_DE.UTF-8");
}

void TestCommandLine::textOnlyAnswers()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    QFETCH(int, savedLanguage);
    QFETCH(QString, locale);

    QTemporaryDir config;
    QVERIFY(config.isValid());
    if (savedLanguage >= 0) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
                .setValue(QStringLiteral("language"), savedLanguage);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QDir(QStringLiteral(CELLSCRIBE_RUNTIME_DIR)).filePath(QStringLiteral("cellscribe")),
            args);
    QVERIFY(p.waitForStarted());
    QVERIFY(p.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    for (const QString &text : std::as_const(expected))
        QVERIFY2(out.contains(text), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
