#include "views/panels/OmitLevelModel.h"

#include "app/removal/PurgePaths.h"
#include "design/Symbol.h"
#include "design/Theme.h"
#include "views/kit/PanelTexts.h"

#include <QColor>
#include <QFont>
#include <algorithm>

namespace tw {
namespace {

constexpr qreal kExcludedBackgroundOpacity = 0.14;

// By code point: UTF-16 units put a name beyond U+FFFF (a surrogate pair)
// before one in U+E000..U+FFFF.
QList<uint> sortKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toLower().toUcs4();
}

QColor excludedBackground()
{
    QColor color = Theme::syncing();
    color.setAlphaF(kExcludedBackgroundOpacity);
    return color;
}

} // namespace

OmitLevelModel::OmitLevelModel(QObject *parent) : QAbstractListModel(parent) {}

QString OmitLevelModel::relPath(const QStringList &stack, const QString &name)
{
    return stack.isEmpty() ? name : stack.join(QLatin1Char('/')) + QLatin1Char('/') + name;
}

QString OmitLevelModel::exclusionLine(const QStringList &stack, const QString &name)
{
    return QLatin1Char('/') + escapeGlob(relPath(stack, name));
}

QList<BrowseEntry> OmitLevelModel::listed(QList<BrowseEntry> entries)
{
    entries.removeIf([](const BrowseEntry &entry) { return entry.name.startsWith(QLatin1Char('.')); });
    struct Keyed
    {
        QList<uint> key;
        const BrowseEntry *entry;
    };
    QList<Keyed> keyed;
    keyed.reserve(entries.size());
    for (const BrowseEntry &entry : std::as_const(entries))
        keyed.append({sortKey(entry.name), &entry});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.entry->isDirectory != b.entry->isDirectory)
            return a.entry->isDirectory;
        return a.key < b.key;
    });
    QList<BrowseEntry> sorted;
    sorted.reserve(keyed.size());
    for (const Keyed &item : std::as_const(keyed))
        sorted.append(*item.entry);
    return sorted;
}

void OmitLevelModel::setLevel(QStringList stack, QList<BrowseEntry> entries, const QStringList &ignores)
{
    beginResetModel();
    m_stack = std::move(stack);
    m_entries = std::move(entries);
    m_lines.clear();
    m_lines.reserve(m_entries.size());
    for (const BrowseEntry &entry : std::as_const(m_entries))
        m_lines.append(exclusionLine(m_stack, entry.name));
    m_excluded.fill(false, m_entries.size());
    const QSet<QString> present(ignores.cbegin(), ignores.cend());
    for (qsizetype row = 0; row < m_lines.size(); ++row)
        m_excluded[row] = present.contains(m_lines[row]);
    endResetModel();
}

void OmitLevelModel::setIgnores(const QStringList &ignores)
{
    const QSet<QString> present(ignores.cbegin(), ignores.cend());
    for (qsizetype row = 0; row < m_lines.size(); ++row) {
        const bool excluded = present.contains(m_lines[row]);
        if (excluded == m_excluded[row])
            continue;
        m_excluded[row] = excluded;
        const QModelIndex changed = index(int(row));
        emit dataChanged(changed, changed);
    }
}

int OmitLevelModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant OmitLevelModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const BrowseEntry &entry = m_entries[index.row()];
    const bool excluded = m_excluded[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return entry.name;
    case Qt::CheckStateRole:
        return excluded ? Qt::Checked : Qt::Unchecked;
    // The switch's label, which the row does not show.
    case Qt::AccessibleDescriptionRole:
        return texts::omit;
    case Qt::FontRole: {
        QFont font;
        font.setStrikeOut(excluded);
        return font;
    }
    // A folder's name is a plain button: the text colour, as a file's.
    case Qt::ForegroundRole:
        if (excluded)
            return Theme::orange();
        return {};
    case Qt::BackgroundRole:
        return excluded ? QVariant(excludedBackground()) : QVariant();
    case IsDirectoryRole:
        return entry.isDirectory;
    case ExcludedRole:
        return excluded;
    case IsLinkRole:
        return entry.isDirectory && !excluded;
    case LineRole:
        return m_lines[index.row()];
    case SymbolRole:
        return int(entry.isDirectory ? Symbol::Folder : Symbol::Doc);
    default:
        return {};
    }
}

bool OmitLevelModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= m_entries.size())
        return false;
    emit switchRequested(m_entries[index.row()], value.toInt() == Qt::Checked);
    return false;
}

Qt::ItemFlags OmitLevelModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

} // namespace tw
