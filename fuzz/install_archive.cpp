// fuzz-links: Qt6::Core PkgConfig::LIBZIP
// fuzz-sources: update/install/ArchiveVetting.cpp update/install/EntryRules.cpp
// fuzz-sources: update/install/FolderRoom.cpp update/install/InstallPlan.cpp
// fuzz-sources: update/install/HeaderNames.cpp update/install/ImpliedFolders.cpp
// fuzz-sources: update/formats/VersionFiles.cpp update/formats/SizeText.cpp
// fuzz-sources: platform/runtime/Val.cpp platform/runtime/FileAccess.cpp
// fuzz-sources: platform/runtime/RuntimeError.cpp
//
// Arbitrary bytes as an archive to install, vetted through libzip against a
// VANTO folder that is not there, so nothing on disk is in the way. Any bytes give a plan or a
// reason; a plan holds only plain relative paths outside KORU's own names, with the two modes an
// install gives, and no more bytes than the room it was measured against.
#include "FuzzCheck.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/EntryRules.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString vanto = QStringLiteral("koru-fuzz-absent-vanto");
    const int fd = ::memfd_create("archive", MFD_CLOEXEC);
    Check(fd >= 0 && ::write(fd, data, size) == ssize_t(size));
    const FolderRoom room{64 * 1024 * 1024, 1'000, 4096};
    const InstallPlan plan = ArchiveVetting::Vet(fd, vanto, "02.14", room);
    ::close(fd);
    Check(plan.Installable() || plan.problem.startsWith("The archive") ||
          plan.problem.startsWith("There "));
    if (!plan.Installable())
        return 0;
    for (const InstallPlan::Entry& entry : plan.entries) {
        Check(EntryRules::NameProblem(entry.path).isEmpty() &&
              EntryRules::ReservedProblem(entry.path).isEmpty());
        Check(entry.mode == 0644 || entry.mode == 0755);
    }
    Check(plan.Bytes() <= room.freeBytes);
    return 0;
}
