#pragma once

#include "services/FeedbackError.h"
#include "services/PermanentRetryFailure.h"

namespace tw {

// An upload failure that sending the same report again cannot mend (the
// server refused it as such), so the retry queue gives the report up at once.
class PermanentFeedbackFailure : public std::exception, public PermanentRetryFailure
{
public:
    explicit PermanentFeedbackFailure(FeedbackError underlying) : m_underlying(std::move(underlying)) {}

    const FeedbackError &underlying() const { return m_underlying; }
    const char *what() const noexcept override { return m_underlying.what(); }

private:
    FeedbackError m_underlying;
};

} // namespace tw
