#pragma once

#include "i18n/translations.h"

#include <QObject>
#include <QPointer>
#include <QString>

// Keeps the port status text of the main window's bottom bar ("statu_opencom") and renders it
// in the current language. Works on any object tree so that it needs no widgets module: the
// label is found by object name and its "text" property is set.
class StatusBarManager : public QObject
{
    Q_OBJECT

public:
    enum State : int { NotConnected = 0, Open = 1, Closed = 2, Reconnecting = 3 };

    explicit StatusBarManager(QObject *widgetTree, QObject *parent = nullptr);

    void setComConnected(const QString &portName, int baudRate, int dataBits, const QString &parity,
                         int stopBits, const QString &flowControl);
    void setComDisconnected(const QString &portName);
    // The port in use was lost and is being looked for again.
    void setComReconnecting(const QString &portName);
    void resetStatus();
    void refreshStatus();
    void setTranslator(const TextTranslator &translator);

    int state() const { return m_state; }
    // The text the label shows for the current state and language.
    QString statusText() const;

private:
    void render();

    QPointer<QObject> m_widgetTree; // not owned; may die before us
    int m_state = NotConnected;
    QString m_portName;
    int m_baudRate = 0;
    int m_dataBits = 0;
    QString m_parity;
    int m_stopBits = 0;
    QString m_flowControl;
    TextTranslator m_translator;
};
