#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>

// The server and workspaces of the benchmarks' day, made with the stand-in tf (TF_PATH): a
// server with $/Demo/App and src/d1 ... src/d5 of two files each, the user ann (with
// 'password') and her workspace "ws" holding it, the client's profile folder of the sandbox
// with its licence accepted up front. Nothing is started slowly yet.
class DaySandbox
{
public:
    explicit DaySandbox(const QString &password)
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        m_env.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), path("profile"));
        m_env.remove(QStringLiteral("TF_STANDIN_STARTUP_MS"));
        m_env.remove(QStringLiteral("TF_SERVER"));
        m_env.remove(QStringLiteral("TFSVC_CACHE_DIR"));
        const QString collection = QStringLiteral("-collection:") + path("server");
        const QString login = QStringLiteral("-login:ann,") + password;
        m_ok = tf({"eula", "-accept"}, root()) && tf({"seed", collection}, root()) &&
               tf({"useradd", "ann", password, collection}, root());
        for (const QString &name : {QStringLiteral("setup"), QStringLiteral("ws")}) {
            if (name == QLatin1String("ws")) {
                m_ok = m_ok && tf({"add", path("setup/src"), "-recursive", login}, path("setup")) &&
                       tf({"checkin", path("setup"), "-recursive", "-comment:Folders", login},
                          path("setup"));
            }
            m_ok = m_ok && tf({"workspace", "-new", name, collection, login}, root()) &&
                   tf({"workfold", "-map", "$/Demo/App", path(name), collection,
                       "-workspace:" + name, login},
                      root()) &&
                   tf({"get", path(name), "-recursive", login}, root());
            for (int d = 1; name == QLatin1String("setup") && d <= 5; ++d) {
                for (int f = 1; f <= 2; ++f)
                    write(QStringLiteral("setup/src/d%1/f%2.cpp").arg(d).arg(f), "int f;\n");
            }
        }
    }

    bool isValid() const { return m_ok; }
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const
    {
        return m_dir.path() + QLatin1Char('/') + relative;
    }
    void write(const QString &relative, const QByteArray &content) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

protected:
    bool tf(const QStringList &arguments, const QString &workingDirectory) const
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.setWorkingDirectory(workingDirectory);
        process.start(QStringLiteral(TF_PATH), arguments);
        process.waitForFinished(60000);
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        std::fprintf(stderr, "tf %s: %s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return false;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    bool m_ok = false;
};
