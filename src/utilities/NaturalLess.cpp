#include "utilities/NaturalLess.h"

namespace tw {
namespace {

// A run of digits starting at `at`, with its leading zeros skipped.
struct DigitRun
{
    qsizetype significantStart = 0;
    qsizetype end = 0;
    qsizetype length() const { return end - significantStart; }
};

DigitRun digitRun(QStringView text, qsizetype at)
{
    DigitRun run;
    run.end = at;
    while (run.end < text.size() && text[run.end].isDigit())
        ++run.end;
    run.significantStart = at;
    while (run.significantStart < run.end && text[run.significantStart].digitValue() == 0)
        ++run.significantStart;
    return run;
}

// Negative, zero or positive as the first run's value is below, equal to or
// above the second's; no run overflows, however long.
int compareRuns(QStringView a, const DigitRun &runA, QStringView b, const DigitRun &runB)
{
    if (runA.length() != runB.length())
        return runA.length() < runB.length() ? -1 : 1;
    for (qsizetype i = 0; i < runA.length(); ++i) {
        const int digitA = a[runA.significantStart + i].digitValue();
        const int digitB = b[runB.significantStart + i].digitValue();
        if (digitA != digitB)
            return digitA < digitB ? -1 : 1;
    }
    return 0;
}

} // namespace

bool naturalLess(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const DigitRun runA = digitRun(a, i);
            const DigitRun runB = digitRun(b, j);
            if (const int order = compareRuns(a, runA, b, runB))
                return order < 0;
            i = runA.end;
            j = runB.end;
            continue;
        }
        const char16_t foldedA = a[i].toCaseFolded().unicode();
        const char16_t foldedB = b[j].toCaseFolded().unicode();
        if (foldedA != foldedB)
            return foldedA < foldedB;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace tw
