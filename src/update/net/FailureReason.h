// Failure reasons are sentences; this is the one place that sets one inside
// a longer text, so no caller trims or extends a reason by hand.
#pragma once

#include <QByteArray>

namespace FailureReason {

// `reason` with `following` after it. A remark in parentheses stands after
// the whole sentence: "Connection refused. (3 servers tried)". A clause's
// closing ")" or ";" takes the place of the reason's final period, so that
// "Delta update failed (" + Joined("Connection refused.", "); ...") reads
// "Delta update failed (Connection refused); ...". Anything else follows as
// it is: Joined("Disk full", ".") is "Disk full.".
QByteArray Joined(const QByteArray& reason, const QByteArray& following);

} // namespace FailureReason
