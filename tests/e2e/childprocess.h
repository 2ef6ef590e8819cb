#pragma once

// A program of the project in a child process, its stderr collected line by line; killed if it
// is still running when the test ends.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <algorithm>

class ChildProcess
{
public:
    static QString recorderProgram()
    {
        return QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-record");
    }

    ~ChildProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void start(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
            m_process.setReadChannel(QProcess::StandardError);
            while (m_process.canReadLine())
                m_lines << QString::fromLocal8Bit(m_process.readLine()).trimmed();
        });
        m_process.setProcessEnvironment(environment);
        m_process.start(program, arguments);
    }

    // The exit code, -1 when it did not end in time, -2 when it crashed or was killed.
    int waitForExit(int timeoutMs)
    {
        if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; },
                             timeoutMs))
            return -1;
        m_lines << QString::fromLocal8Bit(m_process.readAllStandardError())
                           .split(u'\n', Qt::SkipEmptyParts);
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }

    int count(const QString &part) const
    {
        return int(std::count_if(m_lines.cbegin(), m_lines.cend(),
                                 [&part](const QString &line) { return line.contains(part); }));
    }

    // The first line containing part, or an empty text.
    QString find(const QString &part) const
    {
        const auto it = std::find_if(m_lines.cbegin(), m_lines.cend(),
                                     [&part](const QString &line) { return line.contains(part); });
        return it == m_lines.cend() ? QString() : *it;
    }

    QProcess &process() { return m_process; }
    const QStringList &lines() const { return m_lines; }
    QString log() const { return m_lines.join(u'\n'); }

private:
    QProcess m_process;
    QStringList m_lines;
};

// cellscribe-record as a child process.
class RecorderProcess : public ChildProcess
{
public:
    void start(const QStringList &arguments) { ChildProcess::start(recorderProgram(), arguments); }
};
