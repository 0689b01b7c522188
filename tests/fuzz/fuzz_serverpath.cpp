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
// accepts: the first "Server path" that is followed by optional white space and a colon
// gives the rest of its line, trimmed, provided a line feed ends that line.
QString expectedServerPath(const QString &output)
{
    const int n = output.size();
    for (int at = output.indexOf(key); at >= 0; at = output.indexOf(key, at + 1)) {
        int i = at + key.size();
        while (i < n && output.at(i).isSpace())
            ++i;
        if (i >= n || output.at(i) != QLatin1Char(':'))
            continue;
        const int lineEnd = output.indexOf(QLatin1Char('\n'), i + 1);
        if (lineEnd < 0)
            return QString();
        return output.mid(i + 1, lineEnd - i - 1).trimmed();
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

    FUZZ_CHECK(path == path.trimmed(), "the server path starts or ends with white space");
    FUZZ_CHECK(!path.contains(QLatin1Char('\n')), "the server path spans lines");
    if (!path.isEmpty()) {
        const int keyAt = output.indexOf(key);
        FUZZ_CHECK(keyAt >= 0, "a server path was found in output without \"Server path\"");
        FUZZ_CHECK(output.indexOf(path, keyAt + key.size()) >= 0,
                   "the server path does not follow the key");
    }
    FUZZ_CHECK(path == expectedServerPath(output), "the server path differs from the expected one");
    return 0;
}
