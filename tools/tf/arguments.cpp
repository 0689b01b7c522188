#include "arguments.h"
#include "tferror.h"

#include <QFileInfo>

namespace Tf {

const QList<OptionSpec> &allOptions()
{
    static const QList<OptionSpec> options = {
        {"recursive", OptionSpec::Flag}, {"prompt", OptionSpec::Flag},
        {"noprompt", OptionSpec::Flag},  {"new", OptionSpec::Flag},
        {"delete", OptionSpec::Flag},    {"map", OptionSpec::Flag},
        {"unmap", OptionSpec::Flag},     {"empty", OptionSpec::Flag},
        {"collection", OptionSpec::Value}, {"workspace", OptionSpec::Value},
        {"login", OptionSpec::Value},    {"comment", OptionSpec::Value},
        {"format", OptionSpec::Value},
    };
    return options;
}

static QString canonicalName(const QString &name)
{
    static const QHash<QString, QString> aliases = {
        {"r", "recursive"}, {"i", "noprompt"}, {"c", "comment"},
        {"server", "collection"}, {"s", "collection"}, {"f", "format"},
    };
    const QString lower = name.toLower();
    return aliases.value(lower, lower);
}

static const OptionSpec *findOption(const QString &canonical)
{
    for (const OptionSpec &option : allOptions()) {
        if (option.name == canonical)
            return &option;
    }
    return nullptr;
}

// Absolute Unix paths also start with "/", so an argument is only an option
// when its name has no further slash and is either a known option or names
// nothing on disk. "/tmp/x.cpp" is always a path; "/recursivx" is a typo.
static bool looksLikeOption(const QString &arg)
{
    if (arg.size() < 2)
        return false;
    if (arg.startsWith('-'))
        return true;
    if (!arg.startsWith('/'))
        return false;
    const QString name = arg.mid(1).section(':', 0, 0);
    if (name.isEmpty() || name.contains('/'))
        return false;
    if (findOption(canonicalName(name)))
        return true;
    return !QFileInfo::exists(arg);
}

Arguments Arguments::parse(const QStringList &args, const QString &command,
                           const QStringList &allowedOptions)
{
    Arguments result;
    bool optionsEnded = false;
    for (const QString &arg : args) {
        if (optionsEnded || !looksLikeOption(arg)) {
            result.m_operands.append(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const QString body = arg.mid(arg.startsWith("--") ? 2 : 1);
        const int colon = body.indexOf(':');
        const QString name = canonicalName(colon < 0 ? body : body.left(colon));
        const OptionSpec *option = findOption(name);
        if (!option)
            fail(QString("Unrecognized option: %1").arg(arg), UnrecognizedCommand);
        if (!allowedOptions.contains(name))
            fail(QString("The option %1 is not allowed with the command %2.").arg(arg, command),
                 UnrecognizedCommand);
        if (option->kind == OptionSpec::Flag && colon >= 0)
            fail(QString("The option /%1 takes no value: %2").arg(name, arg), UnrecognizedCommand);
        if (option->kind == OptionSpec::Value && colon < 0)
            fail(QString("The option /%1 requires a value, as in /%1:VALUE").arg(name),
                 UnrecognizedCommand);
        result.m_options.insert(name, colon < 0 ? QString() : body.mid(colon + 1));
    }
    return result;
}

} // namespace Tf
