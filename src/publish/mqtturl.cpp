#include "publish/mqtturl.h"

#include <QUrl>

namespace {

MqttUrl fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return MqttUrl();
}

} // namespace

MqttUrl MqttUrl::parse(const QString &text, QString *error)
{
    QString written = text.trimmed();
    if (written.isEmpty())
        return fail(error, QStringLiteral("no broker address given"));
    // A bare host[:port] is taken as plain MQTT.
    if (!written.contains(QLatin1String("://")))
        written.prepend(QLatin1String("mqtt://"));

    const QUrl url(written, QUrl::StrictMode);
    if (!url.isValid())
        return fail(error, QStringLiteral("not a broker URL: %1").arg(url.errorString()));
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        return fail(error,
                    QStringLiteral("unknown scheme \"%1\": use mqtt:// or mqtts://").arg(scheme));
    if (url.host().isEmpty())
        return fail(error, QStringLiteral("no broker host in \"%1\"").arg(text.trimmed()));
    if (url.hasQuery() || url.hasFragment() || (!url.path().isEmpty() && url.path() != u'/'))
        return fail(error, QStringLiteral("a broker URL has no path, query or fragment"));
    if (url.port() == 0)
        return fail(error, QStringLiteral("port 0 is not a broker port"));
    const QString user = url.userName(QUrl::FullyDecoded);
    const QString password = url.password(QUrl::FullyDecoded);
    if (user.isEmpty() && !password.isEmpty())
        return fail(error, QStringLiteral("a password needs a user name"));

    MqttUrl result;
    result.m_tls = scheme == QLatin1String("mqtts");
    result.m_host = url.host(QUrl::FullyDecoded);
    result.m_port = url.port(result.m_tls ? DefaultTlsPort : DefaultPort);
    result.m_user = user;
    result.m_password = password;
    if (error)
        error->clear();
    return result;
}

QString MqttUrl::toDisplayString() const
{
    if (!isValid())
        return QString();
    QUrl url;
    url.setScheme(m_tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"));
    url.setHost(m_host);
    url.setPort(m_port);
    url.setUserName(m_user);
    return url.toString();
}
