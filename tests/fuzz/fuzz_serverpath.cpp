// Fuzzes the reading of the server path out of "tf info" output. The output comes from
// another program, so anything may arrive: the parser must neither crash nor slow down on
// it, and what it returns must be the value of the first well-formed "Server path" line.

#include "fuzzcheck.h"
#include "teamfoundationclient.h"

#include <QString>

#include <cstddef>
#include <cstdint>

using TeamFoundation::Internal::TeamFoundationClient;

namespace {

const QString key = QStringLiteral("Server path");

// The same reading written out by hand, as an independent statement of what the parser
// accepts: the first "Server path" that is followed by optional white space, a colon,
// optional white space, a value without white space and a line feed. White space after
// the colon that already contains a line feed ends the line with an empty value.
QString expectedServerPath(const QString &output)
{
    const int n = output.size();
    for (int at = output.indexOf(key); at >= 0; at = output.indexOf(key, at + 1)) {
        int i = at + key.size();
        while (i < n && output.at(i).isSpace())
            ++i;
        if (i >= n || output.at(i) != QLatin1Char(':'))
            continue;
        ++i;
        while (i < n && output.at(i).isSpace()) {
            if (output.at(i) == QLatin1Char('\n'))
                return QString();
            ++i;
        }
        const int valueStart = i;
        while (i < n && !output.at(i).isSpace())
            ++i;
        if (i < n && output.at(i) == QLatin1Char('\n'))
            return output.mid(valueStart, i - valueStart);
    }
    return QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The client's standard output reaches the plugin decoded from UTF-8; invalid bytes
    // become replacement characters there as well.
    const QString output = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString path = TeamFoundationClient::parseServerPath(output);

    for (const QChar c : path)
        FUZZ_CHECK(!c.isSpace(), "the server path contains white space");
    if (!path.isEmpty()) {
        const int keyAt = output.indexOf(key);
        FUZZ_CHECK(keyAt >= 0, "a server path was found in output without \"Server path\"");
        const int pathAt = output.indexOf(path + QLatin1Char('\n'), keyAt + key.size());
        FUZZ_CHECK(pathAt >= 0, "the server path is not followed by a line feed after the key");
    }
    FUZZ_CHECK(path == expectedServerPath(output), "the server path differs from the expected one");
    return 0;
}
