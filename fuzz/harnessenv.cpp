#include "harnessenv.h"

#include <QDir>
#include <csignal>
#include <sys/resource.h>

namespace fuzzenv {

QString scratchTemplate()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm/wilfuzz-XXXXXX")
                                                          : QDir::tempPath() + QStringLiteral("/wilfuzz-XXXXXX");
}

void limitFileSizes()
{
    constexpr rlim_t kMaxFileSize = 16 << 20;
    static const bool done = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kMaxFileSize, kMaxFileSize};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }();
    Q_UNUSED(done);
}

} // namespace fuzzenv
