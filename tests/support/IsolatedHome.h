#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tw {

// Points HOME and the XDG base directories of a test process at a temporary
// directory of its own, so that no test reaches the user's files, their trash
// or the trash at the top of the temporary directory's file system (Qt moves
// a file to the trash of HOME's file system only when the file lies on it).
// Made first thing in a test program's main(), before anything reads those
// variables; the directory goes with the object.
class IsolatedHome
{
public:
    IsolatedHome();
    IsolatedHome(const IsolatedHome &) = delete;
    IsolatedHome &operator=(const IsolatedHome &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace tw
