#include "utilities/LocalSocketAddress.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace tw {

LocalSocketAddress::LocalSocketAddress(const QString &socketPath)
{
    if (QFile::encodeName(socketPath).size() <= maxPathBytes) {
        m_path = socketPath;
        return;
    }
    const QFileInfo info(socketPath);
    m_directory = ::open(QFile::encodeName(info.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_directory < 0)
        return;
    const QString shortPath = QStringLiteral("/proc/self/fd/%1/").arg(m_directory) + info.fileName();
    if (QFile::encodeName(shortPath).size() <= maxPathBytes)
        m_path = shortPath;
}

LocalSocketAddress::~LocalSocketAddress()
{
    if (m_directory >= 0)
        ::close(m_directory);
}

} // namespace tw
