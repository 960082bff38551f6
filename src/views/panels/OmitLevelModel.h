#pragma once

#include "engine/model/BrowseEntry.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QStringList>

namespace tw {

// One level of the exclusion browser: its entries in the order shown, each
// with its exclusion line and whether the folder's ignore lines hold that
// line. A new level replaces the rows whole; new ignore lines only touch the
// rows whose state they change, so a switch repaints its own row. Switching
// a row through setData() changes nothing here: it asks for the switch, and
// the ignore lines read afterwards decide what the row shows.
class OmitLevelModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        // Qt::DisplayRole is the name, Qt::CheckStateRole the switch.
        IsDirectoryRole = Qt::UserRole + 1,
        ExcludedRole,
        // A directory that is not excluded: its name opens it.
        IsLinkRole,
        LineRole,
        SymbolRole,  // a Symbol as int
    };

    explicit OmitLevelModel(QObject *parent = nullptr);

    // The item's path within the folder: the opened folders' names and its
    // own, joined with "/".
    static QString relPath(const QStringList &stack, const QString &name);
    // The ignore line that keeps the item off this Mac: anchored at the
    // folder root, with the glob characters of the path escaped, so that it
    // matches that one item (and is the same text as a removal's protection
    // line for the same subfolder).
    static QString exclusionLine(const QStringList &stack, const QString &name);
    // The entries the browser lists, in its order: no names beginning with
    // ".", directories first, then by the lower-cased canonically composed
    // name compared by code point; equal names keep the engine's order.
    static QList<BrowseEntry> listed(QList<BrowseEntry> entries);

    void setLevel(QStringList stack, QList<BrowseEntry> entries, const QStringList &ignores);
    void setIgnores(const QStringList &ignores);

    const QStringList &stack() const { return m_stack; }
    const QList<BrowseEntry> &entries() const { return m_entries; }
    BrowseEntry entry(int row) const { return m_entries.value(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void switchRequested(const tw::BrowseEntry &entry, bool on);

private:
    QStringList m_stack;
    QList<BrowseEntry> m_entries;
    QStringList m_lines;
    QList<bool> m_excluded;
};

} // namespace tw
