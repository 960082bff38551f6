#include "controllers/PendingDirectoryRestores.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace tw {

PendingDirectoryRestores::PendingDirectoryRestores(QString file) : m_file(std::move(file))
{
    load();
}

void PendingDirectoryRestores::add(const QString &folderID, const QString &path)
{
    QSet<QString> &paths = m_folders[folderID];
    if (!paths.contains(path)) {
        paths.insert(path);
        m_changed = true;
    }
}

void PendingDirectoryRestores::remove(const QString &folderID, const QSet<QString> &paths)
{
    const auto folder = m_folders.find(folderID);
    if (folder == m_folders.end())
        return;
    for (const QString &path : paths)
        m_changed |= folder->remove(path);
    if (folder->isEmpty())
        m_folders.erase(folder);
}

bool PendingDirectoryRestores::contains(const QString &folderID, const QString &path) const
{
    return m_folders.value(folderID).contains(path);
}

// Read as untrusted: whatever is not a list of names under a folder's ID is
// passed over, and every name is checked again where it is used.
void PendingDirectoryRestores::load()
{
    QFile file(m_file);
    if (m_file.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject folders = QJsonDocument::fromJson(file.readAll()).object();
    for (auto folder = folders.begin(); folder != folders.end(); ++folder)
        for (const QJsonValue &path : folder.value().toArray())
            if (path.isString())
                m_folders[folder.key()].insert(path.toString());
}

void PendingDirectoryRestores::save()
{
    if (!m_changed || m_file.isEmpty())
        return;
    QJsonObject folders;
    for (auto folder = m_folders.cbegin(); folder != m_folders.cend(); ++folder)
        folders.insert(folder.key(), QJsonArray::fromStringList(QStringList(folder->cbegin(), folder->cend())));
    QSaveFile file(m_file);
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(folders).toJson(QJsonDocument::Compact)) >= 0
        && file.commit())
        m_changed = false;
}

} // namespace tw
