#include "controllers/ChangeJournal.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>

namespace tw {

ChangeJournal::ChangeJournal(QString file) : m_file(std::move(file)) {}

ChangeJournal::~ChangeJournal() = default;

namespace {

// A piece begins with these; one without is of the layout before
// placements were written down, changes only. Pieces with pulled
// directories begin anew, so that a reader of "TWJ2" alone (an older
// version) reads none of them.
constexpr quint32 kMagic = 0x54574a33;  // "TWJ3"
constexpr quint32 kMagicWithoutPulls = 0x54574a32;  // "TWJ2"
enum class Kind : quint8 { Change, Placed, Pulled };

void readChange(QDataStream &in, DirectoryNews &news)
{
    QString item;
    bool directory = false, deleted = false, found = false;
    qint64 foundAtMs = 0;
    in >> item >> directory >> deleted >> found >> foundAtMs;
    if (in.status() == QDataStream::Ok)
        news.noteLocalChange(item, directory, deleted, found ? std::optional(foundAtMs) : std::nullopt);
}

void readPlaced(QDataStream &in, DirectoryNews &news)
{
    QString item;
    qint64 atMs = 0;
    in >> item >> atMs;
    if (in.status() == QDataStream::Ok)
        news.notePlaced(item, atMs);
}

// In order with the changes found: a directory pulled before it was found
// is a teammate's, after a restart too.
void readPulled(QDataStream &in, DirectoryNews &news)
{
    QString item;
    qint64 atMs = 0;
    in >> item >> atMs;
    if (in.status() == QDataStream::Ok)
        news.notePull(item, true, false, atMs);
}

} // namespace

QDataStream *ChangeJournal::piece()
{
    if (m_file.isEmpty())
        return nullptr;
    if (!m_piece) {
        lookForLeftovers();
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        m_piece = std::make_unique<QFile>(m_file + QLatin1Char('.') + QString::number(m_next++));
        if (!m_piece->open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_piece.reset();
            return nullptr;
        }
        m_out = std::make_unique<QDataStream>(m_piece.get());
        *m_out << kMagic;
    }
    return m_out.get();
}

void ChangeJournal::append(const QString &item, bool directory, bool deleted, std::optional<qint64> foundAtMs)
{
    if (QDataStream *out = piece())
        *out << Kind::Change << item << directory << deleted << foundAtMs.has_value() << foundAtMs.value_or(0);
}

void ChangeJournal::appendPlaced(const QString &item, qint64 atMs)
{
    if (QDataStream *out = piece())
        *out << Kind::Placed << item << atMs;
}

void ChangeJournal::appendPulled(const QString &directory, qint64 atMs)
{
    if (QDataStream *out = piece())
        *out << Kind::Pulled << directory << atMs;
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
        m_out.reset();
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
        quint32 magic = 0;
        in >> magic;
        const bool kinds = magic == kMagic || magic == kMagicWithoutPulls;
        if (!kinds)
            file.seek(0);
        while (!in.atEnd() && in.status() == QDataStream::Ok) {
            Kind kind = Kind::Change;
            if (kinds)
                in >> kind;
            if (kind == Kind::Placed)
                readPlaced(in, news);
            else if (kind == Kind::Pulled)
                readPulled(in, news);
            else
                readChange(in, news);
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
