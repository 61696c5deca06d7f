// fuzz-links: Qt6::Core PkgConfig::SODIUM
// fuzz-sources: update/trust/ReleaseList.cpp update/trust/TrustedKeys.cpp
// fuzz-sources: update/trust/KeyChain.cpp update/trust/SignedText.cpp
// fuzz-sources: update/trust/ReleaseVerifier.cpp update/trust/ArchiveSignature.cpp
// fuzz-sources: update/trust/MinisignText.cpp update/trust/UpdateKey.cpp
// fuzz-sources: platform/runtime/RuntimeError.cpp
//
// The signed texts of a release that arrive from the server: the release list, a key chain link
// and their signatures (the input split at its first NUL byte). Any bytes give a verdict or a
// reason, a list that is read writes back as the same list, and a refused link changes nothing.
#include "FuzzCheck.h"
#include "update/trust/KeyChain.h"
#include "update/trust/ReleaseVerifier.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QByteArray text = split < 0 ? input : input.left(split);
    const QByteArray signature = split < 0 ? QByteArray() : input.mid(split + 1);

    const ReleaseList list = ReleaseList::Parse(text);
    Check(list.Valid() || list.problem.startsWith("The release list is malformed: "));
    if (list.Valid()) {
        const ReleaseList again = ReleaseList::Parse(list.Text());
        Check(again.Valid() && again.Text() == list.Text());
        for (const ReleaseList::Entry& entry : list.files)
            Check(entry.hash.size() == ReleaseList::hashSize && entry.length >= 0 &&
                  list.Find(entry.path) == &entry);
    }

    const TrustedKeys keys = TrustedKeys::FromFileText(text, "The fuzzed keys");
    Check(keys.Present() && keys.Usable() != !keys.Problem().isEmpty());
    if (keys.Usable())
        Check(TrustedKeys::FromKeyLines(keys.KeyLines(), "again").KeyLines() == keys.KeyLines());

    // The sample tree's demo key, whose secret half is gone: nothing verifies.
    const TrustedKeys demo = TrustedKeys::FromKeyLines(
        "RWQAyqlNx0FuBQdUx73iQDIGUGYKFW8DPKrYwpRi/KuSo/UWPtyJGUhN", "The demo key");
    Check(demo.Usable());
    KeyChain chain(demo, 0);
    Check(!chain.Advance(text, signature).isEmpty() && chain.Epoch() == 0);
    const ReleaseVerifier::Verdict verdict = ReleaseVerifier::Verify(
        text, signature, chain, 0, QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    Check(!verdict.Verified());
    return 0;
}
