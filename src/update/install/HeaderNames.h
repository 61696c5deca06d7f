// The entries' names as the central directory's headers carry them. libzip
// answers an entry's Info-ZIP Unicode Path field instead, and hides the
// field, when the field's checksum fits the header's name; tools that ignore
// the field show the header's. Comparing the two is the only way to see it.
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace HeaderNames {

// The names of the central directory on `fd`, in order; nothing when it is
// not where the end record (or its zip64 form) says.
std::optional<QList<QByteArray>> Read(int fd);

} // namespace HeaderNames
