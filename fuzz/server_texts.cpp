// fuzz-links: Qt6::Core
// fuzz-sources: update/formats/VersionFiles.cpp update/formats/HelpLinksList.cpp
// fuzz-sources: platform/runtime/FileAccess.cpp platform/runtime/RuntimeError.cpp
// fuzz-sources: platform/runtime/Val.cpp
//
// The server's small texts as the check and the help-links update read them: the version file,
// the switch file and the help-links list with its item names. An item name that is let through
// must stay a file of the help folder and a single path segment of the request.
#include "FuzzCheck.h"
#include "platform/runtime/Val.h"
#include "update/formats/HelpLinksList.h"
#include "update/formats/VersionFiles.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));

    (void)Val(VersionFiles::OfferedVersionText(text));

    const QByteArray message = VersionFiles::WithoutKillSwitch(text);
    Check(message.size() <= text.size());
    if (!VersionFiles::ContainsKillSwitch(text))
        Check(message == text);

    static const QString help = QStringLiteral("/vanto/files/koru/help");
    const HelpLinksList list = HelpLinksList::Parse(text);
    Check(list.stamp.size() == 6);
    for (const QByteArray& name : list.items) {
        const QByteArray segment = HelpLinksList::PathSegment(name);
        Check(!segment.contains('/') && !segment.contains('?') && !segment.contains('#'));
        if (!HelpLinksList::IsFileName(name) || !HelpLinksList::FitsFolder(help, name))
            continue;
        const QString path = HelpLinksList::ItemPath(help, name, ".txt");
        Check(path.startsWith(help + u'/') && path.lastIndexOf(u'/') == help.size());
    }
    return 0;
}
