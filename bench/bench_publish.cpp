// Publishing cost: the decode pipeline (receive framing, resolveCommandForFrame,
// processFrameValues) of full 16-cell frames of the sample protocol, once alone and once with
// every frame published to a real mosquitto broker on loopback (state message built, handed to
// the MQTT client), alternated in the same run.
//
// Figures, per frame:
// - publish_cost_acquisition: CPU added on the acquisition's thread (building the message and
//   handing it over), against the decode alone;
// - publish_cost_process: CPU added in the whole process, the client's own thread included (the
//   timed pass ends when the client has written everything out and disconnected).
//
// Usage: bench_publish

#include "benchsupport.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "publish/mqttpublisher.h"
#include "serial/frameassembler.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kFrames = 20000;
constexpr int kReadSize = 64;
constexpr int kRounds = 5;

const QString kProtocol = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

QByteArray hexField(quint32 raw, int length)
{
    return QByteArray::number(raw, 16).toUpper().rightJustified(length, '0', true);
}

// kFrames answers to the default command, readings drifting as a pack's would.
QByteArray makeStream(const ProtocolConfig &config)
{
    const CommandDefinition command = config.command(config.defaultCommand());
    const QByteArray answerCode = hexField(command.code.toUInt(nullptr, 16) + 0x80, 2);
    QRandomGenerator rng(7);
    QByteArray stream;
    for (int f = 0; f < kFrames; ++f) {
        QByteArray data;
        for (const DataSegment &segment : command.dataSegments) {
            quint32 raw = 0;
            if (segment.name.startsWith(QLatin1String("Vcell")))
                raw = 3200 + rng.bounded(200u);
            else if (segment.name.startsWith(QLatin1String("Temp")))
                raw = 640 + rng.bounded(30u);
            else if (segment.name == QLatin1String("WorkState"))
                raw = 0xF001;
            else
                raw = rng.bounded(segment.length >= 4 ? 10000u : 100u);
            data += hexField(raw, segment.length);
        }
        const QByteArray body = command.addr.toLatin1() + answerCode + command.ver.toLatin1()
                + hexField(quint32(data.size() / 2), 4) + data;
        stream += config.soi().toLatin1() + body + ProtocolConfig::checksum(body)
                + config.eoi().toLatin1();
    }
    return stream;
}

struct Pass
{
    double threadSeconds = 0;
    double processSeconds = 0;
    int frames = 0;
};

// One pass over the stream; with a publisher, every sample goes out and the pass ends once the
// client has flushed and disconnected.
Pass decodeOnce(ProtocolConfig &config, const QByteArray &stream, MqttPublisher *publisher)
{
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    DataProcessor processor;
    processor.setProtocolFrame(&frame);
    processor.setProtocolConfig(&config);
    FrameAssembler assembler;
    AcquisitionStats stats;
    const qint64 baseMs = QDateTime::currentMSecsSinceEpoch();

    Pass pass;
    QString text;
    QString commandName;
    const double processStart = processCpuSeconds();
    const double threadStart = bench::threadCpuSeconds();
    for (qsizetype pos = 0; pos < stream.size(); pos += kReadSize) {
        assembler.append(QByteArrayView(stream).sliced(
                pos, qMin<qsizetype>(kReadSize, stream.size() - pos)));
        while (assembler.takeFrame(text)) {
            if (!processor.resolveCommandForFrame(text, commandName))
                continue;
            Sample sample;
            sample.timeMs = baseMs + pass.frames;
            sample.command = commandName;
            sample.frame = text;
            sample.values = processor.processFrameValues(commandName, frame.parsedValues(),
                                                         QStringLiteral("2026-01-01 12:00:00"));
            ++stats.framesReceived;
            if (publisher)
                publisher->publishSample(sample, stats);
            ++pass.frames;
        }
        assembler.trim();
    }
    pass.threadSeconds = bench::threadCpuSeconds() - threadStart;
    if (publisher)
        publisher->stop();
    pass.processSeconds = processCpuSeconds() - processStart;
    return pass;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ProtocolConfig config;
    if (!config.loadConfig(kProtocol)) {
        std::fprintf(stderr, "bench_publish: cannot load %s\n", qPrintable(kProtocol));
        return 1;
    }
    const QString mosquitto =
            QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                            QStringLiteral("/usr/local/sbin")});
    if (mosquitto.isEmpty()) {
        std::fprintf(stderr, "bench_publish: no mosquitto broker installed (Debian: mosquitto)\n");
        return 1;
    }
    QTemporaryDir dir;
    const int port = freePort();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return 1;
    conf.write(QStringLiteral("%1listener %2 127.0.0.1\nallow_anonymous true\npersistence false\n"
                              "log_dest none\n")
                       .arg(::geteuid() == 0 ? QStringLiteral("user root\n") : QString())
                       .arg(port)
                       .toUtf8());
    conf.close();
    QProcess broker;
    broker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    broker.start(mosquitto, {QStringLiteral("-c"), conf.fileName()});
    if (!broker.waitForStarted(5000))
        return 1;

    const QByteArray stream = makeStream(config);
    MqttPublisherSettings settings;
    settings.url = MqttUrl::parse(QStringLiteral("mqtt://127.0.0.1:%1").arg(port));
    settings.packId = QStringLiteral("bench");
    settings.homeAssistant = false;
    settings.retryFirstMs = 100;
    settings.retryLastMs = 100;
    MqttPublisher publisher;
    publisher.setProtocol(&config, config.defaultCommand());

    Pass alone;
    Pass publishing;
    alone.threadSeconds = alone.processSeconds = 1e9;
    publishing.threadSeconds = publishing.processSeconds = 1e9;
    qint64 published = 0;
    qint64 dropped = 0;
    for (int round = 0; round < kRounds; ++round) {
        const Pass a = decodeOnce(config, stream, nullptr);
        alone.threadSeconds = qMin(alone.threadSeconds, a.threadSeconds);
        alone.processSeconds = qMin(alone.processSeconds, a.processSeconds);
        alone.frames = a.frames;

        QElapsedTimer wait;
        wait.start();
        bool started = publisher.start(settings);
        while (started && !publisher.isConnected() && wait.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
        if (!publisher.isConnected()) {
            std::fprintf(stderr, "bench_publish: no connection to the broker\n");
            return 1;
        }
        const Pass p = decodeOnce(config, stream, &publisher);
        publishing.threadSeconds = qMin(publishing.threadSeconds, p.threadSeconds);
        publishing.processSeconds = qMin(publishing.processSeconds, p.processSeconds);
        publishing.frames = p.frames;
        published += publisher.publishedCount();
        dropped += publisher.droppedCount();
    }
    broker.terminate();
    broker.waitForFinished(5000);

    const double us = 1e6 / kFrames;
    const double decodeUs = alone.threadSeconds * us;
    const double threadUs = (publishing.threadSeconds - alone.threadSeconds) * us;
    const double processUs = (publishing.processSeconds - alone.processSeconds) * us;
    std::printf("frames: %d per pass, decoded %d alone and %d publishing; published %lld, "
                "dropped %lld over %d rounds\n",
                kFrames, alone.frames, publishing.frames, static_cast<long long>(published),
                static_cast<long long>(dropped), kRounds);
    const bool complete = alone.frames == kFrames && publishing.frames == kFrames
            && published == qint64(kFrames) * kRounds && dropped == 0;
    const double threadRatio = threadUs / decodeUs;
    bench::report("publish_cost_acquisition", bench::num(threadUs, 2), QStringLiteral("us/frame"),
                  QStringLiteral("< 1x the decode"),
                  QStringLiteral("decode alone %1 us/frame").arg(bench::num(decodeUs, 2)),
                  bench::num(threadRatio, 2) + u'x', complete && threadRatio < 1);
    const double processRatio = processUs / (alone.processSeconds * us);
    // One socket write per message dominates here: the figure a Raspberry Pi would feel.
    bench::report("publish_cost_process", bench::num(processUs, 2), QStringLiteral("us/frame"),
                  QStringLiteral("< 3x the decode, client thread included"),
                  QStringLiteral("decode alone %1 us/frame")
                          .arg(bench::num(alone.processSeconds * us, 2)),
                  bench::num(processRatio, 2) + u'x', complete && processRatio < 3);
    return 0;
}
