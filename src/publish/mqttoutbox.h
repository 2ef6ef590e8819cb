#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

// Messages on their way from the publishing thread to the connection's thread. The connection is
// woken once per batch, not once per message: at high frame rates the hand-over stays a lock and
// an append.
class MqttOutbox
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        int qos = 0;
        bool retain = false;
    };

    // What a connection that has stalled (a host name lookup) may have waiting.
    static constexpr qsizetype Capacity = 10000;

    // false when full (the message is dropped). wake: whether the box was empty, so the
    // connection must be told.
    bool put(Message message, bool &wake)
    {
        QMutexLocker lock(&m_mutex);
        if (m_messages.size() >= Capacity)
            return false;
        wake = m_messages.isEmpty();
        m_messages.append(std::move(message));
        return true;
    }

    QList<Message> takeAll()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_messages, {});
    }

private:
    QMutex m_mutex;
    QList<Message> m_messages;
};
