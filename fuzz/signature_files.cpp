// fuzz-links: Qt6::Core PkgConfig::SODIUM
// fuzz-sources: update/trust/ArchiveSignature.cpp update/trust/MinisignText.cpp
// fuzz-sources: update/trust/UpdateKey.cpp update/net/ProxySettings.cpp
// fuzz-sources: update/net/UriSyntax.cpp platform/runtime/RuntimeError.cpp
//
// What KORU reads besides the server's answers that a stranger may have written: a signature file
// (fetched from the server), a key file, and the proxy settings. Any bytes give a result or a
// reason, never a crash.
#include "FuzzCheck.h"
#include "update/net/ProxySettings.h"
#include "update/trust/ArchiveSignature.h"
#include "update/trust/UpdateKey.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));

    const ArchiveSignature signature = ArchiveSignature::Parse(text);
    Check(signature.Valid() != !signature.Problem().isEmpty());
    if (signature.Valid())
        Check(signature.Signature().size() == ArchiveSignature::signatureSize &&
              signature.GlobalSignature().size() == ArchiveSignature::signatureSize);

    const UpdateKey key = UpdateKey::FromFileText(text);
    Check(key.Present());
    if (key.Usable())
        Check(key.PublicKey().size() == UpdateKey::publicKeySize);

    // The first line names the proxy, the rest the hosts reached directly.
    const qsizetype end = text.indexOf('\n');
    const ProxySettings proxy = ProxySettings::FromValues(
        "http_proxy", end < 0 ? text : text.left(end), end < 0 ? QByteArray() : text.mid(end + 1));
    const ProxySettings::Route route = proxy.RouteFor("update.koru.example", 80);
    if (route.problem.isEmpty())
        Check(route.port > 0 && route.port <= 65535 && !route.host.isEmpty());
    return 0;
}
