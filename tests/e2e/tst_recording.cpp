// Recordings made by cellscribe-record against the BMS simulator: every frame on the wire in the
// file, a replay that gives the recorder's own CSV, a kill -9 that loses at most about a second,
// a full disk and an unwritable directory that cost the recording but not the run.

#include "childprocess.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingreader.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString kProtocolFile = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");
const QString kRecorder = ChildProcess::recorderProgram();
const QString kTool = QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-protocol");

using Child = ChildProcess;

QStringList simArgs(const QString &link, const QString &faults = QString())
{
    QStringList args{QStringLiteral("--protocol"), kProtocolFile, QStringLiteral("--link"), link};
    if (!faults.isEmpty())
        args << QStringLiteral("--fault") << faults;
    return args;
}

QStringList recorderArgs(const QString &link, const QStringList &more)
{
    return QStringList{QStringLiteral("--port"),     link,
                       QStringLiteral("--protocol"), QStringLiteral("CS-16S"),
                       QStringLiteral("--interval"), QStringLiteral("100"),
                       QStringLiteral("--language"), QStringLiteral("en")}
    + more;
}

QList<FrameRecord> frames(const QString &path, const QString &direction)
{
    RecordingReader reader;
    QList<FrameRecord> list;
    if (!reader.open(path) || !reader.beginFrames(direction))
        return list;
    FrameRecord frame;
    while (reader.nextFrame(&frame))
        list.append(frame);
    return list;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFrameOnTheWireIsInTheFile();
    void killNineLosesAtMostASecond();
    void fullDiskCostsTheRecordingNotTheRun();
    void unwritableDirectoryCostsTheRecordingNotTheRun();
    void whereRecordingsGo();
    void existingFileIsNeverOverwritten();

private:
    QTemporaryDir m_dir;
    ProtocolConfig m_config;
};

void TestRecording::initTestCase()
{
    QVERIFY(m_config.loadConfig(kProtocolFile));
    QVERIFY(QFileInfo::exists(kRecorder));
    QVERIFY(QFileInfo::exists(kTool));
}

void TestRecording::everyFrameOnTheWireIsInTheFile()
{
    // CELLSCRIBE_RECORDING_FRAMES=2000 makes this the long run (about five minutes).
    const int answers = qEnvironmentVariableIsSet("CELLSCRIBE_RECORDING_FRAMES")
            ? qEnvironmentVariableIntValue("CELLSCRIBE_RECORDING_FRAMES")
            : 40;
    const QString link = m_dir.filePath(QStringLiteral("bms-all"));
    const QString file = m_dir.filePath(QStringLiteral("all.csrec"));
    const QString csv = m_dir.filePath(QStringLiteral("all.csv"));
    SimProcess sim;
    QVERIFY(sim.start(
            simArgs(link, QStringLiteral("garbage=0.2,split,drop=0.03,bad-checksum=0.1"))));
    QTRY_VERIFY(QFileInfo::exists(link));
    Child recorder;
    recorder.start(kRecorder,
                   recorderArgs(link,
                                {QStringLiteral("--frames"), QString::number(answers),
                                 QStringLiteral("--record"), file, QStringLiteral("--csv"), csv}));
    QCOMPARE(recorder.waitForExit(answers * 400 + 30000), 0);
    QTRY_COMPARE(sim.answers().size(), answers);
    QCOMPARE(recorder.count(QStringLiteral("recording saved: %1").arg(file)), 1);

    // Received: exactly what the simulator answered, byte for byte; the noise between answers
    // and the pieces they came in are gone, as on the link.
    const QList<FrameRecord> rx = frames(file, QStringLiteral("rx"));
    QCOMPARE(rx.size(), answers);
    int badChecksums = 0;
    for (int i = 0; i < answers; ++i) {
        QCOMPARE(rx.at(i).text, sim.answers().at(i).frame);
        QCOMPARE(rx.at(i).command, QStringLiteral("pack_status"));
        if (rx.at(i).checksum == FrameRecord::Checksum::Mismatch)
            ++badChecksums;
    }
    const int simBad =
            int(std::count_if(sim.log().cbegin(), sim.log().cend(), [](const QString &l) {
                return l.startsWith(QLatin1String("answer "))
                        && l.contains(QLatin1String(" bad-checksum "));
            }));
    QCOMPARE(badChecksums, simBad);
    // Sent: every request the simulator saw, as the protocol builds it.
    const QList<FrameRecord> tx = frames(file, QStringLiteral("tx"));
    QCOMPARE(tx.size(), sim.requests());
    const QString request =
            QString::fromLatin1(m_config.buildRequestFrame(QStringLiteral("pack_status")));
    for (const FrameRecord &frame : tx)
        QCOMPARE(frame.text, request);

    // Decoded again, the table is the recorder's own CSV.
    const QString replayed = m_dir.filePath(QStringLiteral("all-replayed.csv"));
    Child replay;
    replay.start(kTool,
                 {QStringLiteral("-q"), QStringLiteral("replay"), file, QStringLiteral("--csv"),
                  replayed, QStringLiteral("--language"), QStringLiteral("en")});
    QCOMPARE(replay.waitForExit(60000), 0);
    const QByteArray mine = readFile(csv);
    QCOMPARE(mine.count('\n'), answers + 1);
    QVERIFY(readFile(replayed) == mine);
    qInfo() << answers << "answers," << tx.size() << "requests," << badChecksums
            << "bad checksums: file and replay match";
}

void TestRecording::killNineLosesAtMostASecond()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-kill"));
    const QString file = m_dir.filePath(QStringLiteral("killed.csrec"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link, QStringLiteral("split"))));
    QTRY_VERIFY(QFileInfo::exists(link));
    Child recorder;
    recorder.start(
            kRecorder,
            recorderArgs(link, {QStringLiteral("--record"), file, QStringLiteral("--quiet")}));
    QTRY_VERIFY_WITH_TIMEOUT(sim.answers().size() >= 30, 15000);
    ::kill(pid_t(recorder.process().processId()), SIGKILL);
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(recorder.waitForExit(5000), -2);
    const int answered = int(sim.answers().size());

    RecordingReader reader;
    QVERIFY2(reader.open(file), qPrintable(reader.errorString()));
    QCOMPARE(reader.meta().endedMs, qint64(-1));
    const QList<FrameRecord> rx = frames(file, QStringLiteral("rx"));
    // 100 ms polling: a second is ten answers, and one more may have been on its way.
    qInfo() << rx.size() << "of" << answered << "answers in the file; the last one"
            << killedAt - rx.constLast().timeMs << "ms before the kill";
    QVERIFY(rx.size() <= answered);
    QVERIFY2(rx.size() >= answered - 11, qPrintable(QString::number(answered - rx.size())));
    QVERIFY(killedAt - rx.constLast().timeMs <= 1100);
    for (int i = 0; i < rx.size(); ++i)
        QCOMPARE(rx.at(i).text, sim.answers().at(i).frame);

    Child info;
    info.start(kTool, {QStringLiteral("info"), file});
    QCOMPARE(info.waitForExit(10000), 0);
    const QJsonObject json =
            QJsonDocument::fromJson(info.process().readAllStandardOutput()).object();
    QCOMPARE(json.value(QStringLiteral("ended_cleanly")).toBool(), false);
    QCOMPARE(json.value(QStringLiteral("frames")).toObject().value(QStringLiteral("rx")).toInt(),
             int(rx.size()));
}

void TestRecording::fullDiskCostsTheRecordingNotTheRun()
{
    // A file size limit makes writes fail as a full disk does (SIGXFSZ ignored, so that write()
    // returns EFBIG instead of the process dying).
    const QString link = m_dir.filePath(QStringLiteral("bms-full"));
    const QString file = m_dir.filePath(QStringLiteral("full.csrec"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    const int answers = 60;
    QStringList command{kRecorder};
    command += recorderArgs(link,
                            {QStringLiteral("--frames"), QString::number(answers),
                             QStringLiteral("--record"), file});
    for (QString &part : command)
        part = QLatin1Char('\'') + part + QLatin1Char('\'');
    Child recorder;
    // bash counts the limit in KiB: room for the new file, which holds the protocol's text
    // twice at first (in the log and in the database), and some 30 answers.
    const qint64 protocolKiB = QFileInfo(kProtocolFile).size() / 1024;
    const QString limit = QString::number(2 * protocolKiB + 56);
    recorder.start(
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"),
             QStringLiteral("trap '' XFSZ; ulimit -f %1; exec ").arg(limit) + command.join(u' ')});
    QCOMPARE(recorder.waitForExit(answers * 400 + 20000), 0);
    QCOMPARE(sim.answers().size(), answers);
    // Told once, and the run went on to its end.
    QCOMPARE(recorder.count(QStringLiteral("recording write failed")), 1);
    QVERIFY2(recorder.count(QStringLiteral("frames %1,").arg(answers)) == 1,
             qPrintable(recorder.log()));
    // What reached the file before the disk filled is there, whole.
    RecordingReader reader;
    RecordingReader::Counts counts;
    QVERIFY2(reader.open(file) && reader.counts(&counts), qPrintable(reader.errorString()));
    qInfo() << counts.rx << "of" << answers << "answers reached the size-limited file";
    QVERIFY(counts.rx > 0 && counts.rx < answers);
    const QList<FrameRecord> rx = frames(file, QStringLiteral("rx"));
    for (int i = 0; i < rx.size(); ++i)
        QCOMPARE(rx.at(i).text, sim.answers().at(i).frame);
}

void TestRecording::unwritableDirectoryCostsTheRecordingNotTheRun()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-ro"));
    const QString csv = m_dir.filePath(QStringLiteral("ro.csv"));
    // Root may write where mode bits forbid; the proc file system takes no new files at all.
    QString directory = QStringLiteral("/proc/cellscribe-recordings");
    if (::geteuid() != 0) {
        directory = m_dir.filePath(QStringLiteral("read-only"));
        QDir().mkpath(directory);
        QFile::setPermissions(directory, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    Child recorder;
    recorder.start(
            kRecorder,
            recorderArgs(link,
                         {QStringLiteral("--frames"), QStringLiteral("5"),
                          QStringLiteral("--record"), directory, QStringLiteral("--csv"), csv}));
    QCOMPARE(recorder.waitForExit(20000), 0);
    QCOMPARE(recorder.count(QStringLiteral("cannot create recording")), 1);
    QCOMPARE(readFile(csv).count('\n'), 1 + 5);
}

void TestRecording::whereRecordingsGo()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-where"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    const auto recordings = [](const QString &dir) {
        return QDir(dir).entryList({QStringLiteral("*.csrec")}, QDir::Files);
    };
    // Default: the window's data directory, found through the same standard location.
    const QString data = m_dir.filePath(QStringLiteral("xdg-data"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    const QString defaultDir = data + QStringLiteral("/TRBMS/BV-BMS/recordings");
    {
        Child recorder;
        recorder.start(kRecorder,
                       recorderArgs(link, {QStringLiteral("--frames"), QStringLiteral("2")}),
                       environment);
        QCOMPARE(recorder.waitForExit(20000), 0);
    }
    const QStringList made = recordings(defaultDir);
    QCOMPARE(made.size(), 1);
    QVERIFY2(made.first().endsWith(QStringLiteral("_bms-where.csrec")), qPrintable(made.first()));
    // A directory of one's own, made when missing.
    const QString mine = m_dir.filePath(QStringLiteral("mine/recordings"));
    {
        Child recorder;
        recorder.start(kRecorder,
                       recorderArgs(link,
                                    {QStringLiteral("--frames"), QStringLiteral("2"),
                                     QStringLiteral("--record"), mine}),
                       environment);
        QCOMPARE(recorder.waitForExit(20000), 0);
    }
    QCOMPARE(recordings(mine).size(), 1);
    // None at all.
    {
        Child recorder;
        recorder.start(kRecorder,
                       recorderArgs(link,
                                    {QStringLiteral("--frames"), QStringLiteral("2"),
                                     QStringLiteral("--no-record")}),
                       environment);
        QCOMPARE(recorder.waitForExit(20000), 0);
        QCOMPARE(recorder.count(QStringLiteral("recording to")), 0);
    }
    QCOMPARE(recordings(defaultDir).size(), 1);
}

void TestRecording::existingFileIsNeverOverwritten()
{
    const QString file = m_dir.filePath(QStringLiteral("exists.csrec"));
    QFile existing(file);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("an older recording");
    existing.close();
    Child recorder;
    recorder.start(kRecorder,
                   recorderArgs(m_dir.filePath(QStringLiteral("no-port")),
                                {QStringLiteral("--record"), file}));
    QCOMPARE(recorder.waitForExit(10000), 1);
    QCOMPARE(recorder.count(QStringLiteral("exists already")), 1);
    QCOMPARE(readFile(file), QByteArray("an older recording"));
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
