#include "RunResults.h"

const char* OutcomeName(ERequestOutcome outcome)
{
    switch (outcome) {
    case ERequestOutcome::Ok:
        return "ok";
    case ERequestOutcome::Slow:
        return "slow";
    case ERequestOutcome::Timeout:
        return "timeout";
    case ERequestOutcome::Failed:
        return "failed";
    case ERequestOutcome::NotSent:
        return "not-sent";
    }
    return "failed";
}
