// The window's recordings: one file per switch-on shown in the table tab's tool row, the setting
// that turns them off, a recording shown read-only in the table (with its own protocol or a
// corrected one) while live acquisition is off, a directory that takes no files.

#include "../recording/recordingfixtures.h"
#include "../testsupport/boxcloser.h"
#include "acquisition/acquisitionengine.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "recording/recordingreader.h"
#include "recording/recordingsession.h"
#include "recordingui/openrecordingdialog.h"
#include "recordingui/recordingcontroller.h"
#include "simprocess.h"
#include "trends/trenddata.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

constexpr qint64 kStart = 1767225600000; // 2026-01-01T00:00:00Z

QSettings settings()
{
    return QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"));
}

QStringList recordingsIn(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.csrec")}, QDir::Files, QDir::Name);
}

int columnOf(const RDModel *model, const QString &field)
{
    const QList<TableColumn> columns = model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).field == field)
            return i;
    }
    return -1;
}

// Takes the folder URLs the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestRecordingUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void oneFilePerSwitchOn();
    void settingOffKeepsNoFile();
    void fileNameOpensItsFolder();
    void showsARecordingReadOnly_data();
    void showsARecordingReadOnly();
    void dialogChoosesFileAndProtocol();
    void notWhileAcquiring();
    void unwritableDirectoryIsReportedAndAcquisitionGoesOn();
    void followsTheLanguage();

private:
    void openWindow(const QString &port = QStringLiteral("/tmp/cs-no-port"));
    void switchOn(bool on);
    QString wrongScaleRecording(int answers);

    QTemporaryDir m_dir;
    QString m_recordings;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<MainWindow> m_window;
    ProtocolConfig m_config;
    int m_run = 0;
};

void TestRecordingUi::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QVERIFY(m_config.loadConfig(cs16Path()));
}

void TestRecordingUi::init()
{
    settings().clear();
    m_recordings = m_dir.filePath(QStringLiteral("recordings-%1").arg(++m_run));
    settings().setValue(RecordingController::directoryKey(), m_recordings);
}

void TestRecordingUi::cleanup()
{
    m_window.reset();
    m_sim.reset();
}

void TestRecordingUi::openWindow(const QString &port)
{
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = {port};
    m_window = std::make_unique<MainWindow>(options);
    m_window->resize(1280, 800);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    Ui::MainWindow *ui = m_window->form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
}

void TestRecordingUi::switchOn(bool on)
{
    m_window->form()->openCom->setChecked(on);
    QCoreApplication::processEvents();
}

QString TestRecordingUi::wrongScaleRecording(int answers)
{
    ProtocolConfig wrong;
    if (!wrong.loadConfigData(withScale(m_config.sourceData(), QStringLiteral("Vcell1"), 10),
                              QStringLiteral("wrong.json")))
        return QString();
    const QString path = m_dir.filePath(QStringLiteral("wrong-%1.csrec").arg(m_run));
    RecordingWriter writer;
    if (!writer.open(path, metaFor(wrong, kStart)))
        return QString();
    for (int i = 0; i < answers; ++i) {
        writer.writeFrame(request(wrong, kStart + 1000 * i));
        writer.writeFrame(received(wrong, answerFrame(m_config, i), kStart + 1000 * i + 50));
    }
    writer.close(kStart + 1000 * answers);
    return path;
}

void TestRecordingUi::oneFilePerSwitchOn()
{
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->start({QStringLiteral("--protocol"), cs16Path()}));
    openWindow(m_sim->path());
    RecordingController *recording = m_window->recording();
    RecordingToolRow *row = recording->toolRow();
    QVERIFY(row->recordBox()->isChecked());
    QCOMPARE(row->state(), RecordingToolRow::State::Waiting);
    // In the table tab's tool row.
    QVERIFY(m_window->form()->tab_data->isAncestorOf(row));

    QStringList files;
    for (int run = 0; run < 2; ++run) {
        switchOn(true);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->receivedCount() >= 3, 10000);
        const QString file = recording->session()->currentFile();
        QCOMPARE(row->state(), RecordingToolRow::State::Recording);
        QCOMPARE(row->fileButton()->text(), QFileInfo(file).fileName());
        switchOn(false);
        QCOMPARE(row->state(), RecordingToolRow::State::Saved);
        files.append(QFileInfo(file).fileName());
        // Finished: every answer the window counted is in the file.
        RecordingReader reader;
        RecordingReader::Counts counts;
        QVERIFY(reader.open(file) && reader.counts(&counts));
        QVERIFY(reader.meta().endedMs > 0);
        QCOMPARE(counts.rx, qint64(m_window->receivedCount()));
        QCOMPARE(reader.meta().port, m_sim->path());
        QCOMPARE(reader.meta().protocolName, QStringLiteral("CS-16S"));
        QTest::qWait(1100); // the next file starts in another second
    }
    QCOMPARE(recordingsIn(m_recordings), files);
    const QString port = QFileInfo(m_sim->path()).fileName();
    for (const QString &name : files)
        QVERIFY2(name.endsWith(QStringLiteral("_%1.csrec").arg(port)), qPrintable(name));
}

void TestRecordingUi::settingOffKeepsNoFile()
{
    settings().setValue(RecordingController::enabledKey(), false);
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->start({QStringLiteral("--protocol"), cs16Path()}));
    openWindow(m_sim->path());
    RecordingToolRow *row = m_window->recording()->toolRow();
    QVERIFY(!row->recordBox()->isChecked());
    QCOMPARE(row->state(), RecordingToolRow::State::Off);
    switchOn(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_window->receivedCount() >= 2, 10000);
    QVERIFY(recordingsIn(m_recordings).isEmpty());
    // Turned on while running: a file from now on, and the setting remembers it.
    row->recordBox()->setChecked(true);
    QVERIFY(m_window->recording()->session()->isRecording());
    QCOMPARE(settings().value(RecordingController::enabledKey()).toBool(), true);
    const int before = m_window->receivedCount();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->receivedCount() >= before + 2, 10000);
    row->recordBox()->setChecked(false); // closes the file at once
    QCOMPARE(recordingsIn(m_recordings).size(), 1);
    QVERIFY(!m_window->recording()->session()->isRecording());
    QCOMPARE(settings().value(RecordingController::enabledKey()).toBool(), false);
    switchOn(false);
}

void TestRecordingUi::fileNameOpensItsFolder()
{
    openWindow();
    RecordingToolRow *row = m_window->recording()->toolRow();
    QVERIFY(!row->fileButton()->isEnabled()); // no file yet
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    const QString file = m_dir.filePath(QStringLiteral("some/dir/x.csrec"));
    row->setState(RecordingToolRow::State::Saved, file);
    QVERIFY(row->fileButton()->toolTip().contains(QDir::toNativeSeparators(file)));
    QTest::mouseClick(row->fileButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(catcher.urls,
             QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("some/dir")))});
}

void TestRecordingUi::showsARecordingReadOnly_data()
{
    QTest::addColumn<bool>("corrected");
    QTest::addColumn<double>("scale");
    QTest::newRow("its own protocol") << false << 10.0;
    QTest::newRow("a corrected protocol file") << true << 1.0;
}

void TestRecordingUi::showsARecordingReadOnly()
{
    QFETCH(bool, corrected);
    QFETCH(double, scale);
    openWindow();
    Ui::MainWindow *ui = m_window->form();
    ui->tabWidget->setCurrentWidget(ui->tab_data);
    RecordingController *recording = m_window->recording();
    // Live rows before: they come back untouched.
    m_window->handleDataReceivedWithConfig(answerFrame(m_config, 99));
    QCOMPARE(m_window->tableModel()->rowCount(), 1);

    const QString path = wrongScaleRecording(5);
    QSignalSpy loaded(recording, &RecordingController::recordingLoaded);
    QVERIFY(recording->showRecording(path, corrected ? cs16Path() : QString()));
    QVERIFY(!ui->openCom->isEnabled());
    QVERIFY(!ui->protocolSelector->isEnabled());
    QTRY_COMPARE(loaded.size(), 1);
    QVERIFY(recording->banner()->isVisible());
    QVERIFY(recording->banner()->label()->text().contains(QFileInfo(path).fileName()));
    RDModel *model = recording->recordingModel();
    QCOMPARE(ui->tableView->model(), model);
    QCOMPARE(model->rowCount(), 5);
    // The trend tab shows the recording's rows while it is shown.
    QCOMPARE(m_window->trendView()->data()->rowCount(), 5);
    const int cell = columnOf(model, QStringLiteral("Vcell1"));
    const int time = columnOf(model, QStringLiteral("_time"));
    QVERIFY(cell >= 0 && time >= 0);
    const CommandDefinition command = m_config.command(m_config.defaultCommand());
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(model->data(model->index(i, cell)).toDouble(),
                 double(rawValues(command, i).at(0)) * scale);
        // Stamped with the recorded receive time.
        const QTime at = QDateTime::fromMSecsSinceEpoch(kStart + 1000 * i + 50).time();
        QCOMPARE(model->data(model->index(i, time)).toString(),
                 at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(".05"));
    }
    // The export writes the shown table; live rows are never appended to it.
    const QString exported = m_dir.filePath(QStringLiteral("shown-%1.csv").arg(corrected));
    ui->realtime_export->setChecked(true);
    m_window->viewExportToCSV(ui->tableView, exported);
    ui->realtime_export->setChecked(false);
    QVERIFY(m_window->armedExportFiles().isEmpty());
    QFile csv(exported);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count('\n'), 1 + 5);
    // Frames arriving now do not reach the shown table.
    m_window->handleDataReceivedWithConfig(answerFrame(m_config, 98));
    QCOMPARE(model->rowCount(), 5);

    QTest::mouseClick(recording->banner()->backButton(), Qt::LeftButton);
    QVERIFY(!recording->isShowingRecording());
    QVERIFY(!recording->banner()->isVisible());
    QCOMPARE(ui->tableView->model(), m_window->tableModel());
    QCOMPARE(m_window->tableModel()->rowCount(), 2);
    QCOMPARE(m_window->trendView()->data()->rowCount(), 2);
    QVERIFY(ui->openCom->isEnabled());
    QVERIFY(ui->protocolSelector->isEnabled());
}

void TestRecordingUi::dialogChoosesFileAndProtocol()
{
    openWindow();
    RecordingController *recording = m_window->recording();
    const QString path = wrongScaleRecording(3);
    QTimer::singleShot(0, this, [path] {
        auto *dialog = qobject_cast<OpenRecordingDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QVERIFY(!dialog->okButton()->isEnabled());
        dialog->recordingEdit()->setText(path);
        QVERIFY(dialog->okButton()->isEnabled());
        dialog->otherProtocolButton()->setChecked(true);
        QVERIFY(!dialog->okButton()->isEnabled()); // which file?
        dialog->protocolEdit()->setText(cs16Path());
        QVERIFY(dialog->okButton()->isEnabled());
        dialog->okButton()->click();
    });
    QSignalSpy loaded(recording, &RecordingController::recordingLoaded);
    QTest::mouseClick(recording->toolRow()->openButton(), Qt::LeftButton);
    QTRY_COMPARE(loaded.size(), 1);
    RDModel *model = recording->recordingModel();
    const CommandDefinition command = m_config.command(m_config.defaultCommand());
    QCOMPARE(model->data(model->index(0, columnOf(model, QStringLiteral("Vcell1")))).toDouble(),
             double(rawValues(command, 0).at(0)));
}

void TestRecordingUi::notWhileAcquiring()
{
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->start({QStringLiteral("--protocol"), cs16Path()}));
    openWindow(m_sim->path());
    const QString path = wrongScaleRecording(2);
    switchOn(true);
    QVERIFY(m_window->engine()->isActive());
    BoxCloser boxes;
    QVERIFY(!m_window->recording()->showRecording(path));
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY(boxes.texts.first().contains(QStringLiteral("请先停止数据采集")));
    QVERIFY(!m_window->recording()->isShowingRecording());
    // A file that is no recording: told, nothing changes.
    switchOn(false);
    QVERIFY(!m_window->recording()->showRecording(cs16Path()));
    QTRY_COMPARE(boxes.texts.size(), 2);
    QVERIFY(boxes.texts.at(1).contains(QStringLiteral("不是记录文件")));
    QCOMPARE(m_window->form()->tableView->model(), m_window->tableModel());
    QVERIFY(m_window->form()->openCom->isEnabled());
}

void TestRecordingUi::unwritableDirectoryIsReportedAndAcquisitionGoesOn()
{
    QString directory = QStringLiteral("/proc/cellscribe-recordings");
    if (::geteuid() != 0) {
        directory = m_dir.filePath(QStringLiteral("read-only"));
        QDir().mkpath(directory);
        QFile::setPermissions(directory, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    settings().setValue(RecordingController::directoryKey(), directory);
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->start({QStringLiteral("--protocol"), cs16Path()}));
    openWindow(m_sim->path());
    m_window->applyLanguage(English);
    BoxCloser boxes;
    switchOn(true);
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.first().contains(QStringLiteral("cannot create recording")),
             qPrintable(boxes.texts.first()));
    QCOMPARE(m_window->recording()->toolRow()->state(), RecordingToolRow::State::Failed);
    // Acquisition goes on, and the error line keeps the report while it does.
    const int before = m_window->receivedCount();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->receivedCount() >= before + 3, 10000);
    QVERIFY(m_window->form()->err_info->text().contains(QStringLiteral("cannot create recording")));
    QCOMPARE(m_window->tableModel()->rowCount(), m_window->receivedCount());
    QCOMPARE(boxes.texts.size(), 1); // once
    switchOn(false);
}

void TestRecordingUi::followsTheLanguage()
{
    openWindow();
    RecordingController *recording = m_window->recording();
    QVERIFY(recording->showRecording(wrongScaleRecording(1)));
    QTRY_VERIFY(!recording->isLoading());
    RecordingToolRow *row = recording->toolRow();
    const QList<QPair<int, QStringList>> expected{
            {German,
             {QStringLiteral("Aufzeichnen"), QStringLiteral("Aufzeichnung öffnen…"),
              QStringLiteral("Zurück zu den Live-Daten"), QStringLiteral("Live-Erfassung aus")}},
            {English,
             {QStringLiteral("Record"), QStringLiteral("Open recording…"),
              QStringLiteral("Back to live data"), QStringLiteral("live acquisition off")}},
            {Chinese,
             {QStringLiteral("记录"), QStringLiteral("打开记录…"), QStringLiteral("返回实时数据"),
              QStringLiteral("实时采集已关闭")}},
    };
    for (const auto &[language, texts] : expected) {
        m_window->applyLanguage(language);
        QCOMPARE(row->recordBox()->text(), texts.at(0));
        QCOMPARE(row->openButton()->text(), texts.at(1));
        QCOMPARE(recording->banner()->backButton()->text(), texts.at(2));
        QVERIFY(recording->banner()->label()->text().contains(texts.at(3)));
    }
    // The shown table's headers follow too.
    m_window->applyLanguage(English);
    RDModel *model = recording->recordingModel();
    QCOMPARE(model->headerData(columnOf(model, QStringLiteral("_date")), Qt::Horizontal).toString(),
             QStringLiteral("Date"));
}

QTEST_MAIN(TestRecordingUi)
#include "tst_recordingui.moc"
