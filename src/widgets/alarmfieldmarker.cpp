#include "widgets/alarmfieldmarker.h"

#include <QFrame>
#include <QLineEdit>
#include <QWidget>

AlarmFieldMarker::AlarmFieldMarker(QWidget *root) : QObject(root), m_root(root) { }

QString AlarmFieldMarker::markStyle(const QString &objectName)
{
    return QStringLiteral("\n#%1 { border: 2px solid #d32f2f; }").arg(objectName);
}

QWidget *AlarmFieldMarker::frameFor(const QString &field) const
{
    if (!m_root || field.isEmpty())
        return nullptr;
    for (const char *prefix : {"frame_hbox_bms_", "frame_hbox_volt_"}) {
        if (auto *frame = m_root->findChild<QFrame *>(QLatin1String(prefix) + field))
            return frame;
    }
    return m_root->findChild<QLineEdit *>(field);
}

void AlarmFieldMarker::setMarkedFields(const QStringList &fields)
{
    for (auto it = m_marked.begin(); it != m_marked.end();) {
        if (fields.contains(it.key())) {
            ++it;
            continue;
        }
        if (it->widget) {
            it->widget->setStyleSheet(it->styleSheet);
            it->widget->setProperty("alarm", false);
        }
        it = m_marked.erase(it);
    }
    for (const QString &field : fields) {
        if (m_marked.contains(field))
            continue;
        QWidget *widget = frameFor(field);
        if (!widget)
            continue;
        m_marked.insert(field, {widget, widget->styleSheet()});
        widget->setStyleSheet(widget->styleSheet() + markStyle(widget->objectName()));
        widget->setProperty("alarm", true);
    }
}
