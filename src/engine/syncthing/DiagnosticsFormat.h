#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace tw {

// Value texts of the plain-text diagnostics report. A value of an unexpected
// JSON type counts as missing.
struct DiagnosticsFormat
{
    // The log lines the report shows at most.
    static constexpr qsizetype kLogLines = 80;

    // Decimal gigabytes with two decimals ("1.25 GB"); the fraction of a byte
    // count is cut first; missing gives "0.00 GB".
    static QString gb(const QJsonValue &value);
    // A percentage with two decimals ("99.50%"); missing gives "0.00%".
    static QString pct(const QJsonValue &value);
    // A string unchanged, a number in its usual decimal form, anything else
    // the fallback.
    static QString plain(const QJsonValue &value, const QString &fallback);
    // The last lines of the log, at most kLogLines, in the log's order.
    static QStringList logTail(const QStringList &lines);
};

} // namespace tw
