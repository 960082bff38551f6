#pragma once

#include <functional>
#include <utility>

namespace tw {

// The setter shape of every observable property: stores `value` and emits
// `changed` on `object` only when it differs from what `member` holds (lists
// and maps compare element by element through their operator==). Answers
// whether it changed. Called as
// `assignIfChanged(m_name, name, this, &Foo::nameChanged)`.
template <typename T, typename U, typename Object, typename Signal>
bool assignIfChanged(T &member, U &&value, Object *object, Signal changed)
{
    if (member == value)
        return false;
    member = std::forward<U>(value);
    std::invoke(changed, object);
    return true;
}

// The same for one entry of a map property: a missing entry counts as
// changed.
template <typename Map, typename Key, typename U, typename Object, typename Signal>
bool insertIfChanged(Map &map, const Key &key, U &&value, Object *object, Signal changed)
{
    const auto old = map.constFind(key);
    if (old != map.cend() && *old == value)
        return false;
    map.insert(key, std::forward<U>(value));
    std::invoke(changed, object);
    return true;
}

} // namespace tw
