// Look of the main window: style sheet, fonts, field sizing and the value/chart view switch.

#include "app/applog.h"
#include "app/mainwindow.h"
#include "serial/statusbarmanager.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kControlPointSize = 9;
constexpr int kLampSize = 20;
constexpr int kChartMinimumHeight = 200;
constexpr int kAboutButtonSize = 40;
constexpr int kChartViewThreshold = 1200;
constexpr int kMaxWidth = 16777215;

const char *const kWorkStateLamps[] = {
        "statu_utd", "statu_otd", "statu_utc",    "statu_otc",     "statu_ocd",
        "statu_occ", "statu_sc",  "statu_otm",    "statu_heating", "statu_blanceing",
        "statu_ov",  "statu_uv",  "statu_chging", "statu_dsging",  "statu_standby"};

const char kAboutButtonStyle[] =
        "QPushButton {    background-color: #2196F3;    color: white;    border: none;    "
        "border-radius: 20px;    font-size: 18pt;    font-weight: bold;    box-shadow: 0 2px 5px "
        "rgba(0,0,0,0.3);}QPushButton:hover {    background-color: #1976D2;}QPushButton:pressed "
        "{    background-color: #0D47A1;}";

void setHorizontalPolicy(QWidget *widget, QSizePolicy::Policy policy)
{
    QSizePolicy sp = widget->sizePolicy();
    sp.setHorizontalPolicy(policy);
    widget->setSizePolicy(sp);
}

} // namespace

QString MainWindow::readStyleSheet(const QString &resourcePath, const QString &fallbackPath)
{
    QFile resource(resourcePath);
    QFile fallback(fallbackPath);
    QFile &file = resource.exists() ? resource : fallback;
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The rules are ASCII; only comments could hold anything else.
    return QString::fromLatin1(file.readAll());
}

void MainWindow::applyStyleSheet()
{
    const QString styleSheet = readStyleSheet(QStringLiteral(":/styles/modern_style.qss"),
                                              QStringLiteral("resources/styles/modern_style.qss"));
    if (!styleSheet.isEmpty())
        setStyleSheet(styleSheet);
}

void MainWindow::initUiAfterSetup()
{
    ui->tabWidget->tabBar()->setCursor(Qt::PointingHandCursor);
    ui->openCom->setCursor(Qt::PointingHandCursor);
    ui->tabWidget->setCurrentIndex(0);

    for (const char *name : kWorkStateLamps) {
        if (auto *lamp = findChild<QLabel *>(QLatin1String(name))) {
            m_workStateLamps.append(lamp);
            lamp->setMinimumSize(kLampSize, kLampSize);
            lamp->setMaximumSize(kLampSize, kLampSize);
            lamp->setScaledContents(true);
            lamp->setAlignment(Qt::AlignCenter);
        }
    }

    statusBarManager->resetStatus();
    sizeValueFields();

    QFont controlFont;
    controlFont.setPointSize(kControlPointSize);
    for (QLabel *label : findChildren<QLabel *>()) {
        const QString name = label->objectName();
        if (!name.isEmpty() && !name.endsWith(QLatin1String("_mark"))
            && !name.startsWith(QLatin1String("statu_")) && name != QLatin1String("lblDateTime"))
            label->setFont(controlFont);
    }
    for (QComboBox *combo : findChildren<QComboBox *>())
        combo->setFont(controlFont);
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setFont(controlFont);
    for (QLineEdit *edit : findChildren<QLineEdit *>()) {
        const QString name = edit->objectName();
        if (!name.startsWith(QLatin1String("data_")) && !name.startsWith(QLatin1String("com_")))
            edit->setFont(controlFont);
    }
    for (QCheckBox *box : findChildren<QCheckBox *>())
        box->setFont(controlFont);
    for (QRadioButton *radio : findChildren<QRadioButton *>())
        radio->setFont(controlFont);
    for (QGroupBox *group : findChildren<QGroupBox *>())
        group->setFont(controlFont);

    // Clock: wide enough for a date and time after its prefix, never reflowing.
    QLabel *clock = ui->lblDateTime;
    clock->setMaximumWidth(kMaxWidth);
    QFont clockFont(QStringLiteral("monospace"), kControlPointSize);
    clock->setFont(clockFont);
    const QFontMetrics clockMetrics(clockFont);
    const int clockWidth =
            clockMetrics.horizontalAdvance(QStringLiteral("AAAAA2024-12-31 23:59:59"))
            + clockMetrics.horizontalAdvance(QLatin1Char(' '));
    clock->setMinimumWidth(clockWidth);
    clock->setFixedWidth(clockWidth);
    clock->setFixedHeight(30);
    clock->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    qCDebug(lcApp) << "lblDateTime: font=9pt, width=" << clockWidth << ", height=30px";

    ui->bard->clear();
    for (int baud : {9600, 19200, 38400, 115200})
        ui->bard->addItem(QString::number(baud), baud);

    QComboBox *interval = ui->proid;
    interval->clear();
    interval->addItems({QStringLiteral("200 ms"), QStringLiteral("500 ms"), QStringLiteral("1 s"),
                        QStringLiteral("2 s"), QStringLiteral("5 s"), QStringLiteral("10 s"),
                        QStringLiteral("20 s"), QStringLiteral("30 s"), QStringLiteral("1 min"),
                        QStringLiteral("2 min"), QStringLiteral("5 min")});
    interval->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    interval->setMinimumContentsLength(0);
    interval->setMaxVisibleItems(interval->count());
    const QFontMetrics intervalMetrics(interval->font());
    int widest = 0;
    for (int i = 0; i < interval->count(); ++i)
        widest = qMax(widest, intervalMetrics.horizontalAdvance(interval->itemText(i)));
    interval->setMinimumWidth(widest + 50);
    interval->setMaximumWidth(widest + 70);
    if (QAbstractItemView *list = interval->view()) {
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    interval->setCurrentIndex(interval->count() < 2 ? interval->count() - 1 : 1);

    m_chart = new VoltageChartWidget(this);
    m_chart->setMinimumHeight(kChartMinimumHeight);
    if (auto *page = ui->centralwidget->findChild<QWidget *>(QStringLiteral("page_voltageChart"))) {
        if (auto *layout =
                    page->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_chartPage"))) {
            layout->addWidget(m_chart);
            qCDebug(lcApp) << "VoltageChartWidget added to chart page";
        } else {
            qCDebug(lcApp) << "Warning: verticalLayout_chartPage not found";
        }
    } else {
        qCDebug(lcApp) << "Warning: page_voltageChart not found";
    }

    if (auto *stack = ui->centralwidget->findChild<QStackedWidget *>(
                QStringLiteral("stackedWidget_voltage"))) {
        stack->setCurrentIndex(0);
        qCDebug(lcApp) << "StackedWidget initialized to labels page";
    }
    // The group also changes width without a window resize: when its tab, hidden during the
    // resize, is laid out on being shown again.
    if (auto *group = ui->centralwidget->findChild<QGroupBox *>(QStringLiteral("groupBox_voltage")))
        group->installEventFilter(this);

    m_aboutButton = new QPushButton(QStringLiteral("ⓘ"), this);
    m_aboutButton->setFixedSize(kAboutButtonSize, kAboutButtonSize);
    // The window's general button rule would pad it and cap its height: keep it a 40 px disc.
    m_aboutButton->setStyleSheet(
            QString::fromLatin1(kAboutButtonStyle)
            + QStringLiteral("QPushButton { padding: 0px; min-height: 40px; max-height: 40px; }"));
    m_aboutButton->setCursor(Qt::PointingHandCursor);
    m_aboutButton->setToolTip(tr2(QStringLiteral("关于"), QStringLiteral("About")));
    connect(m_aboutButton, &QPushButton::clicked, this, &MainWindow::showAboutDialog);

    QTimer::singleShot(100, this, &MainWindow::placeAboutButton);
}

void MainWindow::placeAboutButton()
{
    if (!ui->lblDateTime || !m_aboutButton)
        return;
    QLabel *clock = ui->lblDateTime;
    const QPoint corner = clock->mapTo(this, QPoint(clock->width() - 1, clock->height() - 1));
    m_aboutButton->move(corner.x() - (m_aboutButton->width() - 1) - 6, corner.y() + 5);
    m_aboutButton->raise();
}

void MainWindow::sizeValueFields()
{
    if (!ui)
        return;
    static const QRegularExpression fieldPattern(QStringLiteral("^data_.*"));
    static const QRegularExpression unitPattern(QStringLiteral("^data_.*_unit$"));
    static const QRegularExpression captionPattern(QStringLiteral("^data_.*_mark$"));

    const QList<QLineEdit *> fields = findChildren<QLineEdit *>(fieldPattern);
    if (fields.isEmpty())
        return;

    const QString sample = QStringLiteral("88888888");
    int fieldWidth = 0;
    for (QLineEdit *field : fields) {
        const QMargins margins = field->textMargins();
        const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
        const int width = field->fontMetrics().horizontalAdvance(sample) + margins.left()
                + margins.right() + 2 * frame + 2;
        fieldWidth = qMax(fieldWidth, width);
    }
    if (fieldWidth == 0)
        fieldWidth = fontMetrics().horizontalAdvance(sample) + 12;
    for (QLineEdit *field : fields) {
        field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        field->setMinimumWidth(fieldWidth);
        field->setMaximumWidth(fieldWidth);
        field->updateGeometry();
    }

    const QList<QLabel *> units = findChildren<QLabel *>(unitPattern);
    int unitWidth = 0;
    for (QLabel *unit : units) {
        const QFontMetrics metrics(unit->font());
        const QString text = unit->text().isEmpty() ? QStringLiteral("min") : unit->text();
        int width = metrics.horizontalAdvance(text)
                + (metrics.horizontalAdvance(QLatin1Char('0')) + 1) / 2;
        if (unit->minimumWidth() > 0)
            width = qMax(width, unit->minimumWidth());
        if (unit->maximumWidth() >= 1 && unit->maximumWidth() <= kMaxWidth - 1)
            width = qMax(width, unit->maximumWidth());
        unitWidth = qMax(unitWidth, width);
    }
    if (unitWidth == 0)
        unitWidth = 40;
    for (QLabel *unit : units) {
        unit->setMinimumWidth(unitWidth);
        unit->setMaximumWidth(unitWidth);
        setHorizontalPolicy(unit, QSizePolicy::Fixed);
        unit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        unit->updateGeometry();
    }

    for (QLabel *caption : findChildren<QLabel *>(captionPattern)) {
        caption->setMinimumWidth(0);
        caption->setMaximumWidth(kMaxWidth);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setHorizontalPolicy(caption, QSizePolicy::Preferred);
        caption->setWordWrap(true);
    }

    for (QHBoxLayout *row : findChildren<QHBoxLayout *>()) {
        if (!row->objectName().contains(QLatin1String("_data_")))
            continue;
        QMargins margins = row->contentsMargins();
        if (margins.right() > 0) {
            margins.setRight(qMax(0, margins.right() - 2));
            row->setContentsMargins(margins);
        }
        row->setSpacing(qMin(row->spacing(), 3));
        for (int i = 0; i < row->count(); ++i)
            row->setStretch(i, i == 0 ? 1 : 0);
        row->invalidate();
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    updateVoltageView();
    // The nested layouts give the group its new width only after this event: look again then.
    scheduleVoltageViewCheck();
}

void MainWindow::scheduleVoltageViewCheck()
{
    if (!m_viewCheckPending) {
        m_viewCheckPending = true;
        QTimer::singleShot(0, this, [this] {
            m_viewCheckPending = false;
            updateVoltageView();
        });
    }
}

void MainWindow::updateVoltageView()
{
    if (!ui)
        return;
    auto *group = ui->centralwidget->findChild<QGroupBox *>(QStringLiteral("groupBox_voltage"));
    auto *stack =
            ui->centralwidget->findChild<QStackedWidget *>(QStringLiteral("stackedWidget_voltage"));
    if (!group || !stack)
        return;
    // A hidden group's width is not its own yet (the window's first layout passes through
    // widths of several thousand pixels): it is judged once shown and laid out.
    const int width = group->width();
    if (group->isVisible() && width > kChartViewThreshold && stack->currentIndex() != 1) {
        stack->setCurrentIndex(1);
        qCDebug(lcApp) << "Switched to chart view, width:" << width;
    } else if (group->isVisible() && width <= kChartViewThreshold && stack->currentIndex() != 0) {
        stack->setCurrentIndex(0);
        qCDebug(lcApp) << "Switched to label view, width:" << width;
    }
    group->setMaximumHeight(int(height() * 0.4));
}
