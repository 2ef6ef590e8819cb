// Run-time language switching: recorded source texts, the language selector, and the fitters
// that shrink fonts until longer English and German texts fit.

#include "app/applog.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "dialogs/aboutdialog.h"
#include "recordingui/recordingcontroller.h"
#ifdef CELLSCRIBE_HAVE_MQTT
#include "dialogs/mqttpublishcontrol.h"
#endif
#include "serial/statusbarmanager.h"
#include "ui_mainwindow.h"
#include "widgets/alarmdisplay.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <utility>

namespace {

const QStringList &captionNames()
{
    static const QStringList names = {
            QStringLiteral("label"),         QStringLiteral("label_2"),
            QStringLiteral("label_3"),       QStringLiteral("label_protocol"),
            QStringLiteral("languageLabel"), QStringLiteral("label_4"),
    };
    return names;
}

bool isMarkCaption(const QString &name, bool withData)
{
    return name.endsWith(QLatin1String("_mark"))
            && (name.startsWith(QLatin1String("statu_"))
                || (withData && name.startsWith(QLatin1String("data_"))));
}

// Captions that keep one line: word wrap stays off for them.
bool isSingleLineCaption(const QString &name)
{
    return captionNames().contains(name) || isMarkCaption(name, false);
}

bool isFittedLabel(const QString &name)
{
    return captionNames().contains(name) || isMarkCaption(name, true);
}

bool isLamp(const QString &name)
{
    return name.startsWith(QLatin1String("statu_")) && !name.endsWith(QLatin1String("_mark"))
            && name != QLatin1String("statu_tx") && name != QLatin1String("statu_rx");
}

// Labels whose text the window writes at run time; a language change leaves them alone.
bool isLiveLabel(const QString &name)
{
    static const QStringList names = {
            QStringLiteral("statu_opencom"),  QStringLiteral("lblDateTime"),
            QStringLiteral("com_recvs"),      QStringLiteral("com_sends"),
            QStringLiteral("com_recvs_time"), QStringLiteral("err_info"),
    };
    return names.contains(name);
}

bool isRecordOnlyLabel(const QString &name)
{
    static const QStringList names = {
            QStringLiteral("com_recvs_mark"),
            QStringLiteral("com_sends_mark"),
            QStringLiteral("com_recvs_time_mark"),
            QStringLiteral("statu_tx"),
            QStringLiteral("statu_rx"),
            QStringLiteral("statu_tx_mark"),
            QStringLiteral("statu_rx_mark"),
    };
    return names.contains(name);
}

QString translated(const TranslationMap &dictionary, const QString &chinese)
{
    return dictionary.isEmpty() ? chinese : lookupTranslation(dictionary, chinese);
}

// Font sizes step down in fixed steps to a floor: 0.5 pt to 4 pt, or 1 px to 6 px.
class FontShrinker
{
public:
    FontShrinker(const QFont &base, qreal defaultPointSize) : m_font(base)
    {
        if (base.pointSizeF() > 0) {
            m_points = true;
        } else if (base.pixelSize() <= 0) {
            m_points = true;
            m_font.setPointSizeF(defaultPointSize);
        }
    }
    const QFont &font() const { return m_font; }
    // One step smaller; false at the floor.
    bool shrink()
    {
        if (m_points) {
            const qreal size = m_font.pointSizeF();
            if (size <= 4)
                return false;
            const qreal next = size - 0.5;
            if (next < 4)
                return false;
            m_font.setPointSizeF(next);
        } else {
            const int size = m_font.pixelSize();
            if (size <= 6)
                return false;
            const int next = size - 1;
            if (next < 6)
                return false;
            m_font.setPixelSize(next);
        }
        return true;
    }

private:
    QFont m_font;
    bool m_points = false;
};

// Steps down from the base font until fits() holds or the floor is reached; sets the result.
template<typename Fits>
void shrinkToFit(QWidget *widget, const QFont &base, qreal defaultPointSize, Fits fits)
{
    FontShrinker shrinker(base, defaultPointSize);
    while (!fits(shrinker.font()) && shrinker.shrink()) { }
    if (shrinker.font() != widget->font())
        widget->setFont(shrinker.font());
}

int widestLine(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

} // namespace

void MainWindow::setupLanguageSelector()
{
    QComboBox *selector = ui->languageSelector;
    selector->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    selector->setMinimumContentsLength(6);
    selector->setMinimumWidth(80);
    selector->setMaximumWidth(112);
    selector->setCursor(Qt::PointingHandCursor);
    if (QAbstractItemView *list = selector->view()) {
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    disconnect(selector, &QComboBox::currentIndexChanged, this,
               &MainWindow::onLanguageIndexChanged);
    connect(selector, &QComboBox::currentIndexChanged, this, &MainWindow::onLanguageIndexChanged);
    fillLanguageSelector();
}

void MainWindow::fillLanguageSelector()
{
    ui->languageLabel->setText(tr2(QStringLiteral("语言："), QStringLiteral("Language:")));
    QComboBox *selector = ui->languageSelector;
    const QSignalBlocker blocker(selector);
    selector->clear();
    selector->addItem(tr2(QStringLiteral("中文"), QStringLiteral("Chinese")), int(Chinese));
    selector->addItem(tr2(QStringLiteral("英文"), QStringLiteral("English")), int(English));
    selector->addItem(tr2(QStringLiteral("德文"), QStringLiteral("German")), int(German));
    selector->setCurrentIndex(m_language >= 0 && m_language < selector->count() ? m_language : 0);
}

void MainWindow::onLanguageIndexChanged(int index)
{
    bool ok = false;
    const int language = ui->languageSelector->itemData(index).toInt(&ok);
    if (ok && language != m_language && language >= Chinese && language <= German)
        applyLanguage(language);
}

void MainWindow::applyTooltips()
{
    const QString rx = tr2(QStringLiteral("双击清除接收统计"),
                           QStringLiteral("Double-click to clear Rx stats"));
    const QString tx = tr2(QStringLiteral("双击清除发送统计"),
                           QStringLiteral("Double-click to clear Tx stats"));
    ui->com_recvs->setToolTip(rx);
    ui->com_recvs_mark->setToolTip(rx);
    ui->com_sends->setToolTip(tx);
    ui->com_sends_mark->setToolTip(tx);
}

void MainWindow::applyLanguage(int language)
{
    captureSourceTexts();
    m_language = language;
    *m_sharedLanguage = language;
    const TranslationMap &dictionary = translationsFor(language);

    for (const auto &[widget, chinese] : std::as_const(m_textCache)) {
        if (!widget)
            continue;
        const QString text = translated(dictionary, chinese);
        if (auto *label = qobject_cast<QLabel *>(widget.data())) {
            if (isSingleLineCaption(label->objectName()))
                label->setWordWrap(false);
            label->setText(text);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget.data())) {
            button->setText(text);
        } else if (auto *group = qobject_cast<QGroupBox *>(widget.data())) {
            group->setTitle(text);
        }
        fitWidgetFont(widget, text);
    }
    // The run button tells the recording state, not the text the form had.
    showRunButtonText();

    // The trend tab came after the texts were recorded: it is labelled here, before the fit.
    retranslateTrendTab();
    for (const auto &[tabs, texts] : std::as_const(m_tabCache)) {
        if (!tabs)
            continue;
        const int count = qMin(tabs->count(), int(texts.size()));
        for (int i = 0; i < count; ++i)
            tabs->setTabText(i, translated(dictionary, texts.at(i)));
        fitTabBarFont(tabs->tabBar());
    }

    for (const auto &[button, texts] : std::as_const(m_switchCache)) {
        if (!button)
            continue;
        button->setTextOff(translated(dictionary, texts.off));
        button->setTextOn(translated(dictionary, texts.on));
        fitSwitch(button);
    }

    setWindowTitle(translated(dictionary, m_windowTitle));
    labelVirtualPorts();
    fillLanguageSelector();
    applyTooltips();

    // The table model does not exist yet at the first application during construction.
    if (m_tableModel)
        m_tableModel->setTranslator(unitTranslator());
    if (m_chart)
        m_chart->setTranslator(unitTranslator());
    fitHeaderFont(ui->tableView->horizontalHeader());

    sizeValueFields();
    if (m_recording)
        m_recording->setLanguage(language);
    statusBarManager->refreshStatus();
    if (m_aboutDialog)
        m_aboutDialog->refreshTexts();
    if (m_alarmDisplay)
        m_alarmDisplay->setLanguage(language);
#ifdef CELLSCRIBE_HAVE_MQTT
    if (m_mqtt)
        m_mqtt->setLanguage(language);
#endif

    m_textCache.removeIf([](const auto &entry) { return entry.first.isNull(); });
    m_tabCache.removeIf([](const auto &entry) { return entry.first.isNull(); });
    m_switchCache.removeIf([](const auto &entry) { return entry.first.isNull(); });
}

void MainWindow::captureSourceTexts()
{
    if (m_textsCaptured)
        return;
    m_textsCaptured = true;

    for (QLabel *label : findChildren<QLabel *>()) {
        const QString name = label->objectName();
        if (isLiveLabel(name))
            continue;
        m_textCache.append({label, label->text()});
        if (!isRecordOnlyLabel(name))
            prepareWidget(label);
    }
    for (QAbstractButton *button : findChildren<QAbstractButton *>()) {
        if (!qobject_cast<QPushButton *>(button) && !qobject_cast<QCheckBox *>(button)
            && !qobject_cast<QRadioButton *>(button))
            continue;
        m_textCache.append({button, button->text()});
        prepareWidget(button);
    }
    for (QGroupBox *group : findChildren<QGroupBox *>()) {
        m_textCache.append({group, group->title()});
        prepareWidget(group);
    }
    for (QTabWidget *tabs : findChildren<QTabWidget *>()) {
        QStringList texts;
        for (int i = 0; i < tabs->count(); ++i)
            texts.append(tabs->tabText(i));
        m_tabCache.append({tabs, texts});
        QTabBar *bar = tabs->tabBar();
        watchWidget(bar);
        fitTabBarFont(bar);
    }
    for (SwitchButton *button : findChildren<SwitchButton *>()) {
        m_switchCache.append({button, {button->textOff(), button->textOn()}});
        prepareWidget(button);
    }
    m_windowTitle = windowTitle();
}

void MainWindow::watchWidget(QWidget *widget)
{
    if (!m_fontCache.contains(widget))
        m_fontCache.insert(widget, widget->font());
    if (!m_watched.contains(widget)) {
        m_watched.insert(widget);
        widget->installEventFilter(this);
        connect(widget, &QObject::destroyed, this, [this](QObject *gone) {
            m_fontCache.remove(gone);
            m_watched.remove(gone);
        });
    }
}

void MainWindow::prepareWidget(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const QString name = label->objectName();
        if (name == QLatin1String("statu_opencom"))
            return;
        QSizePolicy policy = label->sizePolicy();
        if (isSingleLineCaption(name)) {
            label->setWordWrap(false);
            policy.setHorizontalPolicy(QSizePolicy::Preferred);
        } else {
            label->setWordWrap(true);
            policy.setHorizontalPolicy(QSizePolicy::Expanding);
        }
        // A lamp keeps the side the form gave it.
        const int maxWidth = label->maximumWidth();
        label->setSizePolicy(policy);
        label->setMinimumWidth(0);
        label->setMaximumWidth(QWIDGETSIZE_MAX);
        if (isLamp(name)) {
            const int side = maxWidth > 0 && maxWidth != QWIDGETSIZE_MAX ? maxWidth : 20;
            label->setMinimumSize(side, side);
            label->setMaximumSize(side, side);
            label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            label->setScaledContents(true);
            label->setAlignment(Qt::AlignCenter);
            const QPixmap pixmap = label->pixmap();
            if (!pixmap.isNull())
                label->setPixmap(
                        pixmap.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
    }
    watchWidget(widget);
    refitWatched(widget);
    // Once more when the layout has settled: one deferred pass for all prepared widgets.
    if (m_deferredRefits.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            const QList<QPointer<QWidget>> widgets = std::exchange(m_deferredRefits, {});
            for (const QPointer<QWidget> &pending : widgets) {
                if (pending)
                    refitWatched(pending);
            }
        });
    }
    m_deferredRefits.append(widget);
}

void MainWindow::refitWatched(QWidget *widget)
{
    if (auto *bar = qobject_cast<QTabBar *>(widget))
        fitTabBarFont(bar);
    else if (auto *header = qobject_cast<QHeaderView *>(widget))
        fitHeaderFont(header);
    else if (auto *button = qobject_cast<SwitchButton *>(widget))
        fitSwitch(button);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        fitWidgetFont(label, label->text());
}

void MainWindow::fitSwitch(SwitchButton *button)
{
    const QString off = button->textOff();
    const QString on = button->textOn();
    fitWidgetFont(button, on.size() > off.size() ? on : off);
}

QFont MainWindow::baseFont(QWidget *widget)
{
    const auto it = m_fontCache.constFind(widget);
    // Only the final font is set: a detour through the base font would relayout twice.
    return it != m_fontCache.constEnd() ? *it : widget->font();
}

void MainWindow::fitWidgetFont(QWidget *widget, const QString &text)
{
    if (!widget)
        return;
    auto *label = qobject_cast<QLabel *>(widget);
    auto *button = qobject_cast<SwitchButton *>(widget);
    if (!(label && isFittedLabel(label->objectName())) && !button)
        return;

    QString fitted = text.trimmed();
    if (fitted.isEmpty()) {
        if (label) {
            fitted = label->text().trimmed();
        } else {
            const QString on = button->textOn();
            const QString off = button->textOff();
            fitted = (on.size() >= off.size() ? on : off).trimmed();
        }
    }
    if (fitted.isEmpty())
        return;

    const QFont base = baseFont(widget);
    int available = 0;
    if (label) {
        available = qMax(0, label->contentsRect().width() - 2);
    } else {
        available = widget->width() - widget->height();
        if (available < 1)
            available = widget->width() - 6;
    }
    if (available < 1)
        return;

    shrinkToFit(widget, base, 12, [available, &fitted](const QFont &font) {
        return available >= widestLine(font, fitted);
    });
    if (label && isSingleLineCaption(label->objectName())) {
        label->setWordWrap(false);
        label->setTextFormat(Qt::PlainText);
        QSizePolicy policy = label->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Preferred);
        label->setSizePolicy(policy);
    }
}

void MainWindow::fitTabBarFont(QTabBar *tabBar)
{
    if (!tabBar || tabBar->count() < 1)
        return;
    const QFont base = baseFont(tabBar);
    const int count = tabBar->count();
    auto fits = [tabBar, count](const QFont &font) {
        const QFontMetrics metrics(font);
        for (int i = 0; i < count; ++i) {
            const QRect rect = tabBar->tabRect(i);
            const int available =
                    rect.isValid() ? rect.width() - 8 : tabBar->width() / qMax(1, count) - 8;
            if (available <= 0)
                continue;
            if (metrics.boundingRect(tabBar->tabText(i)).width() >= available)
                return false;
        }
        return true;
    };
    shrinkToFit(tabBar, base, 11, fits);
}

void MainWindow::fitHeaderFont(QHeaderView *header)
{
    if (!header || header->count() < 1)
        return;
    const QFont base = baseFont(header);
    const QAbstractItemModel *model = header->model();
    if (!model)
        return;
    const Qt::Orientation orientation = header->orientation();
    auto fits = [header, model, orientation](const QFont &font) {
        const QFontMetrics metrics(font);
        for (int section = 0; section < header->count(); ++section) {
            const int size = header->sectionSize(section);
            if (header->isSectionHidden(section) || size < 9)
                continue;
            const QString text = model->headerData(section, orientation).toString();
            if (metrics.boundingRect(text).width() >= size - 8)
                return false;
        }
        return true;
    };
    shrinkToFit(header, base, 11, fits);
}

void MainWindow::prepareHeader(QHeaderView *header)
{
    watchWidget(header);
    connect(header, &QHeaderView::sectionResized, this, &MainWindow::onHeaderSectionResized);
    connect(header, &QHeaderView::sectionCountChanged, this,
            &MainWindow::onHeaderSectionCountChanged);
    fitHeaderFont(header);
}

void MainWindow::onHeaderSectionResized(int logicalIndex, int oldSize, int newSize)
{
    Q_UNUSED(logicalIndex)
    Q_UNUSED(oldSize)
    Q_UNUSED(newSize)
    auto *header = qobject_cast<QHeaderView *>(sender());
    if (!header || m_headerFitPending)
        return;
    // Auto-width resizes many sections at once: fit once when they are done.
    m_headerFitPending = true;
    QPointer<QHeaderView> guard(header);
    QTimer::singleShot(0, this, [this, guard] {
        m_headerFitPending = false;
        if (guard)
            fitHeaderFont(guard);
    });
}

void MainWindow::onHeaderSectionCountChanged(int oldCount, int newCount)
{
    Q_UNUSED(oldCount)
    Q_UNUSED(newCount)
    if (auto *header = qobject_cast<QHeaderView *>(sender()))
        fitHeaderFont(header);
}
