#pragma once

#include <QString>

namespace tw {

class UserDefaults;

// The teammates' removals this Mac is carrying out, kept in the user defaults
// under "receivedPurges" as [folder ID, protection line, ...] from before the
// line is recorded until the removal ends (or after a failed delete, until
// this Mac's own removal of that subfolder makes the line its own promise).
// One still there when no removal of it runs was cut short: its line is not
// a promise of this Mac's own, and the teammate's next try may go ahead. A
// stored value of another shape reads as empty.
class ReceivedPurgeRecord
{
public:
    explicit ReceivedPurgeRecord(UserDefaults &defaults) : m_defaults(defaults) {}

    bool holds(const QString &folderID, const QString &line) const;
    // False when the file could not be written.
    bool add(const QString &folderID, const QString &line);
    void remove(const QString &folderID, const QString &line);

private:
    UserDefaults &m_defaults;
};

} // namespace tw
