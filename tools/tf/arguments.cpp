#include "arguments.h"
#include "tferror.h"

#include <QFileInfo>

namespace Tf {

const char grammarEnvironmentVariable[] = "TF_STANDIN_GRAMMAR";

Grammar grammarFromEnvironment()
{
    const QString value = qEnvironmentVariable(grammarEnvironmentVariable).trimmed().toLower();
    if (value.isEmpty() || value == "cross-platform")
        return Grammar::CrossPlatform;
    if (value == "tf.exe")
        return Grammar::TfExe;
    fail(QString("%1 must be tf.exe (the Windows client's grammar), or cross-platform or empty "
                 "(the cross-platform client's); it is \"%2\".")
             .arg(grammarEnvironmentVariable, qEnvironmentVariable(grammarEnvironmentVariable)));
}

int usageErrorCode(Grammar grammar)
{
    return grammar == Grammar::TfExe ? UnrecognizedCommand : Failure;
}

const QList<OptionSpec> &allOptions()
{
    static const QList<OptionSpec> options = {
        {"recursive", OptionSpec::Flag},   {"prompt", OptionSpec::Flag, true},
        {"noprompt", OptionSpec::Flag},    {"new", OptionSpec::Flag},
        {"delete", OptionSpec::Flag},      {"map", OptionSpec::Flag},
        {"unmap", OptionSpec::Flag},       {"empty", OptionSpec::Flag},
        {"nodetect", OptionSpec::Flag},    {"continueonerror", OptionSpec::Flag},
        {"collection", OptionSpec::Value}, {"workspace", OptionSpec::Value},
        {"login", OptionSpec::Value},      {"comment", OptionSpec::Value},
        {"format", OptionSpec::Value},     {"outputseparator", OptionSpec::Value},
        {"exitcode", OptionSpec::Flag},    {"help", OptionSpec::Flag},
        {"nosummary", OptionSpec::Flag},   {"accept", OptionSpec::Flag},
        {"remove", OptionSpec::Value},
        {"version", OptionSpec::Value},    {"stopafter", OptionSpec::Value},
        {"itemmode", OptionSpec::Flag},    {"slotmode", OptionSpec::Flag},
        {"user", OptionSpec::Value},       {"output", OptionSpec::Value, true},
        {"console", OptionSpec::Flag, true},
    };
    return options;
}

static QString canonicalName(const QString &name, Grammar grammar)
{
    static const QHash<QString, QString> tfExeAliases = {
        {"r", "recursive"},       {"i", "noprompt"},   {"c", "comment"},
        {"server", "collection"}, {"s", "collection"}, {"f", "format"},
    };
    static const QHash<QString, QString> crossPlatformAliases = {
        {"r", "recursive"}, {"w", "workspace"}, {"y", "login"},
        {"jwt", "login"},   {"h", "help"},      {"?", "help"},
    };
    const QString lower = name.toLower();
    return (grammar == Grammar::TfExe ? tfExeAliases : crossPlatformAliases).value(lower, lower);
}

static const OptionSpec *findOption(const QString &canonical, Grammar grammar)
{
    for (const OptionSpec &option : allOptions()) {
        if (option.name == canonical)
            return option.tfExeOnly && grammar != Grammar::TfExe ? nullptr : &option;
    }
    return nullptr;
}

// In the tf.exe grammar absolute Unix paths also start with "/", so such an
// argument is only an option when its name has no further slash and is either
// a known option or names nothing on disk: "/tmp/x.cpp" is always a path,
// "/recursivx" a typo. The cross-platform client never reads "/" as an option.
static bool looksLikeOption(const QString &arg, Grammar grammar)
{
    if (arg.size() < 2)
        return false;
    if (arg.startsWith('-'))
        return true;
    if (grammar != Grammar::TfExe || !arg.startsWith('/'))
        return false;
    const QString name = arg.mid(1).section(':', 0, 0);
    if (name.isEmpty() || name.contains('/'))
        return false;
    if (findOption(canonicalName(name, grammar), grammar))
        return true;
    return !QFileInfo::exists(arg);
}

// The cross-platform client's refusals, in its words. An unknown option is
// named without its value, which may be a password; the client itself repeats
// the whole word.
static void checkCrossPlatformOption(const QString &arg, const QString &command,
                                     const QStringList &allowedOptions, const OptionSpec **option,
                                     QString *name, QString *value)
{
    const QString body = arg.mid(1);
    const int colon = body.indexOf(':');
    if (colon >= 0 && colon == body.size() - 1)
        failArgument(QString("An option value for '%1' must be supplied.").arg(body.left(colon)), arg);
    const QString given = colon < 0 ? body : body.left(colon);
    *name = canonicalName(given, Grammar::CrossPlatform);
    *option = findOption(*name, Grammar::CrossPlatform);
    if (!*option)
        failArgument(
            QString("The option '%1' is unknown.").arg(arg.left(colon < 0 ? -1 : colon + 1)), arg);
    const QString alias = given.toLower();
    if (!allowedOptions.contains(*name))
        failArgument(QString("Command '%1' does not support option '%2'.").arg(command, alias));
    if ((*option)->kind == OptionSpec::Flag && colon >= 0)
        failArgument(QString("Option '%1' does not take any values.").arg(alias), arg);
    if ((*option)->kind == OptionSpec::Value && colon < 0)
        failArgument(QString("Option '%1' requires a single value.").arg(alias), arg);
    *value = colon < 0 ? QString() : body.mid(colon + 1);
}

Arguments Arguments::parse(const QStringList &args, const QString &command,
                           const QStringList &allowedOptions, Grammar grammar)
{
    const int usageError = usageErrorCode(grammar);
    Arguments result;
    bool optionsEnded = false;
    for (const QString &arg : args) {
        // The cross-platform client passes over empty words wherever they are.
        if (grammar == Grammar::CrossPlatform && arg.isEmpty())
            continue;
        if (optionsEnded || !looksLikeOption(arg, grammar)) {
            result.m_operands.append(arg);
            continue;
        }
        if (grammar == Grammar::CrossPlatform) {
            const OptionSpec *option = nullptr;
            QString name;
            QString value;
            checkCrossPlatformOption(arg, command, allowedOptions, &option, &name, &value);
            result.m_options.insert(name, value);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const int prefix = arg.startsWith("--") ? 2 : 1;
        const QString body = arg.mid(prefix);
        const int colon = body.indexOf(':');
        const QString given = colon < 0 ? body : body.left(colon);
        // Messages name the option without its value, which may be a password.
        const QString shown = arg.left(prefix) + given;
        const QString name = canonicalName(given, grammar);
        const OptionSpec *option = findOption(name, grammar);
        if (!option)
            fail(QString("Unrecognized option: %1").arg(shown), usageError);
        if (!allowedOptions.contains(name))
            fail(QString("The option %1 is not allowed with the command %2.").arg(shown, command),
                 usageError);
        if (option->kind == OptionSpec::Flag && colon >= 0)
            fail(QString("The option %1 takes no value.").arg(shown), usageError);
        if (option->kind == OptionSpec::Value && colon < 0)
            fail(QString("The option %1 requires a value, as in %1:VALUE").arg(shown), usageError);
        result.m_options.insert(name, colon < 0 ? QString() : body.mid(colon + 1));
    }
    return result;
}

} // namespace Tf
