#pragma once

#include "controllers/DirectoryNews.h"

#include <QDataStream>
#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace tw {

// The changes the engine's scanner found here, and the files and
// directories pulls placed, that no directory pass has settled yet, written
// down as they come, in order: the engine tells each only once, so a process
// that ends or is killed before its pass settles them at its next start.
// Appended on the main thread (the application's own folder, a few bytes a
// change); each pass seals the piece written so far and reads and drops the
// sealed pieces on its worker.
class ChangeJournal
{
public:
    // Pieces are named file.1, file.2, ...; none is kept without a file.
    explicit ChangeJournal(QString file);
    ~ChangeJournal();

    // Buffered: written out by flush(), once per batch of events.
    void append(const QString &item, bool directory, bool deleted, std::optional<qint64> foundAtMs);
    void appendPlaced(const QString &item, qint64 atMs);
    void appendPulled(const QString &directory, qint64 atMs);
    void flush();
    // Ends the piece being written; answers every piece not yet dropped,
    // those a process before this one left among them.
    QStringList seal();

    static DirectoryNews read(const QStringList &pieces);
    static void drop(const QStringList &pieces);

private:
    void lookForLeftovers();
    QDataStream *piece();

    QString m_file;
    std::unique_ptr<QFile> m_piece;
    std::unique_ptr<QDataStream> m_out;
    QStringList m_sealed;
    int m_next = 1;
    bool m_looked = false;
};

} // namespace tw
