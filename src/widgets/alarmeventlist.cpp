#include "widgets/alarmeventlist.h"

#include "i18n/translations.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

AlarmEventList::AlarmEventList(QWidget *parent)
    : QWidget(parent),
      m_table(new QTableWidget(0, ColumnCount, this)),
      m_acknowledge(new QPushButton(this)),
      m_acknowledgeAll(new QPushButton(this)),
      m_clear(new QPushButton(this))
{
    m_table->setObjectName(QStringLiteral("alarmEventTable"));
    m_acknowledge->setObjectName(QStringLiteral("alarmAcknowledge"));
    m_acknowledgeAll->setObjectName(QStringLiteral("alarmAcknowledgeAll"));
    m_clear->setObjectName(QStringLiteral("alarmEventsClear"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setSectionResizeMode(Message, QHeaderView::Stretch);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_acknowledge);
    buttons->addWidget(m_acknowledgeAll);
    buttons->addStretch(1);
    buttons->addWidget(m_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    connect(m_acknowledge, &QPushButton::clicked, this, &AlarmEventList::acknowledgeSelected);
    connect(m_acknowledgeAll, &QPushButton::clicked, this, &AlarmEventList::acknowledgeAll);
    connect(m_clear, &QPushButton::clicked, this, &AlarmEventList::clear);
    retranslate();
}

void AlarmEventList::setLanguage(int language)
{
    m_language = language;
    retranslate();
}

void AlarmEventList::setCapacity(int capacity)
{
    m_capacity = qMax(1, capacity);
    while (m_entries.size() > m_capacity) {
        m_entries.removeLast();
        m_table->removeRow(m_table->rowCount() - 1);
    }
}

int AlarmEventList::unacknowledgedCount() const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
                             [](const Entry &e) { return !e.acknowledged; }));
}

void AlarmEventList::addEvent(const AlarmEvent &event)
{
    m_entries.prepend({event, false});
    m_table->insertRow(0);
    fillRow(0);
    if (m_entries.size() > m_capacity) {
        m_entries.removeLast();
        m_table->removeRow(m_table->rowCount() - 1);
    }
    emit unacknowledgedCountChanged(unacknowledgedCount());
}

void AlarmEventList::acknowledgeSelected()
{
    QSet<int> rows;
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    for (const QTableWidgetItem *item : selected)
        rows.insert(item->row());
    bool changed = false;
    for (int row : std::as_const(rows)) {
        if (row < 0 || row >= m_entries.size() || m_entries[row].acknowledged)
            continue;
        m_entries[row].acknowledged = true;
        fillRow(row);
        changed = true;
    }
    if (changed)
        emit unacknowledgedCountChanged(unacknowledgedCount());
}

void AlarmEventList::acknowledgeAll()
{
    bool changed = false;
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries[row].acknowledged)
            continue;
        m_entries[row].acknowledged = true;
        fillRow(row);
        changed = true;
    }
    if (changed)
        emit unacknowledgedCountChanged(0);
}

void AlarmEventList::clear()
{
    m_entries.clear();
    m_table->setRowCount(0);
    emit unacknowledgedCountChanged(0);
}

void AlarmEventList::fillRow(int row)
{
    const Entry &entry = m_entries.at(row);
    const AlarmEvent &e = entry.event;
    const QString texts[ColumnCount] = {
            QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                    QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            e.kindText(m_language),
            AlarmEvent::severityText(e.severity, m_language),
            e.rule,
            e.valueText(),
            e.cell > 0 ? QString::number(e.cell) : QString(),
            e.message(m_language),
            entry.acknowledged ? translateOr(m_language, QStringLiteral("已确认"),
                                             QStringLiteral("Acknowledged"))
                               : QString(),
    };
    for (int c = 0; c < ColumnCount; ++c) {
        QTableWidgetItem *item = m_table->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            m_table->setItem(row, c, item);
        }
        item->setText(texts[c]);
        QFont font = item->font();
        font.setBold(!entry.acknowledged);
        item->setFont(font);
        if (c == Kind || c == Severity)
            item->setForeground(e.kind == AlarmEvent::Kind::Cleared ? QColor(0x2e, 0x7d, 0x32)
                                        : e.severity == AlarmRule::Severity::Alarm
                                        ? QColor(0xc6, 0x28, 0x28)
                                        : QColor(0xb2, 0x6a, 0x00));
    }
}

void AlarmEventList::retranslate()
{
    auto tr = [this](const char *chinese, const char *english) {
        return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
    };
    m_table->setHorizontalHeaderLabels({tr("时间", "Time"), tr("事件", "Event"),
                                        tr("级别", "Severity"), tr("规则", "Rule"),
                                        tr("数值", "Value"), tr("电芯", "Cell"),
                                        tr("信息", "Message"), tr("已确认", "Acknowledged")});
    m_acknowledge->setText(tr("确认", "Acknowledge"));
    m_acknowledgeAll->setText(tr("全部确认", "Acknowledge all"));
    m_clear->setText(tr("清除", "Clear"));
    for (int row = 0; row < m_entries.size(); ++row)
        fillRow(row);
}
