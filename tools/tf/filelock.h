#pragma once

#include <QString>

namespace Tf {

// An advisory lock on a lock file kept beside what it guards, taken as the
// cross-platform client takes its own (a POSIX record lock on the whole file,
// what Java's FileChannel.lock() asks the kernel for), so that the stand-in
// and the real client exclude one another. The lock file stays in place; the
// kernel releases the lock when the holder ends, however it ends.
class FileLock
{
public:
    FileLock() = default;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();

    // Tries every 100 ms until `timeoutMs` have passed; false when another
    // holder kept it that long or the lock file cannot be created.
    bool lock(const QString &lockFile, int timeoutMs);

private:
    int m_fd = -1;
};

} // namespace Tf
