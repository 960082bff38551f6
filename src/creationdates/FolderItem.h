#pragma once

#include <QByteArray>
#include <QString>

#include <ctime>
#include <filesystem>
#include <optional>

namespace tw {

// An item below a synced folder, reached from the folder without following a
// symbolic link on the way. A teammate can sync a link to anywhere on this
// machine; acting on a path through such a link, whether it is the item itself
// or a directory on the way, would change something outside the folder. The
// folder's own path may hold links: those are the user's choice.
//
// The item's directory is held open, so whatever is done through this object
// happens in the directory that was checked, even when a directory on the way
// is swapped for a link meanwhile.
class FolderItem
{
public:
    // The item at relative (empty components are passed over) below folder.
    // Nothing when a directory on the way below the folder is a link, is
    // missing or cannot be entered, when relative names no item or holds "."
    // or "..", or when the item cannot be looked at.
    static std::optional<FolderItem> open(const QString &folder, const QString &relative);

    FolderItem(FolderItem &&other) noexcept;
    FolderItem &operator=(FolderItem &&other) = delete;
    FolderItem(const FolderItem &) = delete;
    FolderItem &operator=(const FolderItem &) = delete;
    ~FolderItem();

    // The item's own type, as it was when opened: a link is a symlink.
    std::filesystem::file_type type() const { return m_type; }
    // Its modification time as it was when opened, in milliseconds since 1970.
    qint64 modifiedMs() const { return qint64(m_modified.tv_sec) * 1000 + m_modified.tv_nsec / 1'000'000; }
    // Its modification time in whole seconds, as it was when opened.
    qint64 modifiedSeconds() const { return m_modified.tv_sec; }
    // When it was made, in milliseconds since 1970, where the file system
    // tells; as it was when opened.
    std::optional<qint64> bornMs() const { return m_bornMs; }

    // A directory's extended attribute named name, read or written through
    // the directory itself (never through a link that took its place).
    // Nothing when the item is no directory, or the attribute is absent or
    // unreadable; a write answers 0 or the errno of the failure.
    std::optional<QByteArray> directoryAttribute(const char *name) const;
    int setDirectoryAttribute(const char *name, const QByteArray &value) const;

    // Sets only the modification time, to whole seconds, of the item itself
    // (a link that has taken its place meanwhile, not what it points to).
    // An item that had that time when opened is left alone: every write
    // changes its inode's change time, which the engine takes for a local
    // change when it syncs extended attributes, and sends on. Answers 0 or
    // the errno of the failure.
    int setModificationTime(qint64 secondsSince1970) const;

private:
    FolderItem(int directory, QByteArray name, std::filesystem::file_type type, timespec modified,
               std::optional<qint64> bornMs);
    // The directory itself, opened for its attributes; -1 when it cannot be.
    int openDirectory() const;

    int m_directory = -1;
    QByteArray m_name;
    std::filesystem::file_type m_type = std::filesystem::file_type::none;
    timespec m_modified{};
    std::optional<qint64> m_bornMs;
};

} // namespace tw
