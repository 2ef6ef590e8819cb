#include "recording/recordingsession.h"

#include "acquisition/acquisitionengine.h"
#include "acquisition/framedecoder.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingformat.h"
#include "recording/recordinglog.h"
#include "recording/recordingmeta.h"
#include "recording/recordingwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

RecordingSession::RecordingSession(AcquisitionEngine *engine, QObject *parent)
    : QObject(parent), m_engine(engine), m_writer(new RecordingWriter(this))
{
    m_directory = defaultDirectory();
    connect(engine, &AcquisitionEngine::frameTraffic, this, &RecordingSession::onFrame);
    connect(engine, &AcquisitionEngine::linkEvent, this, &RecordingSession::onEvent);
    connect(m_writer, &RecordingWriter::writeFailed, this,
            [this](const QString &error) { emit failed(m_file, error); });
    connect(m_writer, &RecordingWriter::writeResumed, this,
            [this](qint64 lost) { emit resumed(m_file, lost); });
}

RecordingSession::~RecordingSession()
{
    // The run may go on without a recording; the file is finished properly either way.
    blockSignals(true);
    end(QDateTime::currentMSecsSinceEpoch());
}

void RecordingSession::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!enabled) {
        m_openFailed = false;
        end(now);
    } else if (m_engine && m_engine->state() == AcquisitionEngine::State::Running) {
        begin(now);
        if (m_writer->isOpen())
            m_writer->writeEvent(now, AcquisitionEvent::kindName(AcquisitionEvent::Kind::Started),
                                 m_engine->currentPort());
    }
}

void RecordingSession::setDirectory(const QString &directory)
{
    m_directory = directory;
    m_fixedFile.clear();
}

void RecordingSession::setFile(const QString &path)
{
    m_fixedFile = path;
}

bool RecordingSession::isRecording() const
{
    return m_writer->isOpen();
}

bool RecordingSession::isFailing() const
{
    return m_openFailed || m_writer->isFailing();
}

void RecordingSession::writeEvent(qint64 timeMs, const QString &kind, const QString &text)
{
    m_writer->writeEvent(timeMs, kind, text);
}

void RecordingSession::begin(qint64 timeMs)
{
    if (!m_enabled || !m_engine || m_writer->isOpen())
        return;
    m_openFailed = false;
    const QString path = m_fixedFile.isEmpty()
            ? newFilePath(m_directory, timeMs, m_engine->currentPort())
            : m_fixedFile;
    m_file = path;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!m_writer->open(path, RecordingMeta::ofEngine(m_engine, timeMs))) {
        m_openFailed = true;
        emit failed(path, m_writer->errorString());
        return;
    }
    emit fileStarted(path);
}

void RecordingSession::end(qint64 timeMs)
{
    if (!m_writer->isOpen())
        return;
    const bool complete = m_writer->close(timeMs);
    emit fileFinished(m_file, complete);
}

void RecordingSession::onFrame(const FrameRecord &frame)
{
    if (!m_writer->isOpen())
        return;
    if (frame.direction == FrameRecord::Direction::Tx && m_engine) {
        // Requests carry a checksum too (raw ones may not): stored like a received frame's.
        if (const ProtocolConfig *config = m_engine->protocolConfig()) {
            FrameRecord request = frame;
            request.checksum =
                    FrameDecoder::checksumState(frame.text, config->soi(), config->eoi());
            m_writer->writeFrame(request);
            return;
        }
    }
    m_writer->writeFrame(frame);
}

void RecordingSession::onEvent(const AcquisitionEvent &event)
{
    using Kind = AcquisitionEvent::Kind;
    if (event.kind == Kind::Started)
        begin(event.timeMs);
    m_writer->writeEvent(event.timeMs, AcquisitionEvent::kindName(event.kind), event.detail);
    if (event.kind == Kind::Stopped) {
        m_openFailed = false;
        end(event.timeMs);
    }
}

QString RecordingSession::newFilePath(const QString &directory, qint64 startedMs,
                                      const QString &port)
{
    // The port's last path element, reduced to characters every file system takes.
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    QString name = port.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1, -1);
    name.replace(unsafe, QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("port"));
    const QString stem = QDateTime::fromMSecsSinceEpoch(startedMs).toString(
                                 QStringLiteral("yyyy-MM-dd_HH-mm-ss_"))
            + name;
    const QDir dir(directory);
    QString path = dir.filePath(stem + u'.' + RecordingFormat::extension());
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(
                QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(RecordingFormat::extension()));
    return path;
}

QString RecordingSession::defaultDirectory()
{
    // The window's names, also when asked from cellscribe-record.
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("BV-BMS"));
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(application);
    return QDir(base).filePath(QStringLiteral("recordings"));
}
