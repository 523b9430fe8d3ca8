#pragma once
// Whether repeated reads of one outside file keep memory: the resident size after a warm-up,
// then again after each batch of reads. Freed memory that the C library keeps for reuse is
// reused by the next read, so only what a read never gives back makes the size climb.
#include <QFile>
#include <functional>

namespace xtest {

inline long residentKiB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;  // pages of 4 KiB
}

// Under AddressSanitizer freed memory sits in quarantine and the size climbs anyway; there the
// leak checker at exit is the judge.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif
#else
constexpr bool kResidentSizeMeaningful = true;
#endif

// Growth in KiB over `reads` calls of `read` after a few to warm up; it stops early once the
// growth passes `boundKiB`, so a leak of megabytes per read cannot run the machine out.
inline long growthOverReads(const std::function<void()>& read, int reads, long boundKiB) {
    for (int i = 0; i < 5; ++i) read();
    const long start = residentKiB();
    long growth = 0;
    for (int i = 0; i < reads && growth <= boundKiB; ++i) {
        read();
        if (i % 10 == 9) growth = residentKiB() - start;
    }
    return residentKiB() - start;
}

}  // namespace xtest
