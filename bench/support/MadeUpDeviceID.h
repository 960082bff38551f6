#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace tw {

// A well-formed Syncthing device ID of no real device, in Syncthing's
// canonical form (four 13-character groups, each with its check character,
// in dashed chunks of 7), beginning with the given letter (A-Z or 2-7) so
// that tests know where it sorts.
inline QString madeUpDeviceID(char first)
{
    static const QByteArray base32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    const auto checkCharacter = [](const QByteArray &group) {
        int factor = 1;
        int sum = 0;
        for (const char c : group) {
            int addend = factor * int(base32.indexOf(c));
            factor = factor == 2 ? 1 : 2;
            sum += addend / 32 + addend % 32;
        }
        return base32.at((32 - sum % 32) % 32);
    };
    // 52 characters carry the 256 bits of a device ID; the last one holds a
    // single bit, so of its five only the first may be set ("A" or "Q"), or
    // Syncthing would read a different ID.
    QByteArray plain(1, first);
    for (int i = 1; i < 51; ++i)
        plain.append(base32.at(QRandomGenerator::global()->bounded(32)));
    plain.append(QRandomGenerator::global()->bounded(2) ? 'Q' : 'A');
    QByteArray checked;
    for (int group = 0; group < 4; ++group) {
        const QByteArray part = plain.mid(group * 13, 13);
        checked += part + checkCharacter(part);
    }
    QStringList chunks;
    for (int i = 0; i < checked.size(); i += 7)
        chunks.append(QString::fromLatin1(checked.mid(i, 7)));
    return chunks.join(QLatin1Char('-'));
}

} // namespace tw
