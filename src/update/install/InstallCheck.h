// koru-cli's install --check: the archive named, or the last one KORU saved,
// checked against the run's freshly verified release list and vetted against
// VANTO's folder, changing nothing; and install, which then asks and swaps it
// in. Answers the message log's lines.
#pragma once

#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace InstallCheck {

struct Result {
    bool installable = false;
    QList<QByteArray> lines;
};

Result Run(const QString& archive, const std::optional<ReleaseList>& list,
           const QString& vantoFolder);

// Vets as Run does, then asks (a Yes/No message box) and installs; each phase
// is told to `say` as it ends.
Result Install(const QString& archive, const std::optional<ReleaseList>& list,
               const QString& vantoFolder, const std::function<void(const QByteArray&)>& say);

} // namespace InstallCheck
