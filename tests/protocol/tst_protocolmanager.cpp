#include "protocol/protocolconfig.h"
#include "protocol/protocolmanager.h"
#include "protocoltestfiles.h"

#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray protocolFile(const QByteArray &name, const QByteArray &version,
                        const QByteArray &description = QByteArray())
{
    QByteArray members = "\"name\": \"" + name + "\", \"version\": \"" + version + "\"";
    if (!description.isNull())
        members += ", \"description\": \"" + description + "\"";
    return protocolDocument(members + R"(, "commands": [{"name": "c"}])");
}

} // namespace

class TestProtocolManager : public QObject
{
    Q_OBJECT

private slots:
    void missingDirectory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("absent"));
        ProtocolManager manager;
        QSignalSpy errors(&manager, &ProtocolManager::protocolLoadError);
        QVERIFY(!manager.loadProtocols(path));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Protocol directory does not exist: ") + path);
        QVERIFY(manager.availableProtocols().isEmpty());
    }

    void noValidFiles()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "notes.txt", protocolFile("Txt", "1"));
        writeTextFile(dir.path(), ".hidden.json", protocolFile("Hidden", "1"));
        writeTextFile(dir.path(), "broken.json", "{");
        writeTextFile(dir.path(), "array.json", "[]");
        writeTextFile(dir.path(), "noproto.json", R"({"name": "x"})");
        writeTextFile(dir.path(), "noname.json", protocolDocument(R"("name": "", "version": "1")"));
        QVERIFY(QDir(dir.path()).mkdir("sub.json"));
        QVERIFY(QDir(dir.path()).mkdir("nested"));
        writeTextFile(dir.filePath("nested"), "deep.json", protocolFile("Deep", "1"));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Invalid JSON format in:.*broken"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Invalid JSON format in:.*array"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("Missing 'protocol' section in:.*noproto"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("Protocol name is empty in:.*noname"));

        ProtocolManager manager;
        QSignalSpy errors(&manager, &ProtocolManager::protocolLoadError);
        QVERIFY(!manager.loadProtocols(dir.path()));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("No valid protocol files found"));
        QCOMPARE(manager.currentConfig(), nullptr);
    }

    void scanMakesSmallestCurrent()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "a.json", protocolFile("Beta", "1"));
        const QString upper = writeTextFile(dir.path(), "b.JSON", protocolFile("Alpha", "2", "A"));

        ProtocolManager manager;
        QSignalSpy changed(&manager, &ProtocolManager::protocolChanged);
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.availableProtocols(), (QStringList{"Alpha", "Beta"}));
        QCOMPARE(manager.currentProtocolName(), QStringLiteral("Alpha"));
        QVERIFY(manager.currentConfig());
        QCOMPARE(manager.currentConfig()->parent(), &manager);
        QCOMPARE(manager.currentConfig()->version(), QStringLiteral("2"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Alpha"));
        QCOMPARE(manager.protocolInfo("Alpha").filePath, upper);
        QCOMPARE(manager.protocolDescription("Alpha"), QStringLiteral("A"));
        QVERIFY(manager.protocolDescription("Gamma").isEmpty());
    }

    void duplicateNameLaterFileWins()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "a.json", protocolFile("P", "1", "first"));
        writeTextFile(dir.path(), "b.json", protocolFile("P", "1", "second"));
        ProtocolManager manager;
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.availableProtocols(), QStringList{"P"});
        QCOMPARE(manager.protocolDescription("P"), QStringLiteral("second"));
    }

    void catalogueKeepsNameAsWritten()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "s.json", protocolFile(" Spaced ", " 3 "));
        ProtocolManager manager;
        QSignalSpy changed(&manager, &ProtocolManager::protocolChanged);
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.availableProtocols(), QStringList{" Spaced "});
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral(" Spaced "));
        QCOMPARE(manager.protocolInfo(" Spaced ").version, QStringLiteral(" 3 "));
        QCOMPARE(manager.currentConfig()->name(), QStringLiteral("Spaced"));
    }

    void failingFullLoad()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "a.json", protocolFile("A-noversion", ""));
        writeTextFile(dir.path(), "b.json", protocolFile("B", "1"));

        // The smallest name is tried first and fails: the scan succeeds with nothing current.
        ProtocolManager manager;
        QSignalSpy errors(&manager, &ProtocolManager::protocolLoadError);
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.availableProtocols(), (QStringList{"A-noversion", "B"}));
        QCOMPARE(manager.currentConfig(), nullptr);
        QVERIFY(manager.currentProtocolName().isEmpty());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Failed to load protocol: A-noversion"));
        QCOMPARE(manager.lastError(), QStringLiteral("Protocol version is empty"));
        QCOMPARE(manager.findChildren<ProtocolConfig *>().size(), 0);

        QVERIFY(manager.switchProtocol("B"));
        QVERIFY(manager.lastError().isEmpty());
        ProtocolConfig *current = manager.currentConfig();

        // A failed switch leaves the current protocol alone.
        QVERIFY(!manager.switchProtocol("A-noversion"));
        QCOMPARE(manager.currentConfig(), current);
        QCOMPARE(manager.currentProtocolName(), QStringLiteral("B"));

        QVERIFY(!manager.switchProtocol("Nope"));
        QCOMPARE(errors.last().at(0).toString(), QStringLiteral("Protocol not found: Nope"));
        QCOMPARE(manager.lastError(), QStringLiteral("Protocol not found: Nope"));
        QCOMPARE(manager.currentConfig(), current);
        QCOMPARE(manager.findChildren<ProtocolConfig *>().size(), 1);
    }

    void displayName_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("expected");

        QTest::newRow("description and version")
                << QByteArray("Pack BMS") << QByteArray("2.1") << "Pack BMS (v2.1)";
        QTest::newRow("version only") << QByteArray() << QByteArray("2.1") << "Name (v2.1)";
        QTest::newRow("empty description") << QByteArray("") << QByteArray("2.1") << "Name (v2.1)";
        QTest::newRow("description only") << QByteArray("Pack BMS") << QByteArray("") << "Pack BMS";
        QTest::newRow("neither") << QByteArray() << QByteArray("") << "Name";
    }

    void displayName()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "p.json",
                      protocolFile("Name", fetched<QByteArray>("version"),
                                   fetched<QByteArray>("description")));
        ProtocolManager manager;
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.displayName("Name"), fetched<QString>("expected"));
        QCOMPARE(manager.displayName("Unknown"), QStringLiteral("Unknown"));
    }

    void currentSurvivesRescan()
    {
        QTemporaryDir dir;
        const QString first = writeTextFile(dir.path(), "a.json", protocolFile("A", "1"));
        writeTextFile(dir.path(), "b.json", protocolFile("B", "1"));
        ProtocolManager manager;
        QVERIFY(manager.loadProtocols(dir.path()));
        ProtocolConfig *current = manager.currentConfig();
        QSignalSpy changed(&manager, &ProtocolManager::protocolChanged);

        QVERIFY(QFile::remove(first));
        QVERIFY(manager.loadProtocols(dir.path()));
        QCOMPARE(manager.availableProtocols(), QStringList{"B"});
        QCOMPARE(manager.currentConfig(), current);
        QCOMPARE(manager.currentProtocolName(), QStringLiteral("A"));
        QCOMPARE(changed.size(), 0);

        // Even a scan that finds nothing keeps the protocol in use.
        QVERIFY(!manager.loadProtocols(dir.filePath("absent")));
        QCOMPARE(manager.currentConfig(), current);
    }

    void previousDestroyedBeforeChange()
    {
        QTemporaryDir dir;
        writeTextFile(dir.path(), "a.json", protocolFile("A", "1"));
        ProtocolManager manager;
        QVERIFY(manager.loadProtocols(dir.path()));
        QPointer<ProtocolConfig> previous = manager.currentConfig();

        bool previousGone = false;
        ProtocolConfig *seen = nullptr;
        connect(&manager, &ProtocolManager::protocolChanged, this, [&](const QString &name) {
            previousGone = previous.isNull();
            seen = manager.currentConfig();
            QCOMPARE(name, QStringLiteral("A"));
        });
        // Switching to the current protocol loads it again into a new model.
        QVERIFY(manager.switchProtocol("A"));
        QVERIFY(previousGone);
        QVERIFY(seen);
        QCOMPARE(seen, manager.currentConfig());
        QCOMPARE(manager.findChildren<ProtocolConfig *>().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestProtocolManager)
#include "tst_protocolmanager.moc"
