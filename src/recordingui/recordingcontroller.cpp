#include "recordingui/recordingcontroller.h"

#include "acquisition/acquisitionengine.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingreader.h"
#include "recording/recordingreplay.h"
#include "recording/recordingsession.h"
#include "recordingui/openrecordingdialog.h"
#include "recordingui/recordingbanner.h"
#include "recordingui/recordingtoolrow.h"
#include "recordingui/recordinguilog.h"

#include <QBoxLayout>
#include <QDir>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTableView>

namespace {

// Frames decoded per turn of the event loop while a recording loads.
constexpr int kFramesPerStep = 2000;

QSettings windowSettings()
{
    return QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"));
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

RecordingController::RecordingController(const Parts &parts, QObject *parent)
    : QObject(parent),
      m_parts(parts),
      m_table(parts.table),
      m_errorLine(parts.errorLine),
      m_window(parts.window),
      m_session(new RecordingSession(parts.engine, this))
{
    const QSettings settings = windowSettings();
    const QString directory = settings.value(directoryKey()).toString();
    if (!directory.isEmpty())
        m_session->setDirectory(directory);
    const bool enabled = settings.value(enabledKey(), true).toBool();
    m_session->setEnabled(enabled);

    m_row = new RecordingToolRow(parts.window);
    m_row->setRecordingEnabled(enabled);
    m_row->setState(enabled ? RecordingToolRow::State::Waiting : RecordingToolRow::State::Off);
    if (QBoxLayout *row = parts.toolRow) {
        // Before the stretch that pushes the record count to the right.
        int at = row->count();
        for (int i = 0; i < row->count(); ++i) {
            if (row->itemAt(i)->spacerItem()) {
                at = i;
                break;
            }
        }
        row->insertWidget(at, m_row);
    }
    m_banner = new RecordingBanner(parts.window);
    m_banner->hide();
    if (QBoxLayout *area = parts.tableArea)
        area->insertWidget(qMax(0, area->indexOf(parts.table)), m_banner);

    connect(m_row, &RecordingToolRow::recordingToggled, this, &RecordingController::setEnabled);
    connect(m_row, &RecordingToolRow::openRecordingRequested, this,
            &RecordingController::askForRecording);
    connect(m_banner, &RecordingBanner::backRequested, this, &RecordingController::closeRecording);
    connect(m_session, &RecordingSession::fileStarted, this, [this](const QString &path) {
        if (m_row)
            m_row->setState(RecordingToolRow::State::Recording, path);
    });
    connect(m_session, &RecordingSession::fileFinished, this, [this](const QString &path) {
        if (m_row && m_row->state() != RecordingToolRow::State::Failed)
            m_row->setState(RecordingToolRow::State::Saved, path);
    });
    // Boxes wait for the engine's signal to be done with: a run must not stall in one.
    connect(m_session, &RecordingSession::failed, this, &RecordingController::onFailed,
            Qt::QueuedConnection);
    connect(m_session, &RecordingSession::resumed, this, &RecordingController::onResumed,
            Qt::QueuedConnection);

    m_loadTimer.setInterval(0);
    connect(&m_loadTimer, &QTimer::timeout, this, &RecordingController::loadStep);
}

RecordingController::~RecordingController()
{
    // The window is going: nobody is told any more.
    blockSignals(true);
    closeRecording();
}

QString RecordingController::say(const char *chinese, const char *english) const
{
    return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

void RecordingController::setLanguage(int language)
{
    m_language = language;
    if (m_row)
        m_row->setLanguage(language);
    if (m_banner)
        m_banner->setLanguage(language);
    if (m_model)
        m_model->setTranslator(
                [this](const QString &text) { return translateWithUnit(m_language, text); });
}

bool RecordingController::isFailing() const
{
    return m_session->isFailing();
}

void RecordingController::setEnabled(bool enabled)
{
    QSettings settings = windowSettings();
    settings.setValue(enabledKey(), enabled);
    m_session->setEnabled(enabled);
    if (!m_row)
        return;
    if (!enabled)
        m_row->setState(RecordingToolRow::State::Off, m_session->currentFile());
    else if (!m_session->isRecording() && !m_session->isFailing())
        m_row->setState(RecordingToolRow::State::Waiting, m_session->currentFile());
}

void RecordingController::warn(const QString &text)
{
    // Not modal for the event loop: acquisition goes on while the box is up.
    auto *box = new QMessageBox(QMessageBox::Warning, say("警告", "Warning"), text, QMessageBox::Ok,
                                m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void RecordingController::onFailed(const QString &path, const QString &error)
{
    const QString file = QDir::toNativeSeparators(path);
    const QString text = m_session->isRecording()
            ? say("[%1] 记录写入失败：%2（%3）；继续采集",
                  "[%1] recording write failed: %2 (%3); acquisition goes on")
                      .arg(now(), file, error)
            : say("[%1] 无法创建记录 %2：%3；继续采集，不记录",
                  "[%1] cannot create recording %2: %3; acquiring without it")
                      .arg(now(), file, error);
    qCWarning(lcRecordingUi).noquote() << text;
    m_failureText = text;
    if (m_errorLine)
        m_errorLine->setText(text);
    if (m_row)
        m_row->setState(RecordingToolRow::State::Failed, path, text);
    warn(text);
}

void RecordingController::onResumed(const QString &path, qint64 lost)
{
    const QString text = say("[%1] 记录恢复写入：%2（丢失 %3 行）",
                             "[%1] recording writing again: %2 (%3 rows lost)")
                                 .arg(now(), QDir::toNativeSeparators(path), QString::number(lost));
    qCInfo(lcRecordingUi).noquote() << text;
    if (m_errorLine)
        m_errorLine->setText(text);
    if (m_row)
        m_row->setState(m_session->isRecording() ? RecordingToolRow::State::Recording
                                                 : RecordingToolRow::State::Saved,
                        path);
}

void RecordingController::askForRecording()
{
    if (m_parts.engine && m_parts.engine->isActive()) {
        auto *box = new QMessageBox(QMessageBox::Information, say("提示", "Info"),
                                    say("请先停止数据采集再打开记录",
                                        "Stop data acquisition before opening a recording"),
                                    QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    OpenRecordingDialog dialog(m_language, m_window);
    dialog.setDirectory(m_session->directory());
    if (dialog.exec() != QDialog::Accepted)
        return;
    showRecording(dialog.recordingPath(), dialog.protocolPath());
}

bool RecordingController::showRecording(const QString &path, const QString &protocolFile)
{
    if (m_parts.engine && m_parts.engine->isActive()) {
        warn(say("请先停止数据采集再打开记录", "Stop data acquisition before opening a recording"));
        return false;
    }
    closeRecording();
    auto reader = std::make_unique<RecordingReader>();
    RecordingReader::Counts counts;
    if (!reader->open(path) || !reader->counts(&counts)) {
        warn(reader->errorText(m_language));
        return false;
    }
    auto replay = std::make_unique<RecordingReplay>(reader.get());
    const bool loaded = protocolFile.isEmpty() ? replay->useStoredProtocol()
                                               : replay->useProtocolFile(protocolFile);
    if (!loaded || !replay->start()) {
        warn(replay->errorText(m_language));
        return false;
    }
    m_reader = std::move(reader);
    m_replay = std::move(replay);
    m_shownPath = path;
    m_expectedFrames = counts.rx;
    m_model = new RDModel(this);
    m_model->setClock([this] { return m_rowTime; });
    m_model->setProtocolConfig(m_replay->protocol());
    setLanguage(m_language);
    m_liveModel = m_table ? m_table->model() : nullptr;
    if (m_banner) {
        m_banner->showLoading(path, 0);
        m_banner->show();
    }
    emit liveBlocked(true);
    qCDebug(lcRecordingUi) << "Loading" << path << counts.rx << "received frames";
    m_loadTimer.start();
    return true;
}

void RecordingController::loadStep()
{
    if (!m_replay)
        return;
    const bool more = m_replay->step(kFramesPerStep, [this](const Sample &sample) {
        m_rowTime = sample.receivedAt;
        m_model->appendDataRow(sample.values);
    });
    const qint64 done = m_replay->summary().frames;
    if (more) {
        if (m_banner && m_expectedFrames > 0)
            m_banner->showLoading(m_shownPath, int(done * 100 / m_expectedFrames));
        return;
    }
    m_loadTimer.stop();
    if (m_replay->failed()) {
        warn(m_replay->errorText(m_language));
        closeRecording();
        return;
    }
    // The table takes the rows at once: a view fed row by row would lay itself out each time.
    if (m_table) {
        QItemSelectionModel *selection = m_table->selectionModel();
        m_table->setModel(m_model);
        delete selection;
        m_table->resizeColumnsToContents();
    }
    const qint64 rows = m_model->rowCount();
    if (m_banner)
        m_banner->showLoaded(m_shownPath, rows, m_replay->protocol()->name());
    emit recordingLoaded(m_shownPath, rows);
    emit shownModelChanged(m_model);
}

void RecordingController::closeRecording()
{
    m_loadTimer.stop();
    if (!m_model)
        return;
    if (m_table && m_table->model() == m_model) {
        QItemSelectionModel *selection = m_table->selectionModel();
        m_table->setModel(m_liveModel);
        delete selection;
    }
    emit shownModelChanged(qobject_cast<RDModel *>(m_liveModel.data()));
    delete m_model;
    m_model = nullptr;
    m_replay.reset();
    m_reader.reset();
    m_shownPath.clear();
    if (m_banner)
        m_banner->hide();
    emit liveBlocked(false);
}
