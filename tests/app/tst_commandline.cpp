#include <QDir>
#include <QProcess>
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

    const QString version = QStringLiteral("cellscribe " CELLSCRIBE_VERSION "\n");
    QTest::newRow("--version") << QStringList{"--version"} << QStringList{version};
    QTest::newRow("-v") << QStringList{"-v"} << QStringList{version};
    QTest::newRow("--help") << QStringList{"--help"}
                            << QStringList{"cellscribe [options]", "--port <PATH>", "Repeatable",
                                           "--version"};
    QTest::newRow("-h after ports") << QStringList{"--port", "/tmp/a", "--port", "/tmp/b", "-h"}
                                    << QStringList{"--port <PATH>"};
    // A framework argument in front is not mistaken for -v (as a cluster of letters would be).
    QTest::newRow("framework argument")
            << QStringList{"-reverse", "--help"} << QStringList{"--help"};
}

void TestCommandLine::textOnlyAnswers()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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
