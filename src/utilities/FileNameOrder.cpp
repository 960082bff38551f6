#include "utilities/FileNameOrder.h"

#include "utilities/NaturalLess.h"

namespace tw {
namespace {

QLocale collatingLocale(const QLocale &locale)
{
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

} // namespace

FileNameOrder::FileNameOrder(const QLocale &locale)
{
    QCollator collator(collatingLocale(locale));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    if (collator.compare(u"2", u"10") < 0)
        m_collator = std::move(collator);
}

bool FileNameOrder::operator()(QStringView a, QStringView b) const
{
    return m_collator ? m_collator->compare(a, b) < 0 : naturalLess(a, b);
}

} // namespace tw
