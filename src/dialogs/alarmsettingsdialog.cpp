#include "dialogs/alarmsettingsdialog.h"

#include "alarms/alarmevent.h"
#include "alarms/alarmrulefile.h"
#include "dialogs/dialogslog.h"
#include "i18n/translations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kSeconds = QStringLiteral("s");
const QString kFrames = QStringLiteral("frames");

// The key at the start of a value choice ("data_maxv  最大电压" -> "data_maxv").
QString keyOf(const QString &choice)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return choice.trimmed().section(space, 0, 0);
}

QString numberText(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

// A number as typed (a decimal comma is taken too); a text that is none stays a text, so that
// the rule check names the field.
QJsonValue numberValue(const QString &typed)
{
    QString text = typed.trimmed();
    if (text.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (ok)
        return v;
    return typed.trimmed();
}

} // namespace

AlarmSettingsDialog::AlarmSettingsDialog(QWidget *parent)
    : QDialog(parent),
      m_table(new QTableWidget(0, ColumnCount, this)),
      m_problemLabel(new QLabel(this)),
      m_alarmColumn(new QCheckBox(this)),
      m_add(new QPushButton(this)),
      m_remove(new QPushButton(this)),
      m_buttons(new QDialogButtonBox(
              QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("alarmSettingsDialog"));
    m_table->setObjectName(QStringLiteral("alarmRuleTable"));
    m_problemLabel->setObjectName(QStringLiteral("alarmProblems"));
    m_alarmColumn->setObjectName(QStringLiteral("alarmColumnShown"));
    m_add->setObjectName(QStringLiteral("alarmRuleAdd"));
    m_remove->setObjectName(QStringLiteral("alarmRuleRemove"));
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(Text, QHeaderView::Stretch);
    m_problemLabel->setWordWrap(true);
    m_problemLabel->setStyleSheet(QStringLiteral("color: #c62828;"));

    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(m_add);
    rowButtons->addWidget(m_remove);
    rowButtons->addStretch(1);
    rowButtons->addWidget(m_alarmColumn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(rowButtons);
    layout->addWidget(m_problemLabel);
    layout->addWidget(m_buttons);

    connect(m_add, &QPushButton::clicked, this, [this] {
        AlarmRule rule;
        rule.value = AlarmRule::everyCellValue();
        addRule(rule);
        m_table->setCurrentCell(rowCount() - 1, Name);
        if (QWidget *name = m_table->cellWidget(rowCount() - 1, Name))
            name->setFocus();
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        int row = m_table->currentRow();
        // A focused editor knows its row better than the selection does.
        for (int r = 0; r < rowCount(); ++r) {
            for (int c = 0; c < ColumnCount; ++c) {
                QWidget *w = m_table->cellWidget(r, c);
                if (w && w->isAncestorOf(focusWidget()))
                    row = r;
                if (w && w == focusWidget())
                    row = r;
            }
        }
        if (row >= 0)
            removeRow(row);
    });
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &AlarmSettingsDialog::apply);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply())
            accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(980, 420);
    retranslate();
    validate();
}

QString AlarmSettingsDialog::tr2(const char *chinese, const char *english) const
{
    return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

void AlarmSettingsDialog::setLanguage(int language)
{
    m_language = language;
    retranslate();
    validate();
}

void AlarmSettingsDialog::setRules(const QList<AlarmRule> &defaults,
                                   const QList<AlarmRule> &userRules,
                                   const AlarmCatalogue &catalogue)
{
    m_defaults = defaults;
    m_catalogue = catalogue;
    m_table->setRowCount(0);
    const QList<AlarmRule> merged = AlarmRuleFile::merge(defaults, userRules);
    for (const AlarmRule &rule : merged)
        addRule(rule);
    validate();
}

void AlarmSettingsDialog::setAlarmColumnShown(bool shown)
{
    m_alarmColumn->setChecked(shown);
}

void AlarmSettingsDialog::setLoadProblems(const AlarmProblems &problems)
{
    m_loadProblems = problems;
    validate();
}

bool AlarmSettingsDialog::alarmColumnShown() const
{
    return m_alarmColumn->isChecked();
}

int AlarmSettingsDialog::rowCount() const
{
    return m_table->rowCount();
}

void AlarmSettingsDialog::fillValueChoices(QComboBox *combo) const
{
    const QString typed = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItem(AlarmRule::everyCellValue() + QStringLiteral("  ")
                   + tr2("每个电芯", "Every cell"));
    const QStringList keys = m_catalogue.keys();
    for (const QString &key : keys) {
        const AlarmCatalogue::Entry entry = m_catalogue.entry(key);
        if (!entry.numeric)
            continue;
        const QString label = translateWithUnit(m_language, entry.label);
        combo->addItem(label == key ? key : key + QStringLiteral("  ") + label);
    }
    // Keep what was chosen or typed, in the new words.
    const QString key = keyOf(typed);
    int index = -1;
    for (int i = 0; i < combo->count(); ++i) {
        if (keyOf(combo->itemText(i)) == key)
            index = i;
    }
    if (index >= 0)
        combo->setCurrentIndex(index);
    else
        combo->setEditText(typed);
}

void AlarmSettingsDialog::addRule(const AlarmRule &rule)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);

    auto *enabled = new QCheckBox(m_table);
    enabled->setChecked(rule.enabled);
    connect(enabled, &QCheckBox::toggled, this, &AlarmSettingsDialog::validate);
    m_table->setCellWidget(row, Enabled, enabled);

    auto lineEdit = [this, row](Column column, const QString &text) {
        auto *edit = new QLineEdit(text, m_table);
        edit->setFrame(false);
        connect(edit, &QLineEdit::textChanged, this, &AlarmSettingsDialog::validate);
        m_table->setCellWidget(row, column, edit);
    };
    lineEdit(Name, rule.name);

    auto *value = new QComboBox(m_table);
    value->setEditable(true);
    value->setInsertPolicy(QComboBox::NoInsert);
    value->setEditText(rule.value);
    fillValueChoices(value);
    value->setEditText(rule.value);
    for (int i = 0; i < value->count(); ++i) {
        if (keyOf(value->itemText(i)) == rule.value)
            value->setCurrentIndex(i);
    }
    connect(value, &QComboBox::currentTextChanged, this, &AlarmSettingsDialog::validate);
    m_table->setCellWidget(row, Value, value);

    lineEdit(High, rule.hasHigh ? numberText(rule.high) : QString());
    lineEdit(Low, rule.hasLow ? numberText(rule.low) : QString());
    lineEdit(Hysteresis, rule.hysteresis != 0.0 ? numberText(rule.hysteresis) : QString());
    lineEdit(Delay,
             rule.delayFrames > 0               ? QString::number(rule.delayFrames)
                     : rule.delaySeconds != 0.0 ? numberText(rule.delaySeconds)
                                                : QString());

    auto *unit = new QComboBox(m_table);
    unit->addItem(QString(), kSeconds);
    unit->addItem(QString(), kFrames);
    unit->setCurrentIndex(rule.delayFrames > 0 ? 1 : 0);
    connect(unit, &QComboBox::currentIndexChanged, this, &AlarmSettingsDialog::validate);
    m_table->setCellWidget(row, DelayUnit, unit);

    auto *severity = new QComboBox(m_table);
    severity->addItem(QString(), AlarmRule::severityName(AlarmRule::Severity::Warning));
    severity->addItem(QString(), AlarmRule::severityName(AlarmRule::Severity::Alarm));
    severity->setCurrentIndex(rule.severity == AlarmRule::Severity::Alarm ? 1 : 0);
    connect(severity, &QComboBox::currentIndexChanged, this, &AlarmSettingsDialog::validate);
    m_table->setCellWidget(row, Severity, severity);

    lineEdit(Text, rule.text);
    retranslate();
    validate();
}

void AlarmSettingsDialog::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_table->removeRow(row);
    validate();
}

QJsonObject AlarmSettingsDialog::rowJson(int row) const
{
    auto text = [this, row](Column column) {
        auto *edit = qobject_cast<QLineEdit *>(m_table->cellWidget(row, column));
        return edit ? edit->text() : QString();
    };
    auto combo = [this, row](Column column) {
        return qobject_cast<QComboBox *>(m_table->cellWidget(row, column));
    };
    QJsonObject o;
    o.insert(QStringLiteral("name"), text(Name).trimmed());
    o.insert(QStringLiteral("value"), keyOf(combo(Value)->currentText()));
    auto number = [&o](const QString &member, const QString &typed) {
        const QJsonValue v = numberValue(typed);
        if (!v.isUndefined())
            o.insert(member, v);
    };
    number(QStringLiteral("high"), text(High));
    number(QStringLiteral("low"), text(Low));
    number(QStringLiteral("hysteresis"), text(Hysteresis));
    const bool frames = combo(DelayUnit)->currentData().toString() == kFrames;
    number(frames ? QStringLiteral("delayFrames") : QStringLiteral("delaySeconds"), text(Delay));
    o.insert(QStringLiteral("severity"), combo(Severity)->currentData().toString());
    if (!text(Text).trimmed().isEmpty())
        o.insert(QStringLiteral("text"), text(Text).trimmed());
    auto *enabled = qobject_cast<QCheckBox *>(m_table->cellWidget(row, Enabled));
    o.insert(QStringLiteral("enabled"), enabled->isChecked());
    return o;
}

void AlarmSettingsDialog::markRow(int row, const QString &color, const QString &tip)
{
    for (int c = 0; c < ColumnCount; ++c) {
        QWidget *w = m_table->cellWidget(row, c);
        if (!w)
            continue;
        w->setToolTip(tip);
        if (c == Name || c == Value)
            w->setStyleSheet(color.isEmpty() ? QString()
                                             : QStringLiteral("background-color: %1;").arg(color));
    }
}

void AlarmSettingsDialog::validate()
{
    QJsonArray rows;
    for (int row = 0; row < rowCount(); ++row)
        rows.append(rowJson(row));
    const AlarmRuleList checked = AlarmRuleFile::fromJson(rows);
    m_edited = checked.rules;
    m_problems = checked.problems;
    // Rules this protocol cannot evaluate are kept (they may be meant for another pack).
    m_warnings = m_catalogue.check(m_edited).problems;
    for (AlarmProblem &w : m_warnings) {
        // Positions in the edited list -> rows.
        for (int row = 0; row < rowCount(); ++row) {
            if (rows.at(row).toObject().value(QStringLiteral("name")).toString() == w.rule)
                w.index = row;
        }
    }

    for (int row = 0; row < rowCount(); ++row) {
        const QString name = rows.at(row).toObject().value(QStringLiteral("name")).toString();
        const bool isDefault = std::any_of(m_defaults.cbegin(), m_defaults.cend(),
                                           [&name](const AlarmRule &d) { return d.name == name; });
        markRow(row, QString(), isDefault ? tr2("协议默认", "Protocol default") : QString());
    }
    QStringList lines;
    for (const AlarmProblem &w : std::as_const(m_warnings)) {
        markRow(w.index, QStringLiteral("#fff3c4"), w.text(m_language));
        lines.append(w.text(m_language));
    }
    for (const AlarmProblem &p : std::as_const(m_problems)) {
        markRow(p.index, QStringLiteral("#ffd6d6"), p.text(m_language));
        lines.prepend(p.text(m_language));
        if (p.kind != AlarmProblem::Kind::DuplicateName)
            continue;
        // Either row may be the one just typed: mark every row of that name.
        for (int row = 0; row < rowCount(); ++row) {
            if (rows.at(row).toObject().value(QStringLiteral("name")).toString() == p.rule)
                markRow(row, QStringLiteral("#ffd6d6"), p.text(m_language));
        }
    }
    for (const AlarmProblem &p : std::as_const(m_loadProblems)) {
        const QString file = QFileInfo(p.source).fileName();
        lines.append(file.isEmpty() ? p.text(m_language)
                                    : QStringLiteral("%1: %2").arg(file, p.text(m_language)));
    }
    if (!m_writeError.isEmpty())
        lines.prepend(m_writeError);
    m_problemLabel->setText(lines.join(QLatin1Char('\n')));
    m_problemLabel->setVisible(!lines.isEmpty());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(canApply());
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(canApply());
}

QString AlarmSettingsDialog::problemText() const
{
    return m_problemLabel->text();
}

bool AlarmSettingsDialog::apply()
{
    validate();
    if (!canApply())
        return false;
    const QList<AlarmRule> userRules = AlarmRuleFile::overrides(m_defaults, m_edited);
    m_writeError.clear();
    if (!m_userFilePath.isEmpty()) {
        QString error;
        if (!AlarmRuleFile::writeFile(m_userFilePath, userRules, &error)) {
            m_writeError = tr2("无法保存报警规则: %1", "Cannot save alarm rules: %1").arg(error);
            qCWarning(lcDialogs) << "Cannot save alarm rules:" << m_userFilePath << error;
            validate();
            return false;
        }
    }
    m_loadProblems.clear();
    validate();
    emit applied(userRules, alarmColumnShown());
    return true;
}

void AlarmSettingsDialog::retranslate()
{
    setWindowTitle(tr2("报警设置", "Alarm Settings"));
    m_table->setHorizontalHeaderLabels(
            {tr2("启用", "Enabled"), tr2("规则名称", "Rule Name"), tr2("数值", "Value"),
             tr2("上限", "High Limit"), tr2("下限", "Low Limit"), tr2("回差", "Hysteresis"),
             tr2("延时", "Delay"), QString(), tr2("级别", "Severity"), tr2("说明", "Text")});
    m_add->setText(tr2("添加", "Add"));
    m_remove->setText(tr2("删除", "Remove"));
    m_alarmColumn->setText(tr2("在表格中显示报警列", "Show the alarm column in the table"));
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr2("确定", "OK"));
    m_buttons->button(QDialogButtonBox::Apply)->setText(tr2("应用", "Apply"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(tr2("取消", "Cancel"));
    for (int row = 0; row < rowCount(); ++row) {
        if (auto *unit = qobject_cast<QComboBox *>(m_table->cellWidget(row, DelayUnit))) {
            unit->setItemText(0, tr2("秒", "s"));
            unit->setItemText(1, tr2("帧", "frames"));
        }
        if (auto *severity = qobject_cast<QComboBox *>(m_table->cellWidget(row, Severity))) {
            severity->setItemText(
                    0, AlarmEvent::severityText(AlarmRule::Severity::Warning, m_language));
            severity->setItemText(1,
                                  AlarmEvent::severityText(AlarmRule::Severity::Alarm, m_language));
        }
        if (auto *value = qobject_cast<QComboBox *>(m_table->cellWidget(row, Value)))
            fillValueChoices(value);
    }
}
