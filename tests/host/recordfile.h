#pragma once

// Reading what the "record" mode of the child-process helper wrote: one entry per run,
// holding the working directory and the arguments exactly as the process received them.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

struct RecordedRun
{
    QString workingDirectory;
    QStringList arguments;
};

namespace RecordFile {

// Reads "TAG <length>:<bytes>\n"; false when the data does not have that shape.
inline bool readField(const QByteArray &data, int &pos, const char *tag, QByteArray *value)
{
    const QByteArray prefix = QByteArray(tag) + ' ';
    if (data.mid(pos, prefix.size()) != prefix)
        return false;
    pos += prefix.size();
    const int colon = data.indexOf(':', pos);
    if (colon < 0)
        return false;
    bool ok = false;
    const int length = data.mid(pos, colon - pos).toInt(&ok);
    if (!ok || colon + 1 + length >= data.size() + 1)
        return false;
    *value = data.mid(colon + 1, length);
    pos = colon + 1 + length;
    if (pos >= data.size() || data.at(pos) != '\n')
        return false;
    ++pos;
    return true;
}

// The runs recorded in 'fileName'; 'ok' is false when the file is malformed.
inline QList<RecordedRun> read(const QString &fileName, bool *ok)
{
    QList<RecordedRun> runs;
    *ok = false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = !file.exists(); // no file: nothing ran
        return runs;
    }
    const QByteArray data = file.readAll();
    int pos = 0;
    while (pos < data.size()) {
        RecordedRun run;
        QByteArray value;
        if (!readField(data, pos, "CWD", &value))
            return runs;
        run.workingDirectory = QString::fromUtf8(value);
        const int newline = data.indexOf('\n', pos);
        if (newline < 0 || !data.mid(pos).startsWith("ARGC "))
            return runs;
        const int count = data.mid(pos + 5, newline - pos - 5).toInt();
        pos = newline + 1;
        for (int i = 0; i < count; ++i) {
            if (!readField(data, pos, "ARG", &value))
                return runs;
            run.arguments.append(QString::fromUtf8(value));
        }
        runs.append(run);
    }
    *ok = true;
    return runs;
}

} // namespace RecordFile
