#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWidget;

// Turns the frame of each value field with an active alarm red (the row frame
// frame_hbox_*_data_<key> around it, else the field itself) and restores it when the alarm
// clears. Only the frame changes: lamps and texts keep their meaning.
class AlarmFieldMarker : public QObject
{
    Q_OBJECT

public:
    explicit AlarmFieldMarker(QWidget *root);

    // The fields (data_<key> object names) to mark; all others are unmarked.
    void setMarkedFields(const QStringList &fields);
    QStringList markedFields() const { return m_marked.keys(); }

    // The widget that is marked for a field, or null when the window has no such field.
    QWidget *frameFor(const QString &field) const;

    static QString markStyle(const QString &objectName);

private:
    struct Marked
    {
        QPointer<QWidget> widget;
        QString styleSheet; // as it was before marking
    };
    QPointer<QWidget> m_root;
    QHash<QString, Marked> m_marked;
};
