#pragma once

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmproblem.h"
#include "alarms/alarmrule.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTableWidget;

// "报警设置…": the user's alarm rules in a table, over the protocol's defaults. Every change is
// checked at once; a row with a fault is marked and the reason shown, and nothing can be applied
// while one is. Applying writes the user's rules file and announces the rules, which take effect
// without a restart.
class AlarmSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column {
        Enabled,
        Name,
        Value,
        High,
        Low,
        Hysteresis,
        Delay,
        DelayUnit,
        Severity,
        Text,
        ColumnCount
    };

    explicit AlarmSettingsDialog(QWidget *parent = nullptr);

    void setLanguage(int language);
    // The rows: the defaults with the user's rules over them. The catalogue offers the values
    // to pick and tells which rules this protocol cannot evaluate.
    void setRules(const QList<AlarmRule> &defaults, const QList<AlarmRule> &userRules,
                  const AlarmCatalogue &catalogue);
    // Where apply() writes the user's rules; none: nothing is written.
    void setUserFilePath(const QString &path) { m_userFilePath = path; }
    void setAlarmColumnShown(bool shown);
    bool alarmColumnShown() const;
    // What was refused when the files were read (those rules are not among the rows); shown
    // until the rules are applied.
    void setLoadProblems(const AlarmProblems &problems);

    int rowCount() const;
    void addRule(const AlarmRule &rule);
    void removeRow(int row);
    QTableWidget *table() const { return m_table; }

    // The rules of the rows, as far as they are valid.
    QList<AlarmRule> editedRules() const { return m_edited; }
    // Faults that stop applying, and rules this protocol cannot evaluate (kept, but inactive).
    AlarmProblems problems() const { return m_problems; }
    AlarmProblems warnings() const { return m_warnings; }
    bool canApply() const { return m_problems.isEmpty(); }
    QString problemText() const;

    // Writes the user's rules file and emits applied(); false, with the reason shown, when there
    // are faults or the file cannot be written.
    bool apply();

signals:
    // The user's rules (what the file now holds) and whether the table shows the alarm column.
    void applied(const QList<AlarmRule> &userRules, bool alarmColumnShown);

private:
    QJsonObject rowJson(int row) const;
    void fillValueChoices(QComboBox *combo) const;
    void validate();
    void retranslate();
    QString tr2(const char *chinese, const char *english) const;
    void markRow(int row, const QString &color, const QString &tip);

    int m_language = 0;
    QList<AlarmRule> m_defaults;
    AlarmCatalogue m_catalogue;
    QString m_userFilePath;
    QList<AlarmRule> m_edited;
    AlarmProblems m_problems;
    AlarmProblems m_warnings;
    QString m_writeError;
    AlarmProblems m_loadProblems;

    QTableWidget *m_table = nullptr;
    QLabel *m_problemLabel = nullptr;
    QCheckBox *m_alarmColumn = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};
