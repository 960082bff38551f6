#pragma once

#include <QHash>
#include <QSet>
#include <QString>

namespace tw {

// The directories a pull moved here whose times are still to be put back,
// per engine folder, kept in a file so that a process that ends between the
// pull and the restore puts them back at its next start. Without a file the
// list lives in memory only. Main thread only.
class PendingDirectoryRestores
{
public:
    using Folders = QHash<QString, QSet<QString>>;

    explicit PendingDirectoryRestores(QString file = {});

    void add(const QString &folderID, const QString &path);
    void remove(const QString &folderID, const QSet<QString> &paths);
    bool contains(const QString &folderID, const QString &path) const;
    const Folders &folders() const { return m_folders; }
    // Writes the file if anything changed since it was last written; a
    // failed write is tried again at the next save.
    void save();

private:
    void load();

    QString m_file;
    Folders m_folders;
    bool m_changed = false;
};

} // namespace tw
