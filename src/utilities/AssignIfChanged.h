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

} // namespace tw
