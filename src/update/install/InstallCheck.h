// koru-cli's install --check: the archive named, or the last one KORU saved,
// checked against the run's freshly verified release list and vetted against
// VANTO's folder, changing nothing. Answers the message log's lines.
#pragma once

#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace InstallCheck {

struct Result {
    bool installable = false;
    QList<QByteArray> lines;
};

Result Run(const QString& archive, const std::optional<ReleaseList>& list,
           const QString& vantoFolder);

} // namespace InstallCheck
