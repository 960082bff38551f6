#include "controllers/ChangeJournal.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>

namespace tw {

ChangeJournal::ChangeJournal(QString file) : m_file(std::move(file)) {}

ChangeJournal::~ChangeJournal() = default;

void ChangeJournal::append(const QString &item, bool directory, bool deleted, std::optional<qint64> foundAtMs)
{
    if (m_file.isEmpty())
        return;
    if (!m_piece) {
        lookForLeftovers();
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        m_piece = std::make_unique<QFile>(m_file + QLatin1Char('.') + QString::number(m_next++));
        if (!m_piece->open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_piece.reset();
            return;
        }
    }
    QDataStream out(m_piece.get());
    out << item << directory << deleted << foundAtMs.has_value() << foundAtMs.value_or(0);
}

void ChangeJournal::flush()
{
    if (m_piece)
        m_piece->flush();
}

// The pieces an earlier process left are settled with the first pass, and
// numbers go on after theirs.
void ChangeJournal::lookForLeftovers()
{
    if (m_looked || m_file.isEmpty())
        return;
    m_looked = true;
    const QFileInfo base(m_file);
    const QStringList left = base.dir().entryList({base.fileName() + QStringLiteral(".*")}, QDir::Files);
    for (const QString &name : left) {
        m_sealed.append(base.dir().filePath(name));
        m_next = std::max(m_next, name.section(QLatin1Char('.'), -1).toInt() + 1);
    }
}

QStringList ChangeJournal::seal()
{
    lookForLeftovers();
    if (m_piece) {
        m_sealed.append(m_piece->fileName());
        m_piece.reset();
    }
    return std::exchange(m_sealed, {});
}

// A piece cut short by a kill keeps what was whole in it.
DirectoryNews ChangeJournal::read(const QStringList &pieces)
{
    DirectoryNews news;
    for (const QString &piece : pieces) {
        QFile file(piece);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QDataStream in(&file);
        while (!in.atEnd()) {
            QString item;
            bool directory = false, deleted = false, found = false;
            qint64 foundAtMs = 0;
            in >> item >> directory >> deleted >> found >> foundAtMs;
            if (in.status() != QDataStream::Ok)
                break;
            news.noteLocalChange(item, directory, deleted, found ? std::optional(foundAtMs) : std::nullopt);
        }
    }
    return news;
}

void ChangeJournal::drop(const QStringList &pieces)
{
    for (const QString &piece : pieces)
        QFile::remove(piece);
}

} // namespace tw
