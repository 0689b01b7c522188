#pragma once

// A tfserver process of a test's own: started on a free port of its choosing
// on a store, its URL read from its first line, terminated at the end.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

class TfServerProcess
{
public:
    TfServerProcess() = default;
    TfServerProcess(const TfServerProcess &) = delete;
    TfServerProcess &operator=(const TfServerProcess &) = delete;
    ~TfServerProcess() { stop(); }

    // Starts it and waits for the URL; false (with the server's words in
    // errorText()) when it did not come.
    bool start(const QString &store, const QStringList &options = {})
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(TFSERVER_EXECUTABLE), options + QStringList{store});
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        m_url = QString::fromUtf8(m_process.readLine()).trimmed();
        return m_url.contains(QStringLiteral("/tfs/"));
    }

    // Ends it the way a user or a service manager would: SIGTERM.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        return m_process.waitForFinished(30000);
    }

    QString url() const { return m_url; }
    QString host() const
    {
        return m_url.section(QLatin1Char('/'), 2, 2).section(QLatin1Char(':'), 0, 0);
    }
    int port() const
    {
        return m_url.section(QLatin1Char('/'), 2, 2).section(QLatin1Char(':'), 1).toInt();
    }
    QString path() const { return QLatin1Char('/') + m_url.section(QLatin1Char('/'), 3); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString errorText() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_url;
};
