// libFuzzer target: any bytes as an encrypted backup, opened with the seed's passphrase at the
// least cost (a file asking for more is refused before the key is made, as in the program).
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "core/register/sealed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray plain;
    static_cast<void>(reg::sealed::openBytes(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
        QByteArrayLiteral("fuzz-pass"), reg::sealed::leastCost(), plain));
    return 0;
}
