// Fuzzes the stand-in tf's option parsing in both of its grammars. The input is a command
// line with its arguments separated by NUL bytes, as the kernel hands them to a program;
// the first argument names the command, which decides the options allowed. Whatever the
// arguments, parsing must either fail with the grammar's usage error or give a result in
// which every option is one the command takes in that grammar, in the form the option takes.

#include "arguments.h"
#include "fuzzcheck.h"
#include "tferror.h"

#include <QSet>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

struct Command
{
    const char *name;
    QStringList options;
    QStringList tfExeOptions; // taken only in the tf.exe grammar
};

// A few commands with different option sets, each with the options every command takes.
const QVector<Command> &commands()
{
    static const QStringList global = {"login", "noprompt", "collection"};
    static const QVector<Command> table = {
        {"add", QStringList{"recursive"} + global, {"prompt"}},
        {"checkin", QStringList{"recursive", "comment"} + global, {"prompt"}},
        {"difference", QStringList{"recursive"} + global, {"format", "prompt"}},
        {"status", QStringList{"recursive", "format", "nodetect"} + global, {"prompt"}},
        {"workfold", QStringList{"map", "unmap", "workspace"} + global, {"prompt"}},
        {"workspace", QStringList{"new", "delete", "comment"} + global, {"prompt"}},
        {"rename", global, {"prompt"}},
        {"@", {"continueonerror", "outputseparator"}, {}},
    };
    return table;
}

// The option names each grammar knows: the cross-platform client has no prompt, and short
// forms of its own.
const QSet<QString> &knownNames(Tf::Grammar grammar)
{
    static const QSet<QString> both = {
        "recursive", "noprompt", "new",       "delete",          "map",
        "unmap",     "empty",    "nodetect",  "continueonerror", "collection",
        "workspace", "login",    "comment",   "format",          "outputseparator",
        "exitcode",  "help",     "nosummary", "accept",          "remove"};
    static const QSet<QString> crossPlatform = both + QSet<QString>{"r", "w", "y", "jwt", "h", "?"};
    static const QSet<QString> tfExe =
        both + QSet<QString>{"prompt", "r", "i", "c", "server", "s", "f"};
    return grammar == Tf::Grammar::TfExe ? tfExe : crossPlatform;
}

bool isSubsequence(const QStringList &part, const QStringList &whole)
{
    int i = 0;
    for (const QString &s : whole) {
        if (i < part.size() && part.at(i) == s)
            ++i;
    }
    return i == part.size();
}

bool startsWithDash(const QString &arg)
{
    return arg.size() >= 2 && arg.startsWith('-');
}

void check(const Command &command, const QStringList &args, Tf::Grammar grammar)
{
    const bool tfExe = grammar == Tf::Grammar::TfExe;
    const QStringList allowed = tfExe ? command.options + command.tfExeOptions : command.options;
    // Only the tf.exe grammar ends the options at "--".
    const int endOfOptions = tfExe ? args.indexOf(QStringLiteral("--")) : -1;
    const QStringList beforeEnd = endOfOptions < 0 ? args : QStringList(args.mid(0, endOfOptions));
    const QStringList afterEnd =
        endOfOptions < 0 ? QStringList() : QStringList(args.mid(endOfOptions + 1));

    Tf::Arguments parsed;
    try {
        parsed = Tf::Arguments::parse(args, command.name, allowed, grammar);
    } catch (const Tf::Error &error) {
        FUZZ_CHECK(error.code == Tf::usageErrorCode(grammar),
                   "a usage error has another exit code");
        FUZZ_CHECK(!error.message.isEmpty(), "a usage error has no message");
        // Only an option can be wrong, and options end at "--"; "/" starts none in the
        // cross-platform grammar.
        bool optionLike = false;
        for (const QString &arg : beforeEnd)
            optionLike = optionLike || startsWithDash(arg) ||
                         (tfExe && arg.size() >= 2 && arg.startsWith('/'));
        FUZZ_CHECK(optionLike, "parsing failed without an option before \"--\"");
        return;
    }

    for (const QString &name : parsed.optionNames()) {
        FUZZ_CHECK(allowed.contains(name), "an option the command does not take was accepted");
        const Tf::OptionSpec *option = nullptr;
        for (const Tf::OptionSpec &s : Tf::allOptions()) {
            if (s.name == name)
                option = &s;
        }
        FUZZ_CHECK(option, "an unknown option was accepted");
        FUZZ_CHECK(tfExe || !option->tfExeOnly,
                   "a tf.exe option was accepted in the cross-platform grammar");
        const QString value = parsed.value(name);
        if (option->kind == Tf::OptionSpec::Flag) {
            FUZZ_CHECK(value.isEmpty(), "a flag was given a value");
        } else {
            bool given = false;
            for (const QString &arg : beforeEnd)
                given = given || arg.endsWith(QLatin1Char(':') + value);
            FUZZ_CHECK(given, "an option's value is not the text after a colon of an argument");
        }
    }

    // Arguments after "--" are operands whatever they look like, in order; before it,
    // anything starting with "-" is an option and must have been recognized as one.
    const QStringList &operands = parsed.operands();
    FUZZ_CHECK(isSubsequence(operands, args), "the operands are not the arguments in order");
    FUZZ_CHECK(operands.size() >= afterEnd.size() &&
                   operands.mid(operands.size() - afterEnd.size()) == afterEnd,
               "the arguments after \"--\" are not all operands");
    QStringList plainBeforeEnd;
    for (const QString &arg : beforeEnd) {
        if (startsWithDash(arg)) {
            const QString body = arg.mid(tfExe && arg.startsWith(QLatin1String("--")) ? 2 : 1);
            FUZZ_CHECK(knownNames(grammar).contains(body.section(':', 0, 0).toLower()),
                       "an argument starting with \"-\" that names no option was accepted");
        } else if (tfExe || !arg.isEmpty()) {
            plainBeforeEnd.append(arg);
        }
    }
    FUZZ_CHECK(isSubsequence(operands.mid(0, operands.size() - afterEnd.size()), plainBeforeEnd),
               "an argument starting with \"-\" before \"--\" was taken as an operand");
    // The cross-platform client takes every other word, "/" ones included, as an item, and
    // passes over empty words.
    if (!tfExe)
        FUZZ_CHECK(operands == plainBeforeEnd,
                   "a word not starting with \"-\" was not taken as an item");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QStringList args;
    for (const QByteArray &part : bytes.split('\0'))
        args.append(QString::fromUtf8(part));
    const QString commandName = args.takeFirst();

    // An unknown command name still exercises the parser, with one of the option sets.
    const Command *command = nullptr;
    for (const Command &c : commands()) {
        if (commandName == QLatin1String(c.name))
            command = &c;
    }
    if (!command)
        command = &commands().at(int(uint(qHash(commandName)) % uint(commands().size())));

    check(*command, args, Tf::Grammar::CrossPlatform);
    check(*command, args, Tf::Grammar::TfExe);
    return 0;
}
