#include "IsolatedHome.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace tw {

IsolatedHome::IsolatedHome() : m_dir(QDir::tempPath() + QStringLiteral("/tidewell-test-home-XXXXXX"))
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "FAIL: no temporary home: %s\n", qPrintable(m_dir.errorString()));
        std::exit(1);
    }
    const struct
    {
        const char *variable;
        const char *place;
    } places[] = {
        {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
        {"XDG_CACHE_HOME", "cache"}, {"XDG_STATE_HOME", "state"},  {"XDG_RUNTIME_DIR", "run"},
    };
    for (const auto &[variable, place] : places) {
        const QString path = m_dir.filePath(QLatin1String(place));
        QDir().mkpath(path);
        // The runtime directory must be the user's alone.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(variable, QFile::encodeName(path));
    }
}

} // namespace tw
