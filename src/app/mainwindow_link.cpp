// One received frame on the screen, and the bottom bar: lamps, counters and the error line.

#include "acquisition/acquisitionengine.h"
#include "acquisition/framedecoder.h"
#include "alarms/alarmmonitor.h"
#include "app/applog.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "recordingui/recordingcontroller.h"
#include "ui_mainwindow.h"
#include "widgets/voltagechartwidget.h"

#include <QDateTime>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

#include <cmath>

namespace {

const QString kLampOff = QStringLiteral(":/icons/Icon/glay.png");
const QString kLampGreen = QStringLiteral(":/icons/Icon/green_cycle_full.png");
const QString kLampRed = QStringLiteral(":/icons/Icon/red_cycle_full.png");
const QString kEmptyReceiveTime = QStringLiteral("---- -- --  --:--:--");
constexpr int kFlashMs = 100;

// Calculated values and the field each one is shown in, in the order they are written.
struct CalculatedField
{
    const char *key;
    const char *field;
    int decimals; // -1: rounded integer; -2: the value's text
};
const CalculatedField kCalculatedFields[] = {
        {"data_cellcount", "data_number", -1},
        {"data_current", "data_current", 2},
        {"data_maxtemperature", "data_maxtemperature", 1},
        {"data_maxv", "data_maxv", -1},
        {"data_mintemperature", "data_mintemperature", 1},
        {"data_minv", "data_minv", -1},
        {"data_number", "data_number", -1},
        {"data_protocolversion", "data_protocolversion", -2},
        {"data_totalv", "data_totalv", 2},
        {"voltage_diff", "data_vdiff", -1},
};

// Setting a field repaints it (and what shows through its rounded frame) even when the text
// stays the same; most readings do from one frame to the next.
void setFieldText(QLineEdit *field, const QString &text)
{
    if (field->text() != text)
        field->setText(text);
}

struct LampRule
{
    int code;
    const char *lamps[2];
};
const LampRule kLampRules[] = {
        {0x5008, {"statu_uv", nullptr}},          {0x5020, {"statu_sc", nullptr}},
        {0x5080, {"statu_ocd", nullptr}},         {0x5300, {"statu_otm", nullptr}},
        {0x5400, {"statu_otd", nullptr}},         {0x5800, {"statu_utd", nullptr}},
        {0xA004, {"statu_ov", nullptr}},          {0xA005, {"statu_blanceing", nullptr}},
        {0xA006, {"statu_utc", "statu_heating"}}, {0xA010, {"statu_occ", nullptr}},
        {0xA100, {"statu_otc", nullptr}},         {0xA200, {"statu_utc", nullptr}},
        {0xC500, {"statu_otd", "statu_otc"}},     {0xCA00, {"statu_utd", "statu_utc"}},
        {0xF000, {"statu_standby", nullptr}},     {0xF001, {"statu_chging", nullptr}},
        {0xF002, {"statu_dsging", nullptr}},
};

// QLabel::setText and setPixmap ask the layouts above to run again unless the label's size is
// fixed, and every frame sets the receive counter and time and flashes both link lamps. Such a
// label is held at the size it was laid out at once what it shows has asked for the same width
// twice running (so the layout has placed it); a new width, or a new window size, lets it go for
// the next layout.
void holdLaidOutSize(QLabel *label)
{
    const int wanted = label->sizeHint().width();
    const QSize window = label->window()->size();
    if (label->property("heldMaximum").isValid()) {
        if (label->property("heldWidth").toInt() == wanted
            && label->property("heldInWindow").toSize() == window)
            return;
        label->setMinimumSize(label->property("heldMinimum").toSize());
        label->setMaximumSize(label->property("heldMaximum").toSize());
        label->setProperty("heldMaximum", QVariant());
        label->setProperty("heldWidth", wanted);
        return;
    }
    const QVariant before = label->property("heldWidth");
    label->setProperty("heldWidth", wanted);
    if (!before.isValid() || before.toInt() != wanted || !label->isVisible()
        || label->testAttribute(Qt::WA_PendingResizeEvent))
        return;
    label->setProperty("heldMinimum", label->minimumSize());
    label->setProperty("heldMaximum", label->maximumSize());
    label->setProperty("heldInWindow", window);
    label->setFixedSize(label->size());
}

// A label with scaled contents scales a new picture on each paint until the next one is set,
// and the link lamps get two a frame: they get pictures of their own size, scaled once the way
// QLabel scales them.
QPixmap lampPicture(const QString &path, const QLabel *label)
{
    if (!label->hasScaledContents())
        return QPixmap(path);
    static QHash<QString, QPixmap> scaled;
    const qreal ratio = label->devicePixelRatio();
    const QSize size = label->contentsRect().size() * ratio;
    const QString key = QStringLiteral("%1@%2x%3").arg(path).arg(size.width()).arg(size.height());
    auto it = scaled.constFind(key);
    if (it == scaled.constEnd()) {
        QPixmap picture = QPixmap::fromImage(QPixmap(path).toImage().scaled(
                size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        picture.setDevicePixelRatio(ratio);
        it = scaled.insert(key, picture);
    }
    return *it;
}

void setHeldText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
    holdLaidOutSize(label);
}

// Halves away from zero: 3456.5 gives 3457, -0.5 gives -1.
QString roundedText(double value)
{
    return QString::number(std::round(value), 'f', 0);
}

QString numberText(const QVariant &value, int decimals)
{
    if (decimals == -2)
        return value.toString();
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return value.toString();
    return decimals < 0 ? roundedText(number) : QString::number(number, 'f', decimals);
}

} // namespace

QString MainWindow::timeStamp() const
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void MainWindow::SwitchLight(QLabel *label, const QString &offPixmap)
{
    if (label)
        label->setPixmap(QPixmap(offPixmap));
}

void MainWindow::setupStatusSwitcher(QLabel *label, const QString &onPixmap,
                                     const QString &offPixmap, int interval)
{
    if (!label) {
        qCWarning(lcApp) << "setupStatusSwitcher: label is null!";
        return;
    }
    label->setPixmap(lampPicture(onPixmap, label));
    holdLaidOutSize(label);
    QPointer<QLabel> guard(label);
    QTimer::singleShot(interval, this, [guard, offPixmap] {
        if (guard) {
            guard->setPixmap(lampPicture(offPixmap, guard));
            holdLaidOutSize(guard);
        }
    });
}

void MainWindow::handleDataSend(bool success)
{
    setupStatusSwitcher(ui->statu_tx, success ? kLampGreen : kLampRed, kLampOff, kFlashMs);
}

void MainWindow::onSendSuccess()
{
    ++sendlens;
    setHeldText(ui->com_sends, QString::number(sendlens));
    // While the BMS stays silent the timeout report stays; otherwise the passing report gives
    // way to a log that still cannot be written, which must not go unseen.
    if (m_timeoutShown)
        return;
    const QString text = standingFailureText();
    if (ui->err_info->text() != text)
        ui->err_info->setText(text);
}

QString MainWindow::handleDataReceived(const QString &frameText)
{
    setupStatusSwitcher(ui->statu_rx, kLampGreen, kLampOff, kFlashMs);
    ++recvlens;
    setHeldText(ui->com_recvs, QString::number(recvlens));
    const QString stamp = timeStamp();
    setHeldText(ui->com_recvs_time, stamp);
    // The raw frame line is hidden unless opened: a hidden text edit lays its text out all the
    // same, at about the cost of painting all value fields.
    m_lastFrameText = frameText;
    if (!ui->readdata->isHidden())
        ui->readdata->setPlainText(frameText);
    qCDebug(lcApp) << ">>> 接收计数递增:" << recvlens << "| 发送计数:" << sendlens;
    // The BMS answers again: the next send success may clear a timeout report.
    m_timeoutShown = false;
    return stamp;
}

void MainWindow::handleErrorOccurred(const QString &error)
{
    setupStatusSwitcher(ui->statu_tx, kLampRed, kLampOff, kFlashMs);
    ui->err_info->setText(error);
    qCWarning(lcApp) << "Serial error:" << error;
}

void MainWindow::handleTimeoutOccurred()
{
    setupStatusSwitcher(ui->statu_tx, kLampRed, kLampOff, kFlashMs);
    const QString text = tr2(QStringLiteral("[%1] %2通讯超时！"),
                             QStringLiteral("[%1] %2 communication timeout!"))
                                 .arg(timeStamp(), currentConnectedPortName);
    ui->err_info->setText(text);
    m_timeoutShown = true;
    qCWarning(lcApp).noquote() << text;
}

void MainWindow::handleBusBusy()
{
    setupStatusSwitcher(ui->statu_tx, kLampRed, kLampOff, kFlashMs);
    const QString text =
            tr2(QStringLiteral("[%1] %2总线繁忙！"), QStringLiteral("[%1] %2 bus busy!"))
                    .arg(timeStamp(), currentConnectedPortName);
    ui->err_info->setText(text);
    qCWarning(lcApp).noquote() << text;
}

void MainWindow::handleCRC()
{
    const QString text =
            tr2(QStringLiteral("CRC 校验失败"), QStringLiteral("CRC verification failed"));
    ui->err_info->setText(text);
    qCWarning(lcApp).noquote() << text;
}

bool MainWindow::hasChecksumMismatch(const QString &frame, const QString &soi, const QString &eoi)
{
    return FrameDecoder::checksumState(frame, soi, eoi) == FrameRecord::Checksum::Mismatch;
}

void MainWindow::handleDataReceivedWithConfig(const QString &data)
{
    if (!protocolConfig || !protocolFrame) {
        qCWarning(lcApp) << "Config or frame not available. Config:" << (protocolConfig != nullptr)
                         << "Frame:" << (protocolFrame != nullptr);
        return;
    }
    // The same way as a frame cut from the link: the engine decodes it and tells its consumers,
    // this window among them (onSampleDecoded).
    m_engine->processFrame(data);
}

void MainWindow::onSampleDecoded(const Sample &sample)
{
    // First: the table row's alarm column shows this frame's alarms.
    if (m_alarms)
        m_alarms->processSample(sample);
    handleDataReceived(sample.frame);
    if (sample.checksum == FrameRecord::Checksum::Mismatch)
        emit handleCRCError(); // still decoded: a bad checksum is reported, not dropped
    appendDataRowIfNeeded(sample.values);
    updateUIFields(sample.command, sample.values);
}

void MainWindow::onLinkEvent(const AcquisitionEvent &event)
{
    switch (event.kind) {
    case AcquisitionEvent::Kind::Started:
        onAcquisitionStarted();
        break;
    case AcquisitionEvent::Kind::SerialError:
        handleErrorOccurred(event.detail);
        break;
    case AcquisitionEvent::Kind::Timeout:
        handleTimeoutOccurred();
        break;
    case AcquisitionEvent::Kind::BusBusy:
        handleBusBusy();
        break;
    case AcquisitionEvent::Kind::PortLost:
        handlePortLost(event.detail);
        break;
    case AcquisitionEvent::Kind::Reconnected:
        onReconnected(event.detail);
        break;
    case AcquisitionEvent::Kind::Stopped:
    case AcquisitionEvent::Kind::ChecksumMismatch: // shown with its frame, in onSampleDecoded
    case AcquisitionEvent::Kind::SendFailed: // comes with a serial error
    case AcquisitionEvent::Kind::ProtocolChanged:
        break;
    }
}

void MainWindow::appendDataRowIfNeeded(const QVariantHash &values)
{
    if (!appendEnabled)
        return;
    if (!ui || !ui->tableView) {
        qCWarning(lcApp) << "appendDataRowIfNeeded: ui or tableView is null";
        return;
    }
    // The live table, also while the view shows a recording in its place.
    if (m_tableModel)
        m_tableModel->appendDataRow(values);
    else if (auto *model = qobject_cast<RDModel *>(ui->tableView->model()))
        model->appendDataRow(values);
}

void MainWindow::updateUIFields(const QString &commandName, const QVariantHash &values)
{
    if (!protocolConfig) {
        qCWarning(lcApp) << "updateUIFields: protocolConfig is null";
        return;
    }
    const QList<DataSegment> segments = protocolConfig->dataSegments(commandName);
    qCDebug(lcApp) << "=== UPDATE UI FIELDS ===";
    qCDebug(lcApp) << "Command:" << commandName << "Data hash size:" << values.size()
                   << "Number of segments:" << segments.size();

    int updated = 0;
    for (const DataSegment &segment : segments) {
        if (segment.uiField.isEmpty())
            continue;
        const auto value = values.constFind(segment.name);
        if (value == values.constEnd()) {
            qCDebug(lcApp) << "  Segment" << segment.name << "not found in dataHash";
            continue;
        }
        QLineEdit *field = m_valueFields.value(segment.uiField);
        if (!field) {
            qCDebug(lcApp) << "  UI field" << segment.uiField << "not found for segment"
                           << segment.name;
            continue;
        }
        int decimals = 2;
        if (segment.type == QLatin1String("voltage") || segment.type == QLatin1String("current"))
            decimals = -1;
        else if (segment.type == QLatin1String("temperature"))
            decimals = 1;
        else if (segment.scale == 0.1)
            decimals = 1;
        else if (segment.scale == 1.0 && segment.offset == 0.0)
            decimals = -1;
        const QString text = numberText(*value, decimals);
        setFieldText(field, text);
        ++updated;
        qCDebug(lcApp) << "  Updated" << segment.uiField << "←" << segment.name << "=" << text
                       << "(" << segment.type << ")";
    }
    qCDebug(lcApp) << "UI fields updated:" << updated << "of" << segments.size();

    int calculated = 0;
    for (const CalculatedField &rule : kCalculatedFields) {
        const auto value = values.constFind(QLatin1String(rule.key));
        if (value == values.constEnd())
            continue;
        if (QLineEdit *field = m_valueFields.value(QLatin1String(rule.field))) {
            setFieldText(field, numberText(*value, rule.decimals));
            ++calculated;
        }
    }
    qCDebug(lcApp) << "Total UI fields updated (including calculated):" << updated + calculated;

    const auto workState = values.constFind(QStringLiteral("WorkState"));
    if (workState != values.constEnd()) {
        bool ok = false;
        const int code = workState->toInt(&ok);
        if (!ok) {
            qCDebug(lcApp) << "WorkState is not an integer, cannot update LED";
        } else {
            qCDebug(lcApp).noquote()
                    << "Updating LED status with WorkState:"
                    << QStringLiteral("0x%1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
            updateWorkStateLamps(code);
        }
    }

    if (m_chart) {
        static const QStringList cellKeys = [] {
            QStringList keys;
            for (int n = 1; n <= 16; ++n)
                keys.append(QStringLiteral("Vcell%1").arg(n));
            return keys;
        }();
        QList<double> cells;
        double sum = 0.0;
        for (const QString &key : cellKeys) {
            const auto value = values.constFind(key);
            if (value == values.constEnd())
                continue;
            bool ok = false;
            const double v = value->toDouble(&ok);
            if (ok && v > 0) {
                cells.append(v);
                sum += v;
            }
        }
        if (!cells.isEmpty()) {
            m_chart->setVoltages(cells);
            bool ok = false;
            const double maxV = values.value(QStringLiteral("data_maxv")).toDouble(&ok);
            if (ok)
                m_chart->setMaxVoltage(maxV);
            const double minV = values.value(QStringLiteral("data_minv")).toDouble(&ok);
            if (ok)
                m_chart->setMinVoltage(minV);
            m_chart->setAverageVoltage(sum / cells.size());
            qCDebug(lcApp) << "Updated voltage chart with" << cells.size() << "cells";
        }
    }
    qCDebug(lcApp) << "========================";
}

void MainWindow::updateWorkStateLamps(int code)
{
    const LampRule *match = nullptr;
    for (const LampRule &rule : kLampRules) {
        if (rule.code == code) {
            match = &rule;
            break;
        }
    }
    const auto lit = [match](const QString &name) {
        if (!match)
            return false;
        for (const char *lamp : match->lamps) {
            if (lamp && name == QLatin1String(lamp))
                return true;
        }
        return false;
    };
    // A new picture repaints the lamp and what lies under it: give one only to lamps that change,
    // a frame arrives several times a second and the state seldom changes.
    const QPixmap off(kLampOff);
    const QPixmap on(kLampGreen);
    const auto show = [](QLabel *lamp, const QPixmap &picture) {
        if (lamp->pixmap().cacheKey() != picture.cacheKey())
            lamp->setPixmap(picture);
    };
    for (QLabel *lamp : std::as_const(m_workStateLamps))
        show(lamp, lit(lamp->objectName()) ? on : off);
    if (!match) {
        qCWarning(lcApp).noquote()
                << "WorkState: unknown state" << QStringLiteral("0x%1").arg(code, 0, 16).toUpper();
        return;
    }
    for (const char *name : match->lamps) {
        if (!name)
            continue;
        auto *lamp = findChild<QLabel *>(QLatin1String(name));
        if (lamp && !m_workStateLamps.contains(lamp))
            show(lamp, on);
    }
}

void MainWindow::clearReceiveStats()
{
    recvlens = 0;
    setHeldText(ui->com_recvs, QStringLiteral("0"));
    setHeldText(ui->com_recvs_time, kEmptyReceiveTime);
}

void MainWindow::clearSendStats()
{
    sendlens = 0;
    setHeldText(ui->com_sends, QStringLiteral("0"));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (ui && watched == ui->groupBox_voltage && event->type() == QEvent::Resize)
        updateVoltageView();
    // Shown before its layout settles: the width it had while hidden is judged after that.
    if (ui && watched == ui->groupBox_voltage && event->type() == QEvent::Show)
        scheduleVoltageViewCheck();
    if (ui && watched == ui->portName && event->type() == QEvent::MouseButtonPress) {
        // The list opens with what is plugged in now; the press goes on to the selector.
        if (!ui->openCom->isChecked())
            findFreePorts();
        return QMainWindow::eventFilter(watched, event);
    }
    if (m_watched.contains(watched)) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::PolishRequest:
        case QEvent::Polish:
        case QEvent::LayoutRequest:
        case QEvent::StyleChange:
        case QEvent::ContentsRectChange:
            refitWatched(static_cast<QWidget *>(watched));
            break;
        default:
            break;
        }
    }
    if (ui && event->type() == QEvent::MouseButtonDblClick) {
        if (watched == ui->statu_rx_mark) {
            const bool open = ui->readdata->isHidden();
            if (open)
                ui->readdata->setPlainText(m_lastFrameText);
            ui->readdata->setVisible(open);
            return true;
        }
        const bool receive = watched == ui->com_recvs || watched == ui->com_recvs_mark;
        const bool send = watched == ui->com_sends || watched == ui->com_sends_mark;
        if (receive || send) {
            const QString question = receive ? tr2(QStringLiteral("是否清除接收数据统计？"),
                                                   QStringLiteral("Clear receive statistics?"))
                                             : tr2(QStringLiteral("是否清除发送数据统计？"),
                                                   QStringLiteral("Clear send statistics?"));
            const auto answer = QMessageBox::question(
                    this, tr2(QStringLiteral("清除统计"), QStringLiteral("Reset Counters")),
                    question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer == QMessageBox::Yes) {
                if (receive)
                    clearReceiveStats();
                else
                    clearSendStats();
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
