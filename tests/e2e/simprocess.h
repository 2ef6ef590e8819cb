#pragma once

// Runs cellscribe-bms-sim in a child process and collects what it logs.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTest>

struct SimAnswer
{
    QString command;
    QString frame;
    QJsonObject values;
};

class SimProcess
{
public:
    static QString program()
    {
        return QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-bms-sim");
    }

    ~SimProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Starts the simulator with --verbose and waits for the line path it prints first.
    bool start(const QStringList &arguments)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { readLog(); });
        m_process.start(program(), QStringList{QStringLiteral("--verbose")} + arguments);
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return false;
        }
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !m_path.isEmpty();
    }

    QString path() const { return m_path; }
    QProcess &process() { return m_process; }
    const QList<SimAnswer> &answers() const { return m_answers; }
    int requests() const { return m_requests; }
    const QStringList &log() const { return m_log; }

private:
    void readLog()
    {
        m_process.setReadChannel(QProcess::StandardError);
        while (m_process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
            m_log << line;
            if (line.startsWith(QLatin1String("request ")))
                ++m_requests;
            if (!line.startsWith(QLatin1String("answer ")))
                continue;
            // answer <command> <frame> [bad-checksum] <values as JSON>
            const QStringList parts = line.split(u' ');
            const qsizetype json = line.indexOf(u'{');
            if (parts.size() < 4 || json < 0)
                continue;
            m_answers.append({parts.at(1), parts.at(2),
                              QJsonDocument::fromJson(line.mid(json).toUtf8()).object()});
        }
        m_process.setReadChannel(QProcess::StandardOutput);
    }

    QProcess m_process;
    QString m_path;
    QList<SimAnswer> m_answers;
    QStringList m_log;
    int m_requests = 0;
};
