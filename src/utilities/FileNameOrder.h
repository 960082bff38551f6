#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringView>
#include <optional>

namespace tw {

// The order file managers list names in under a locale: its collation
// (accented letters beside their base letters, "Ärger" after "Zebra" only
// where the language says so), case ignored, runs of digits compared by
// their value. The C locale has no collation of its own (QCollator compares
// code units there and drops its numeric mode), so it gets the Unicode
// default order, which English keeps untailored. A collator without numeric
// mode (Qt built without ICU) leaves naturalLess.
//
// Names the order finds equivalent ("a", "A") keep their places in a stable
// sort. One order is used by one thread at a time.
class FileNameOrder
{
public:
    explicit FileNameOrder(const QLocale &locale = QLocale());

    bool operator()(QStringView a, QStringView b) const;

private:
    std::optional<QCollator> m_collator;
};

} // namespace tw
