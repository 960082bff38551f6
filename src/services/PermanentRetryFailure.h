#pragma once

namespace tw {

// Marks an error that the retry queue gives up on at once instead of retrying.
// Errors derive from it besides std::exception; it has no requirements.
class PermanentRetryFailure
{
public:
    virtual ~PermanentRetryFailure() = default;

protected:
    PermanentRetryFailure() = default;
    PermanentRetryFailure(const PermanentRetryFailure &) = default;
    PermanentRetryFailure &operator=(const PermanentRetryFailure &) = default;
};

} // namespace tw
