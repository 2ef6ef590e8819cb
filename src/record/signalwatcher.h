#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM (Ctrl+C, Ctrl+Break and closing the console on Windows) into a
// signal delivered in the event loop, where a run can end cleanly.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    void install();
    void uninstall();
    QSocketNotifier *m_notifier = nullptr;
};
