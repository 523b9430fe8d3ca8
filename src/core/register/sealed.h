#pragma once
// Encrypted backups: a copy of the register sealed with a passphrase, so that a backup that
// travels on a USB stick tells nothing to whoever finds it. The key comes from the passphrase by
// Argon2id; the file is encrypted and authenticated in chunks by XChaCha20-Poly1305
// (libsodium's secretstream), behind a small plain header that names the format. The layout is
// written down in docs/file-format.md.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace reg::sealed {

// How hard the key is to guess: Argon2id's passes and memory.
struct Cost {
    uint64_t passes = 0;
    uint64_t memoryBytes = 0;
};
// What a backup is sealed with, and the most an opened one may ask for (a file asking for more
// is taken as damaged rather than let it take the PC's memory).
Cost standardCost();
// The least libsodium allows: for tests and the fuzzer only.
Cost leastCost();

// A passphrase shorter than this is refused before anything is written.
inline constexpr int kMinimumPassphrase = 8;

enum class Result {
    Done,
    NotSealed,        // the file does not begin with the header: a plain backup, or no backup
    WrongPassphrase,  // the header is whole but the passphrase does not open it
    Damaged,          // the header or a chunk fails its check, or the file ends early
    Failed,           // the file could not be read or written (reason says why)
};

struct Answer {
    Result result = Result::Failed;
    QString reason;  // Failed: in the system's words, for the run log
    bool done() const { return result == Result::Done; }
};

// Whether `path` begins with the sealed header (nothing else is checked).
bool isSealed(const QString& path);

// Seals the file `plain` into `target`: written under a temporary name beside it, flushed and
// renamed over it, so a partial file never stands under the chosen name.
[[nodiscard]] Answer seal(const QString& plain, const QString& target, const QByteArray& passphrase,
                          const Cost& cost = standardCost());

// Opens the sealed file `sealedPath` into the new file `plainTarget` (which must not exist). On
// anything but Done no file is left at `plainTarget`.
[[nodiscard]] Answer open(const QString& sealedPath, const QString& plainTarget,
                          const QByteArray& passphrase, const Cost& most = standardCost());

// The same, on bytes in memory: what the file functions do, for the fuzzer. `plain` is filled
// only on Done.
[[nodiscard]] Result openBytes(const QByteArray& sealedBytes, const QByteArray& passphrase,
                               const Cost& most, QByteArray& plain);

}  // namespace reg::sealed
