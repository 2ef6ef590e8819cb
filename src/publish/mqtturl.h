#pragma once

#include <QString>

// A broker address: mqtt://[user[:password]@]host[:port], or mqtts:// for TLS. User and password
// are percent-decoded, so a password holding '@' or ':' is written %40 or %3A.
class MqttUrl
{
public:
    static constexpr int DefaultPort = 1883;
    static constexpr int DefaultTlsPort = 8883;

    // An invalid URL (isValid() false) when the text is not one; error says why.
    static MqttUrl parse(const QString &text, QString *error = nullptr);

    bool isValid() const { return !m_host.isEmpty(); }
    bool tls() const { return m_tls; }
    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    // The URL without its password, for settings, messages and logs.
    QString toDisplayString() const;

private:
    bool m_tls = false;
    QString m_host;
    int m_port = 0;
    QString m_user;
    QString m_password;
};
