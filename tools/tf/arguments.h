#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace Tf {

// One option a command accepts. Names are canonical lower-case words;
// aliases (the short forms the Team Foundation client also takes) map onto them.
struct OptionSpec
{
    enum ValueKind { Flag, Value };
    QString name;
    ValueKind kind;
};

// A parsed command line: the operands in order and the options by canonical
// name. "/" and "-" both introduce options and names are case-insensitive.
class Arguments
{
public:
    // Throws Tf::Error with code UnrecognizedCommand for an unknown option,
    // an option the command does not take, or a malformed value.
    static Arguments parse(const QStringList &args, const QString &command,
                           const QStringList &allowedOptions);

    bool has(const QString &name) const { return m_options.contains(name); }
    QString value(const QString &name) const { return m_options.value(name); }
    const QStringList &operands() const { return m_operands; }
    QStringList optionNames() const { return m_options.keys(); }

private:
    QStringList m_operands;
    QHash<QString, QString> m_options;
};

// Every option any command of either tool knows, with its kind.
const QList<OptionSpec> &allOptions();

} // namespace Tf
