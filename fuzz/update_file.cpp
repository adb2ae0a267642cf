// The published version file and the version comparison, on whatever a server sends.
#include "tarovex/update/ReadRemoteUpdate.h"
#include "tarovex/update/VersionCompare.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace tarovex::update;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const QString local = QString::fromUtf8(in.ConsumeRandomLengthString(24));
    const QString language = QString::fromUtf8(in.ConsumeRandomLengthString(4));
    const QString content = QString::fromUtf8(in.ConsumeRemainingBytesAsString());
    const ReadRemoteUpdate update(QStringLiteral("https://example.invalid/version.xml"), content, local,
                                  language);
    const QString remote = update.remoteVersion();
    // Newer is a strict order: never both ways, never against itself.
    if (isNewerVersion(remote, remote) || (isNewerVersion(remote, local) && isNewerVersion(local, remote)))
        std::abort();
    if (update.isNewer() != isNewerVersion(remote, local))
        std::abort();
    return 0;
}
