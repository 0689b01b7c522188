#pragma once

#include <QString>

namespace Tf {

// Where the cross-platform client keeps its state on this computer, which the
// stand-in shares: the profile folder (TEE_PROFILE_DIRECTORY, an absolute
// path, else a folder below the home directory of the password database, not
// $HOME, as Java's user.home is), its workspace cache and its mementos.
class ClientProfile
{
public:
    static QString directory();
    // TFSVC_CACHE_DIR, else the profile's Cache folder.
    static QString cacheDirectory();
    static QString mementoDirectory();
};

} // namespace Tf
