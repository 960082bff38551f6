#pragma once

#include "creationdates/FileDateAccess.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <atomic>
#include <optional>

namespace tw {

// Files' creation dates carried between machines through the extended
// attribute "user.com.quellmark.crtime": whole seconds since the Unix epoch as
// plain decimal text. Attribute and birth time are reconciled towards the
// earlier of the two. Linux offers no call that sets a birth time, so here only
// the attribute is brought into step; the birth time is read, never written.
// No operation follows a symbolic link at the path: a synced link may point
// anywhere on this machine, and its target is not the folder's to change.
// Nothing here holds state; every operation may run on any thread.
class FileDates
{
public:
    static constexpr const char *attributeName = "user.com.quellmark.crtime";
    // A directory's modification time as the computer where its content last
    // changed gave it, in the same text as the creation date.
    static constexpr const char *modifiedAttributeName = "user.com.quellmark.mtime";

    // Names the whole-tree pass neither reconciles nor enters: the engine's
    // marker folder, its archive of old versions and its ignore file.
    static const QSet<QString> &skip();

    // The birth time in whole seconds, used only when the kernel reports one
    // for this file system; nothing when unknown or below 1.
    static std::optional<qint64> birthtime(const QString &path);

    // The attribute's value; nothing when it is absent, empty, unreadable or
    // not an integer.
    static std::optional<qint64> crtimeXattrValue(const QString &path);

    // Writes the attribute as decimal text, replacing any value. Answers 0 or
    // the errno of the failure, which callers are free to ignore: a file
    // system without user attributes (or a link, which takes none) keeps none.
    static int setCrtimeXattr(const QString &path, qint64 seconds);

    // The attribute text as a number: UTF-8, spaces and tabs around it
    // allowed, an optional sign, decimal digits and nothing else.
    static std::optional<qint64> parseCrtime(const QByteArray &text);

    // The value the attribute must be given so that it holds the earlier of
    // itself and the birth time; nothing when it already does.
    static std::optional<qint64> attributeToWrite(qint64 birthtime, std::optional<qint64> attribute);

    // Reconciles one file whose birth time can be read; others are left alone.
    // Answers whether the attribute was written: the file then holds a change
    // its engine has not seen yet.
    static bool reconcileFile(const QString &path, const FileDateAccess &access = FileDateAccess::system());

    // Reconciles every regular file below tree, keeping out of the skip names;
    // symbolic links and unreadable items are passed over. Ends early once stop
    // (when given) turns true. Answers whether any attribute was written.
    static bool reconcile(const QString &tree, const FileDateAccess &access = FileDateAccess::system(),
                          const std::atomic_bool *stop = nullptr);
};

} // namespace tw
