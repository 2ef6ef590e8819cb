// Recorded frames decoded again: the same samples as the run, another protocol's values, the
// run's protocol switches, gaps, the recording machine's local times, the same CSV as the run's.

#include "datalog/csvrowlog.h"
#include "recording/recordingcommands.h"
#include "recording/recordingreader.h"
#include "recording/recordingreplay.h"
#include "recordingfixtures.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

constexpr qint64 kStart = 1767225600000; // 2026-01-01T00:00:00Z

struct Recorded
{
    QString path;
    QList<Sample> live; // what a run decoding the same frames handed its consumers
};

QList<Sample> replayAll(RecordingReplay &replay)
{
    QList<Sample> samples;
    if (!replay.start())
        return samples;
    while (replay.step(3, [&samples](const Sample &s) { samples.append(s); })) { }
    return samples;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecordingReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void samplesAreTheRunsSamples();
    void anotherProtocolDecodesAgain_data();
    void anotherProtocolDecodesAgain();
    void followsTheRunsProtocolSwitch();
    void gapsLongerThanThreeIntervals();
    void storedProtocolThatDoesNotLoad_data();
    void storedProtocolThatDoesNotLoad();
    void timesOfTheRecordingMachinesZone();
    void csvIsTheRunsCsv();

private:
    // Answers with the given seeds (a negative seed: a bad checksum), a noise frame after the
    // third, 100 ms apart, recorded with protocol `json`.
    Recorded record(const QString &name, const QByteArray &json, const QList<int> &seeds,
                    const QString &timeZone = QString());
    QTemporaryDir m_dir;
    ProtocolConfig m_config;
    QByteArray m_wrongJson; // Vcell1 scaled by 10 instead of 1
};

void TestRecordingReplay::initTestCase()
{
    QVERIFY(m_config.loadConfig(cs16Path()));
    m_wrongJson = withScale(m_config.sourceData(), QStringLiteral("Vcell1"), 10);
}

Recorded TestRecordingReplay::record(const QString &name, const QByteArray &json,
                                     const QList<int> &seeds, const QString &timeZone)
{
    Recorded out;
    ProtocolConfig config;
    if (!config.loadConfigData(json, name))
        return out;
    FrameDecoder decoder;
    decoder.setProtocolConfig(&config);
    RecordingMeta meta = metaFor(config, kStart);
    if (!timeZone.isEmpty())
        meta.timeZone = timeZone;
    out.path = m_dir.filePath(name);
    RecordingWriter writer;
    if (!writer.open(out.path, meta))
        return {};
    qint64 t = kStart;
    for (int i = 0; i < seeds.size(); ++i) {
        writer.writeFrame(request(config, t));
        const QString text = answerFrame(m_config, qAbs(seeds.at(i)), seeds.at(i) < 0);
        FrameRecord frame;
        Sample sample;
        if (decoder.decode(text, t + 30, &frame, &sample))
            out.live.append(sample);
        writer.writeFrame(frame);
        if (i == 2) {
            decoder.decode(QStringLiteral(":01C2~"), t + 40, &frame, &sample);
            writer.writeFrame(frame);
        }
        t += 100;
    }
    writer.close(t);
    return out;
}

void TestRecordingReplay::samplesAreTheRunsSamples()
{
    const Recorded run =
            record(QStringLiteral("same.csrec"), m_config.sourceData(), {1, 2, 3, -4, 5, 6});
    QCOMPARE(run.live.size(), 6);
    RecordingReader reader;
    QVERIFY(reader.open(run.path));
    RecordingReplay replay(&reader);
    QVERIFY(replay.useStoredProtocol());
    const QList<Sample> samples = replayAll(replay);
    QVERIFY(replay.atEnd());
    QVERIFY(!replay.failed());
    QCOMPARE(samples.size(), run.live.size());
    for (int i = 0; i < samples.size(); ++i) {
        QCOMPARE(samples.at(i).frame, run.live.at(i).frame);
        QCOMPARE(samples.at(i).command, run.live.at(i).command);
        QCOMPARE(samples.at(i).timeMs, run.live.at(i).timeMs);
        QCOMPARE(samples.at(i).receivedAt, run.live.at(i).receivedAt);
        QCOMPARE(samples.at(i).checksum, run.live.at(i).checksum);
        QCOMPARE(samples.at(i).values, run.live.at(i).values);
    }
    const RecordingReplaySummary &s = replay.summary();
    QCOMPARE(s.frames, qint64(7));
    QCOMPARE(s.matched, qint64(6));
    QCOMPARE(s.unmatched, qint64(1));
    QCOMPARE(s.checksumErrors, qint64(1));
}

void TestRecordingReplay::anotherProtocolDecodesAgain_data()
{
    QTest::addColumn<bool>("corrected");
    QTest::addColumn<double>("scale");
    QTest::newRow("the stored protocol, wrong scale") << false << 10.0;
    QTest::newRow("the corrected file") << true << 1.0;
}

void TestRecordingReplay::anotherProtocolDecodesAgain()
{
    QFETCH(bool, corrected);
    QFETCH(double, scale);
    const Recorded run =
            record(QStringLiteral("wrong-%1.csrec").arg(corrected), m_wrongJson, {11, 12, 13});
    RecordingReader reader;
    QVERIFY(reader.open(run.path));
    RecordingReplay replay(&reader);
    QVERIFY(corrected ? replay.useProtocolFile(cs16Path()) : replay.useStoredProtocol());
    const QList<Sample> samples = replayAll(replay);
    QCOMPARE(samples.size(), 3);
    const CommandDefinition command = m_config.command(m_config.defaultCommand());
    for (int i = 0; i < samples.size(); ++i) {
        const quint64 raw = rawValues(command, 11 + i).at(0);
        QCOMPARE(samples.at(i).values.value(QStringLiteral("Vcell1")).toDouble(), raw * scale);
        // The other cells were right all along.
        QCOMPARE(samples.at(i).values.value(QStringLiteral("Vcell2")),
                 run.live.at(i).values.value(QStringLiteral("Vcell2")));
    }
}

void TestRecordingReplay::followsTheRunsProtocolSwitch()
{
    // Wrong scale for three answers, then the run switched to the corrected protocol.
    ProtocolConfig wrong;
    QVERIFY(wrong.loadConfigData(m_wrongJson, QStringLiteral("wrong")));
    const QString path = m_dir.filePath(QStringLiteral("switch.csrec"));
    {
        RecordingWriter writer;
        QVERIFY(writer.open(path, metaFor(wrong, kStart)));
        for (int i = 0; i < 6; ++i) {
            const qint64 t = kStart + 100 * i;
            if (i == 3)
                writer.writeEvent(t, QStringLiteral("protocol"),
                                  QString::fromUtf8(m_config.sourceData()));
            writer.writeFrame(received(wrong, answerFrame(m_config, 20 + i), t + 10));
        }
        writer.close(kStart + 1000);
    }
    RecordingReader reader;
    QVERIFY(reader.open(path));
    RecordingReplay replay(&reader);
    QVERIFY(replay.useStoredProtocol());
    const QList<Sample> samples = replayAll(replay);
    QCOMPARE(samples.size(), 6);
    const CommandDefinition command = m_config.command(m_config.defaultCommand());
    for (int i = 0; i < 6; ++i) {
        const double raw = double(rawValues(command, 20 + i).at(0));
        QCOMPARE(samples.at(i).values.value(QStringLiteral("Vcell1")).toDouble(),
                 i < 3 ? raw * 10 : raw);
    }
}

void TestRecordingReplay::gapsLongerThanThreeIntervals()
{
    // Interval 100 ms: a pause of 301 ms is a gap, 300 ms is not.
    const QString path = m_dir.filePath(QStringLiteral("gaps.csrec"));
    const QList<qint64> times{0, 100, 200, 500, 801, 900, 2900};
    {
        RecordingWriter writer;
        QVERIFY(writer.open(path, metaFor(m_config, kStart, 100)));
        for (int i = 0; i < times.size(); ++i)
            writer.writeFrame(received(m_config, answerFrame(m_config, i), kStart + times.at(i)));
        writer.close(kStart + 3000);
    }
    RecordingReader reader;
    QVERIFY(reader.open(path));
    RecordingReplay replay(&reader);
    QVERIFY(replay.useStoredProtocol());
    QCOMPARE(replayAll(replay).size(), times.size());
    QCOMPARE(replay.summary().gapThresholdMs, qint64(300));
    QCOMPARE(replay.summary().gaps, qint64(2));
    QCOMPARE(replay.summary().longestGapMs, qint64(2000));
}

void TestRecordingReplay::storedProtocolThatDoesNotLoad_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("{\"protocol\": {\"name\": ");
    QTest::newRow("no commands") << QByteArray(
            "{\"protocol\": {\"name\": \"X\", \"version\": \"1\", \"commands\": []}}");
    QTest::newRow("empty") << QByteArray();
}

void TestRecordingReplay::storedProtocolThatDoesNotLoad()
{
    QFETCH(QByteArray, json);
    RecordingMeta meta = metaFor(m_config, kStart);
    meta.protocolJson = json;
    const QString path = m_dir.filePath(
            QStringLiteral("broken-%1.csrec")
                    .arg(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-')));
    {
        RecordingWriter writer;
        QVERIFY(writer.open(path, meta));
        writer.writeFrame(received(m_config, answerFrame(m_config, 1), kStart + 10));
        writer.close(kStart + 100);
    }
    RecordingReader reader;
    QVERIFY(reader.open(path));
    RecordingReplay replay(&reader);
    QVERIFY(!replay.useStoredProtocol());
    QVERIFY(!replay.start());
    QVERIFY2(replay.errorString().contains(QLatin1String("does not load")),
             qPrintable(replay.errorString()));
    // Another protocol file still decodes it.
    QVERIFY(replay.useProtocolFile(cs16Path()));
    QCOMPARE(replayAll(replay).size(), 1);
}

void TestRecordingReplay::timesOfTheRecordingMachinesZone()
{
    const QByteArray zone = QTimeZone::systemTimeZoneId() == "Asia/Shanghai"
            ? QByteArrayLiteral("America/New_York")
            : QByteArrayLiteral("Asia/Shanghai");
    if (!QTimeZone(zone).isValid())
        QSKIP("no time zone data");
    const Recorded run = record(QStringLiteral("zone.csrec"), m_config.sourceData(), {1, 2},
                                QString::fromLatin1(zone));
    RecordingReader reader;
    QVERIFY(reader.open(run.path));
    RecordingReplay replay(&reader);
    QVERIFY(replay.useStoredProtocol());
    const QList<Sample> samples = replayAll(replay);
    QCOMPARE(samples.size(), 2);
    const QDateTime there = QDateTime::fromMSecsSinceEpoch(kStart + 30, QTimeZone(zone));
    const QString text = there.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(samples.at(0).receivedAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), text);
    QCOMPARE(samples.at(0).values.value(QStringLiteral("timestamp")).toString(), text);
    QCOMPARE(samples.at(0).receivedAt.toMSecsSinceEpoch(), kStart + 30);
}

void TestRecordingReplay::csvIsTheRunsCsv()
{
    // The recorder writes its CSV row by row as answers come; a replay writes the same bytes.
    const Recorded run = record(QStringLiteral("csv.csrec"), m_config.sourceData(),
                                {1, 2, 3, -4, 5, 6, 7, 8, 9, 10});
    for (const int language : {int(Chinese), int(English), int(German)}) {
        const QString live = m_dir.filePath(QStringLiteral("live-%1.csv").arg(language));
        CsvRowLog log;
        log.setProtocolConfig(&m_config);
        log.setLanguage(language);
        QVERIFY(log.open(live).ok);
        for (const Sample &sample : run.live)
            QVERIFY(log.append(sample).ok);

        const QString replayed = m_dir.filePath(QStringLiteral("replayed-%1.csv").arg(language));
        QString output;
        QString errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        RecordingCommands::ReplayOptions options;
        options.recording = run.path;
        options.csvPath = replayed;
        options.language = language;
        QCOMPARE(RecordingCommands::replay(options, out, err), 0);
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
        QCOMPARE(fileBytes(replayed), fileBytes(live));
        QVERIFY(output.contains(QLatin1String("\"rows\": 10")));
        QVERIFY(!QFileInfo::exists(replayed + QStringLiteral(".partial")));
    }
}

QTEST_GUILESS_MAIN(TestRecordingReplay)
#include "tst_recordingreplay.moc"
