#include "filelock.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Tf {

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool FileLock::lock(const QString &lockFile, int timeoutMs)
{
    m_fd = ::open(QFile::encodeName(lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET; // from the start, l_len 0: to any end
        if (::fcntl(m_fd, F_SETLK, &whole) == 0)
            return true;
        if ((errno != EACCES && errno != EAGAIN && errno != EINTR) ||
            waited.elapsed() >= timeoutMs) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        ::usleep(100 * 1000);
    }
}

} // namespace Tf
