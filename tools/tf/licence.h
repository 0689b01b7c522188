#pragma once

#include <QString>
#include <QStringList>

namespace Tf {

// The licence of the cross-platform client, which must be accepted once per
// profile folder before any command that contacts a server. Its acceptance is
// kept where and as the client keeps it (a memento in the profile folder), so
// that a folder prepared for one serves the other; the JVM property the client
// honours in TF_ADDITIONAL_JAVA_ARGS accepts it for one run.
class Licence
{
public:
    static QString mementoFile();
    static bool isAccepted();
    // Records the acceptance under the memento's lock, keeping what else the
    // memento holds (the acceptances of other versions).
    static void accept();
    // The stand-in's own licence text, one line per element.
    static QStringList text();
};

} // namespace Tf
