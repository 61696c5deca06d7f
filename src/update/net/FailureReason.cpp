#include "update/net/FailureReason.h"

namespace FailureReason {

QByteArray Joined(const QByteArray& reason, const QByteArray& following) {
    if (following.startsWith('('))
        return reason + ' ' + following;
    if ((following.startsWith(')') || following.startsWith(';')) && reason.endsWith('.'))
        return reason.first(reason.size() - 1) + following;
    return reason + following;
}

} // namespace FailureReason
