#include "core/register/sealed.h"

#include <sodium.h>

#include <QBuffer>
#include <QFile>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "core/register/files.h"

namespace reg::sealed {

namespace {

constexpr char kMagic[] = "HJ-SEALED-BACKUP";  // 16 bytes, no terminator in the file
constexpr int kMagicSize = 16;
constexpr uint8_t kVersion = 1, kArgon2id = 1, kSecretStream = 1;
constexpr uint32_t kChunk = 64 * 1024;
// A chunk size outside these is no file of ours (and must not make us allocate much).
constexpr uint32_t kLeastChunk = 1024, kMostChunk = 1024 * 1024;
constexpr int kHeaderSize = 96;
constexpr int kAuthenticated = 80;  // the header's bytes before the key check
constexpr char kCheckText[] = "HJ-SEALED-BACKUP key check";
constexpr size_t kAbytes = crypto_secretstream_xchacha20poly1305_ABYTES;

using Key = std::array<unsigned char, crypto_secretstream_xchacha20poly1305_KEYBYTES>;

static_assert(crypto_pwhash_SALTBYTES == 16);
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == 24);

void putLe(unsigned char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t getLe(const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

// The key from the passphrase; false when Argon2id could not run (no memory for it).
bool deriveKey(Key& key, const QByteArray& passphrase, const unsigned char* salt,
               const Cost& cost) {
    return crypto_pwhash(key.data(), key.size(), passphrase.constData(),
                         static_cast<unsigned long long>(passphrase.size()), salt,
                         static_cast<unsigned long long>(cost.passes),
                         static_cast<size_t>(cost.memoryBytes), crypto_pwhash_ALG_ARGON2ID13) == 0;
}

// Tells a wrong passphrase from a damaged file: a keyed hash of a fixed text.
void keyCheck(unsigned char* out, const Key& key) {
    crypto_generichash(out, 16, reinterpret_cast<const unsigned char*>(kCheckText),
                       sizeof kCheckText - 1, key.data(), key.size());
}

// Reads up to `size` bytes, as many as there are; -1 on a read error.
qint64 readFully(QIODevice& in, unsigned char* to, qint64 size) {
    qint64 got = 0;
    while (got < size) {
        const qint64 n = in.read(reinterpret_cast<char*>(to) + got, size - got);
        if (n < 0) return -1;
        if (n == 0) break;
        got += n;
    }
    return got;
}

Answer failed(const QString& why) {
    return {Result::Failed, why};
}

Answer sealTo(QIODevice& in, QIODevice& out, const QByteArray& passphrase, const Cost& cost) {
    std::array<unsigned char, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, kMagicSize);
    header[16] = kVersion;
    header[17] = kArgon2id;
    header[18] = kSecretStream;
    putLe(&header[20], kChunk, 4);
    putLe(&header[24], cost.passes, 8);
    putLe(&header[32], cost.memoryBytes, 8);
    randombytes_buf(&header[40], crypto_pwhash_SALTBYTES);
    Key key;
    if (!deriveKey(key, passphrase, &header[40], cost))
        return failed(QStringLiteral("没有足够的内存生成密钥"));
    keyCheck(&header[80], key);
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, &header[56], key.data());
    sodium_memzero(key.data(), key.size());
    if (out.write(reinterpret_cast<const char*>(header.data()), kHeaderSize) != kHeaderSize)
        return failed(out.errorString());

    // One chunk is read ahead, so that the last one is known when it is sealed.
    std::vector<unsigned char> current(kChunk), next(kChunk), sealedChunk(kChunk + kAbytes);
    qint64 have = readFully(in, current.data(), kChunk);
    bool first = true;
    for (;;) {
        if (have < 0) return failed(in.errorString());
        const qint64 ahead = have == kChunk ? readFully(in, next.data(), kChunk) : 0;
        if (ahead < 0) return failed(in.errorString());
        const bool last = ahead == 0;
        unsigned long long length = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, sealedChunk.data(), &length, current.data(),
            static_cast<unsigned long long>(have), first ? header.data() : nullptr,
            first ? kAuthenticated : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                 : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        const auto n = static_cast<qint64>(length);
        if (out.write(reinterpret_cast<const char*>(sealedChunk.data()), n) != n)
            return failed(out.errorString());
        if (last) break;
        first = false;
        current.swap(next);
        have = ahead;
    }
    sodium_memzero(current.data(), current.size());
    sodium_memzero(next.data(), next.size());
    return {Result::Done, {}};
}

Result openFrom(QIODevice& in, QIODevice& out, const QByteArray& passphrase, const Cost& most,
                QString& why) {
    std::array<unsigned char, kHeaderSize> header{};
    const qint64 got = readFully(in, header.data(), kHeaderSize);
    if (got < 0) {
        why = in.errorString();
        return Result::Failed;
    }
    if (got < kMagicSize || std::memcmp(header.data(), kMagic, kMagicSize) != 0)
        return Result::NotSealed;
    if (got < kHeaderSize || header[16] != kVersion || header[17] != kArgon2id ||
        header[18] != kSecretStream || header[19] != 0)
        return Result::Damaged;
    const uint64_t chunk = getLe(&header[20], 4);
    const Cost cost{getLe(&header[24], 8), getLe(&header[32], 8)};
    if (chunk < kLeastChunk || chunk > kMostChunk || cost.passes < crypto_pwhash_OPSLIMIT_MIN ||
        cost.passes > most.passes || cost.memoryBytes < crypto_pwhash_MEMLIMIT_MIN ||
        cost.memoryBytes > most.memoryBytes ||
        cost.memoryBytes > std::numeric_limits<size_t>::max())
        return Result::Damaged;
    Key key;
    if (!deriveKey(key, passphrase, &header[40], cost)) {
        why = QStringLiteral("没有足够的内存生成密钥");
        return Result::Failed;
    }
    unsigned char check[16];
    keyCheck(check, key);
    if (sodium_memcmp(check, &header[80], sizeof check) != 0) {
        sodium_memzero(key.data(), key.size());
        return Result::WrongPassphrase;
    }
    crypto_secretstream_xchacha20poly1305_state state;
    const int ready =
        crypto_secretstream_xchacha20poly1305_init_pull(&state, &header[56], key.data());
    sodium_memzero(key.data(), key.size());
    if (ready != 0) return Result::Damaged;

    std::vector<unsigned char> sealedChunk(chunk + kAbytes), plain(chunk);
    bool first = true;
    for (;;) {
        const qint64 n = readFully(in, sealedChunk.data(), static_cast<qint64>(sealedChunk.size()));
        if (n < 0) {
            why = in.errorString();
            return Result::Failed;
        }
        // The stream ended before its last chunk: cut off.
        if (n < static_cast<qint64>(kAbytes)) return Result::Damaged;
        unsigned long long length = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(
                &state, plain.data(), &length, &tag, sealedChunk.data(),
                static_cast<unsigned long long>(n), first ? header.data() : nullptr,
                first ? kAuthenticated : 0) != 0)
            return Result::Damaged;
        first = false;
        const auto m = static_cast<qint64>(length);
        if (out.write(reinterpret_cast<const char*>(plain.data()), m) != m) {
            why = out.errorString();
            return Result::Failed;
        }
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            // Nothing may follow the last chunk.
            unsigned char extra = 0;
            const qint64 more = readFully(in, &extra, 1);
            sodium_memzero(plain.data(), plain.size());
            return more == 0 ? Result::Done : Result::Damaged;
        }
        // Only the last chunk may be short, and only the two tags are ours.
        if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE ||
            n < static_cast<qint64>(sealedChunk.size()))
            return Result::Damaged;
    }
}

bool ready() {
    return sodium_init() >= 0;
}

}  // namespace

Cost standardCost() {
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

Cost leastCost() {
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

bool isSealed(const QString& path) {
    if (path.isEmpty()) return false;  // a cancelled dialog
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(kMagicSize) == QByteArray(kMagic, kMagicSize);
}

Answer seal(const QString& plain, const QString& target, const QByteArray& passphrase,
            const Cost& cost) {
    if (!ready()) return failed(QStringLiteral("libsodium 无法初始化"));
    QFile in(plain);
    if (!in.open(QIODevice::ReadOnly)) return failed(in.errorString());
    const QString temporary = files::temporaryNameBeside(target);
    Answer answer;
    {
        QFile out(temporary);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return failed(out.errorString());
        answer = sealTo(in, out, passphrase, cost);
        if (answer.done() && !out.flush()) answer = failed(out.errorString());
    }
    if (answer.done() && (!files::syncFile(temporary) || !files::move(temporary, target)))
        answer = failed(files::whyNotWritable(target));
    if (!answer.done()) files::remove(temporary);
    return answer;
}

Answer open(const QString& sealedPath, const QString& plainTarget, const QByteArray& passphrase,
            const Cost& most) {
    if (!ready()) return failed(QStringLiteral("libsodium 无法初始化"));
    QFile in(sealedPath);
    if (!in.open(QIODevice::ReadOnly)) return failed(in.errorString());
    QString why;
    Result result;
    {
        QFile out(plainTarget);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return failed(out.errorString());
        result = openFrom(in, out, passphrase, most, why);
        if (result == Result::Done && !out.flush()) {
            result = Result::Failed;
            why = out.errorString();
        }
    }
    if (result != Result::Done) files::remove(plainTarget);
    return {result, why};
}

Result openBytes(const QByteArray& sealedBytes, const QByteArray& passphrase, const Cost& most,
                 QByteArray& plain) {
    if (!ready()) return Result::Failed;
    QBuffer in;
    in.setData(sealedBytes);
    in.open(QIODevice::ReadOnly);
    QByteArray opened;
    QBuffer out(&opened);
    out.open(QIODevice::WriteOnly);
    QString why;
    const Result result = openFrom(in, out, passphrase, most, why);
    if (result == Result::Done) plain = opened;
    return result;
}

}  // namespace reg::sealed
