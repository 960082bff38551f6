#include "utilities/IsolatedName.h"

namespace tw {

namespace {

constexpr char16_t kFirstStrongIsolate = u'\u2068';
constexpr char16_t kPopIsolate = u'\u2069';

bool opensIsolate(QChar c)
{
    return c == u'\u2066' || c == u'\u2067' || c == kFirstStrongIsolate;
}

} // namespace

QString isolatedName(const QString &name)
{
    QString isolated;
    isolated.reserve(name.size() + 2);
    isolated += kFirstStrongIsolate;
    qsizetype open = 0;
    for (const QChar c : name) {
        if (c == kPopIsolate) {
            if (open == 0)
                continue;
            --open;
        } else if (opensIsolate(c)) {
            ++open;
        }
        isolated += c;
    }
    isolated += QString(open + 1, kPopIsolate);
    return isolated;
}

} // namespace tw
