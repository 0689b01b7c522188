#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace Tf {

// Which client's command-line grammar the stand-in speaks. The cross-platform
// client (the one on Linux and macOS) takes options only with "-" and takes a
// word starting with "/" for an item; Windows' tf.exe takes "/" and "-",
// short forms of some options, and answers a usage error with 2 instead of 100.
enum class Grammar { CrossPlatform, TfExe };

// The grammar named by TF_STANDIN_GRAMMAR ("tf.exe"; unset, empty or
// "cross-platform": the cross-platform one). Throws Tf::Error for another value.
Grammar grammarFromEnvironment();

// The exit code of an unknown command or option in the grammar.
int usageErrorCode(Grammar grammar);

// One option a command accepts. Names are canonical lower-case words; the
// short forms each grammar takes (-r, -w ... cross-platform; /r, /i, /s ... with
// tf.exe) map onto them.
struct OptionSpec
{
    enum ValueKind { Flag, Value };
    QString name;
    ValueKind kind;
    bool tfExeOnly = false; // an option the cross-platform client does not know at all
};

// A parsed command line: the operands in order and the options by canonical
// name. Option names end at the first ":" and are case-insensitive. The
// cross-platform grammar passes over empty words, as its client does.
class Arguments
{
public:
    // Throws Tf::Error with the grammar's usage error code for an unknown
    // option, an option the command does not take, or a malformed value; in
    // the cross-platform grammar in that client's words, with the usage to follow.
    static Arguments parse(const QStringList &args, const QString &command,
                           const QStringList &allowedOptions, Grammar grammar);

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
