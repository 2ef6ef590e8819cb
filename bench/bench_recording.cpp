// Recordings: what keeping every frame costs the decode pipeline, how fast a recording decodes
// again, and how big it gets.
//
// Figures:
// - recording_pipeline_ratio: frames per second of the pipeline (framing, decoding, table row)
//   with every frame handed to a recording, against the same pipeline without, alternated in one
//   run, by the pipeline thread's CPU time (the writer has a thread of its own).
// - recording_one_core_ratio: the same with all the recording's CPU (hand-over and writer thread)
//   charged to the pipeline, as on a machine with no core to spare. The wall-time ratio until the
//   last row is committed is printed as well; it depends on what else the machine runs.
// - replay: received frames per second decoded again from a recording of 100,000 answers, by
//   the thread's CPU time; replay_to_csv the same written as the window's CSV.
// - recording_bytes_per_frame: file size per answer with its request, against the bytes of the
//   two frame texts; and the size of 100,000 such frames, at 5 a second some 5.6 hours.

#include "acquisition/framedecoder.h"
#include "benchsupport.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingcommands.h"
#include "recording/recordingmeta.h"
#include "recording/recordingreader.h"
#include "recording/recordingreplay.h"
#include "recording/recordingwriter.h"
#include "responseencoder.h"
#include "serial/frameassembler.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimeZone>

#include <cstdio>

namespace {

constexpr int kPipelineFrames = 20000;
constexpr int kReadSize = 64;
constexpr int kRounds = 5;
constexpr int kReplayFrames = 100000;
constexpr qint64 kStart = 1767225600000;

const QString kProtocol = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

double processCpuSeconds()
{
#ifdef Q_OS_UNIX
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#else
    return bench::nowSeconds();
#endif
}

// Answers of a pack drifting slowly.
QList<QByteArray> makeAnswers(const ProtocolConfig &config, int count)
{
    const CommandDefinition command = config.command(config.defaultCommand());
    QRandomGenerator rng(7);
    QList<quint64> raws(command.dataSegments.size());
    for (int i = 0; i < raws.size(); ++i) {
        const DataSegment &segment = command.dataSegments.at(i);
        raws[i] = segment.name.startsWith(QLatin1String("Vcell")) ? 3300
                : segment.name == QLatin1String("WorkState")      ? 0xF000
                                                                  : 500;
    }
    QList<QByteArray> answers;
    answers.reserve(count);
    for (int f = 0; f < count; ++f) {
        for (int i = 0; i < raws.size(); ++i) {
            if (command.dataSegments.at(i).name.startsWith(QLatin1String("Vcell")))
                raws[i] = qBound<quint64>(3000, raws[i] + rng.bounded(5) - 2, 3600);
        }
        answers.append(ResponseEncoder::encode(config, command, raws));
    }
    return answers;
}

RecordingMeta metaFor(const ProtocolConfig &config)
{
    RecordingMeta meta;
    meta.appName = QStringLiteral("bench_recording");
    meta.startedMs = kStart;
    meta.port = QStringLiteral("/dev/ttyUSB0");
    meta.baudRate = 9600;
    meta.intervalMs = 200;
    meta.command = config.defaultCommand();
    meta.protocolName = config.name();
    meta.protocolFile = config.filePath();
    meta.protocolJson = config.sourceData();
    meta.timeZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    return meta;
}

struct PipelineRun
{
    double framesPerSecond = 0; // by the pipeline thread's CPU time
    double wallFramesPerSecond = 0; // by wall time, until the file has every frame
    double threadCpuPerFrame = 0; // the pipeline thread
    double otherCpuPerFrame = 0; // every other thread: the recording's writer
};

// One pass of the pipeline over the byte stream, fresh objects as a new run; with a file, every
// frame goes to the recording, and the pass ends when the file has them all.
PipelineRun pipelineOnce(ProtocolConfig &config, const QByteArray &stream, const QString &file)
{
    FrameDecoder decoder;
    decoder.setProtocolConfig(&config);
    RDModel table;
    table.setProtocolConfig(&config);
    FrameAssembler assembler;
    RecordingWriter writer;
    PipelineRun run;
    if (!file.isEmpty() && !writer.open(file, metaFor(config)))
        return run;
    QString text;
    FrameRecord record;
    Sample sample;
    int frames = 0;
    const double process = processCpuSeconds();
    const double thread = bench::threadCpuSeconds();
    const double start = bench::nowSeconds();
    for (qsizetype pos = 0; pos < stream.size(); pos += kReadSize) {
        assembler.append(QByteArrayView(stream).sliced(
                pos, qMin<qsizetype>(kReadSize, stream.size() - pos)));
        while (assembler.takeFrame(text)) {
            const bool matched = decoder.decode(text, kStart + frames, &record, &sample);
            if (!file.isEmpty())
                writer.writeFrame(record);
            if (matched)
                table.appendDataRow(sample.values);
            ++frames;
        }
        assembler.trim();
    }
    if (!file.isEmpty() && !writer.close(kStart + frames))
        return run;
    const double wall = bench::nowSeconds() - start;
    const double threadCpu = bench::threadCpuSeconds() - thread;
    const double processCpu = processCpuSeconds() - process;
    if (frames != kPipelineFrames || table.rowCount() != frames)
        return run;
    run.framesPerSecond = frames / threadCpu;
    run.wallFramesPerSecond = frames / wall;
    run.threadCpuPerFrame = threadCpu / frames;
    run.otherCpuPerFrame = qMax(0.0, processCpu - threadCpu) / frames;
    return run;
}

bool writeReplayRecording(const ProtocolConfig &config, const QString &path, qint64 *textBytes)
{
    const QList<QByteArray> answers = makeAnswers(config, kReplayFrames);
    const QString request = QString::fromLatin1(config.buildRequestFrame(config.defaultCommand()));
    RecordingWriter writer;
    if (!writer.open(path, metaFor(config)))
        return false;
    *textBytes = 0;
    for (int i = 0; i < answers.size(); ++i) {
        const qint64 t = kStart + qint64(i) * 200; // 5 frames a second
        FrameRecord tx;
        tx.timeMs = t;
        tx.direction = FrameRecord::Direction::Tx;
        tx.text = request;
        tx.command = config.defaultCommand();
        tx.checksum = FrameRecord::Checksum::Ok;
        writer.writeFrame(tx);
        FrameRecord rx = tx;
        rx.timeMs = t + 35;
        rx.direction = FrameRecord::Direction::Rx;
        rx.text = QString::fromLatin1(answers.at(i));
        writer.writeFrame(rx);
        *textBytes += tx.text.size() + rx.text.size();
    }
    return writer.close(kStart + qint64(answers.size()) * 200);
}

// Frames per second of the replaying thread's CPU time.
double replayOnce(const QString &path)
{
    RecordingReader reader;
    if (!reader.open(path))
        return 0;
    RecordingReplay replay(&reader);
    if (!replay.useStoredProtocol() || !replay.start())
        return 0;
    qint64 samples = 0;
    const double start = bench::threadCpuSeconds();
    while (replay.step(4096, [&samples](const Sample &) { ++samples; })) { }
    const double seconds = bench::threadCpuSeconds() - start;
    return !replay.failed() && samples == kReplayFrames ? samples / seconds : 0;
}

double replayToCsvOnce(const QString &path, const QString &csv)
{
    RecordingCommands::ReplayOptions options;
    options.recording = path;
    options.csvPath = csv;
    options.language = 1;
    QString text;
    QTextStream out(&text);
    QTextStream err(&text);
    const double start = bench::threadCpuSeconds();
    const int code = RecordingCommands::replay(options, out, err);
    const double seconds = bench::threadCpuSeconds() - start;
    return code == 0 ? kReplayFrames / seconds : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ProtocolConfig config;
    if (!config.loadConfig(kProtocol)) {
        std::fprintf(stderr, "bench_recording: cannot load %s\n", qPrintable(kProtocol));
        return 1;
    }
    QTemporaryDir dir;
    // 1. The pipeline with and without the recording, alternated.
    QByteArray stream;
    for (const QByteArray &answer : makeAnswers(config, kPipelineFrames))
        stream += answer;
    PipelineRun off;
    PipelineRun on;
    for (int round = 0; round < kRounds; ++round) {
        const PipelineRun a = pipelineOnce(config, stream, QString());
        if (a.framesPerSecond > off.framesPerSecond)
            off = a;
        const QString file = dir.filePath(QStringLiteral("pipeline-%1.csrec").arg(round));
        const PipelineRun b = pipelineOnce(config, stream, file);
        if (b.framesPerSecond > on.framesPerSecond)
            on = b;
        QFile::remove(file);
    }
    // The pipeline's own thread: it hands the frames over, the writer's thread does the rest.
    const double ratio = off.framesPerSecond > 0 ? on.framesPerSecond / off.framesPerSecond : 0;
    bench::report(
            "recording_pipeline_ratio", bench::num(ratio * 100, 1), QStringLiteral("%"),
            QStringLiteral(">= 80 % of the pipeline without recording"),
            QStringLiteral("without %1 frames/s, with %2 frames/s (pipeline thread CPU)")
                    .arg(bench::num(off.framesPerSecond, 0), bench::num(on.framesPerSecond, 0)),
            bench::num(ratio, 3), on.framesPerSecond > 0 && ratio >= 0.8);
    // All of the recording's CPU as if it ran on the pipeline's core: the throughput of a
    // machine with no core to spare.
    const double recordingCpu = on.threadCpuPerFrame + on.otherCpuPerFrame - off.threadCpuPerFrame
            - off.otherCpuPerFrame;
    const double oneCore =
            off.threadCpuPerFrame / (off.threadCpuPerFrame + qMax(0.0, recordingCpu));
    bench::report("recording_one_core_ratio", bench::num(oneCore * 100, 1), QStringLiteral("%"),
                  QStringLiteral(">= 80 % of the pipeline without recording"),
                  QStringLiteral("recording %1 us CPU per frame, pipeline %2 us")
                          .arg(bench::num(recordingCpu * 1e6, 2),
                               bench::num(off.threadCpuPerFrame * 1e6, 2)),
                  bench::num(oneCore, 3), oneCore >= 0.8);
    std::printf(
            "wall time, last row committed: without %.0f frames/s, with %.0f frames/s (%.1f %%)\n",
            off.wallFramesPerSecond, on.wallFramesPerSecond,
            off.wallFramesPerSecond > 0 ? 100 * on.wallFramesPerSecond / off.wallFramesPerSecond
                                        : 0.0);

    // 2. Replay of 100,000 answers.
    const QString recording = dir.filePath(QStringLiteral("replay.csrec"));
    qint64 textBytes = 0;
    if (!writeReplayRecording(config, recording, &textBytes)) {
        std::fprintf(stderr, "bench_recording: cannot write %s\n", qPrintable(recording));
        return 1;
    }
    double replayRate = 0;
    double csvRate = 0;
    for (int round = 0; round < 3; ++round) {
        replayRate = qMax(replayRate, replayOnce(recording));
        csvRate = qMax(csvRate, replayToCsvOnce(recording, dir.filePath(QStringLiteral("r.csv"))));
    }
    bench::report("replay", bench::num(replayRate, 0), QStringLiteral("frames/s"),
                  QStringLiteral(">= 100000 frames/s"),
                  QStringLiteral("pipeline without recording %1 frames/s")
                          .arg(bench::num(off.framesPerSecond, 0)),
                  bench::num(off.framesPerSecond > 0 ? replayRate / off.framesPerSecond : 0, 2),
                  replayRate >= 100000);
    bench::report("replay_to_csv", bench::num(csvRate, 0), QStringLiteral("frames/s"),
                  QStringLiteral(">= 50000 frames/s"),
                  QStringLiteral("replay alone %1 frames/s").arg(bench::num(replayRate, 0)),
                  bench::num(replayRate > 0 ? csvRate / replayRate : 0, 2), csvRate >= 50000);

    // 3. Size.
    const qint64 size = QFileInfo(recording).size();
    const double perFrame = double(size) / kReplayFrames;
    const double textPerFrame = double(textBytes) / kReplayFrames;
    const double perDay = perFrame * 5 * 86400 / 1e6;
    bench::report("recording_bytes_per_frame", bench::num(perFrame, 0),
                  QStringLiteral("bytes per answer with its request"),
                  QStringLiteral("<= 350 (a day at 5 frames/s <= 150 MB)"),
                  QStringLiteral("frame texts %1 bytes").arg(bench::num(textPerFrame, 0)),
                  bench::num(perFrame / textPerFrame, 2) + u'x', perFrame <= 350);
    bench::report("recording_size_100k_frames", bench::num(double(size) / 1e6, 1),
                  QStringLiteral("MB"), QStringLiteral("<= 35 MB (5.6 h at 5 frames/s)"),
                  QStringLiteral("a day at 5 frames/s: %1 MB").arg(bench::num(perDay, 0)),
                  QString(), double(size) / 1e6 <= 35);
    return 0;
}
