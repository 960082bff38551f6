#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tw {

// A named group of the default ignore patterns, switched on and off as one in
// the settings.
struct IgnoreCategory
{
    QString id;
    QString name;
    QString detail;
    QStringList patterns;

    // The five groups, in the order the default text lists them.
    static const QList<IgnoreCategory> &all();
    // Every pattern of every group.
    static const QSet<QString> &allPatterns();
};

} // namespace tw
