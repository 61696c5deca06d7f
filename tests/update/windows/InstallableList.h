// The sample VANTO archive (installable: one VANTO/ folder, VANTO.ini 02.14)
// and a verified release list that marks it so, as a check leaves it held.
#pragma once

#include "support/TestFiles.h"
#include "update/trust/ReleaseList.h"
#include "update/trust/StreamHash.h"

inline QByteArray SampleArchive() {
    return ReadFile(QStringLiteral(KORU_SAMPLE_DIR "/server/files/vanto.zip"));
}

inline ReleaseList InstallableList(const QByteArray& archive) {
    ReleaseList list;
    list.offeredVersion = "02.14";
    list.installable = "vanto.zip";
    StreamHash hash(ReleaseList::hashSize);
    hash.Add(archive.constData(), archive.size());
    list.files.append({list.installable, archive.size(), hash.Digest()});
    return list;
}
