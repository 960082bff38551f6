#include "engine/model/NormalizedDeviceID.h"

#include <QStringList>
#include <algorithm>

namespace tw {
namespace {

const QLatin1String alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
constexpr qsizetype groupSize = 13;  // characters each check digit covers
constexpr qsizetype bareSize = 52;   // 32 bytes in base 32
constexpr qsizetype checkedSize = 56;

// The engine's check digit: a Luhn mod 32 whose factor starts at 1 on the
// left, as every device that formats IDs computes it.
QChar checkDigit(QStringView group)
{
    int factor = 1;
    int sum = 0;
    for (const QChar c : group) {
        const int addend = factor * int(alphabet.indexOf(c));
        factor = factor == 2 ? 1 : 2;
        sum += addend / 32 + addend % 32;
    }
    return alphabet.at((32 - sum % 32) % 32);
}

// Lower case, dashes, spaces and the typed look-alikes are what the engine
// also reads.
QString compacted(const QString &text)
{
    QString id = text.trimmed();
    while (id.startsWith(QLatin1Char('=')))
        id.remove(0, 1);
    while (id.endsWith(QLatin1Char('=')))
        id.chop(1);
    id = id.toUpper();
    id.replace(QLatin1Char('0'), QLatin1Char('O')).replace(QLatin1Char('1'), QLatin1Char('I'));
    id.replace(QLatin1Char('8'), QLatin1Char('B'));
    id.remove(QLatin1Char('-')).remove(QLatin1Char(' '));
    return id;
}

// The 52 characters of the key, or nothing when a check digit is wrong.
std::optional<QString> withoutCheckDigits(const QString &id)
{
    QString bare;
    for (qsizetype at = 0; at < checkedSize; at += groupSize + 1) {
        const QStringView group = QStringView(id).mid(at, groupSize);
        if (checkDigit(group) != id.at(at + groupSize))
            return std::nullopt;
        bare += group;
    }
    return bare;
}

} // namespace

std::optional<QString> normalizedDeviceID(const QString &text)
{
    const QString id = compacted(text);
    if (!std::all_of(id.cbegin(), id.cend(), [](QChar c) { return alphabet.contains(c); }))
        return std::nullopt;
    std::optional<QString> bare;
    if (id.size() == checkedSize)
        bare = withoutCheckDigits(id);
    else if (id.size() == bareSize)
        bare = id;
    if (!bare)
        return std::nullopt;
    // 52 characters carry 260 bits for 256: only the top bit of the last one
    // counts, and the engine writes the others as zero.
    (*bare)[bareSize - 1] = alphabet.at(alphabet.indexOf(bare->at(bareSize - 1)) & 0x10);
    QString checked;
    for (qsizetype at = 0; at < bareSize; at += groupSize) {
        const QStringView group = QStringView(*bare).mid(at, groupSize);
        checked += group;
        checked += checkDigit(group);
    }
    QStringList groups;
    for (qsizetype at = 0; at < checkedSize; at += 7)
        groups.append(checked.mid(at, 7));
    return groups.join(QLatin1Char('-'));
}

} // namespace tw
