#pragma once

#include <QtGlobal>

namespace tw {

// What happens to a file that a remote change replaces or deletes. Each kind
// carries one number: cleanout days, maximum age in days, or versions kept.
class VersioningPolicy
{
public:
    enum class Kind { None, TrashCan, Staggered, Simple };

    static VersioningPolicy none() { return {Kind::None, 0}; }
    static VersioningPolicy trashCan(qint64 cleanoutDays) { return {Kind::TrashCan, cleanoutDays}; }
    static VersioningPolicy staggered(qint64 maxAgeDays) { return {Kind::Staggered, maxAgeDays}; }
    static VersioningPolicy simple(qint64 keep) { return {Kind::Simple, keep}; }

    VersioningPolicy() = default;

    Kind kind() const { return m_kind; }
    // cleanoutDays, maxAgeDays or keep, by kind; 0 for none.
    qint64 value() const { return m_value; }

    bool operator==(const VersioningPolicy &) const = default;

private:
    VersioningPolicy(Kind kind, qint64 value) : m_kind(kind), m_value(value) {}

    Kind m_kind = Kind::None;
    qint64 m_value = 0;
};

} // namespace tw
