#include "core/edit/duplicates.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>

#include "core/query/homophone.h"
#include "core/register/log.h"
#include "core/register/ownfile.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"

namespace edit::dup {

namespace {

using Person = std::vector<std::string>;

// A bucket this full holds a placeholder every record shares ("000000000000000000"), not typing
// slips; its pairs would swamp the list and the scan.
constexpr size_t kLargestBucket = 64;

const std::string& field(const Person& p, int pos) {
    static const std::string none;
    return size_t(pos) <= p.size() ? p[size_t(pos - 1)] : none;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

// The identity number as compared: upper case, no blanks; empty when too short to be one.
std::string identity(const Person& p) {
    std::string id = trimmed(field(p, reg::F公民身份号码));
    for (char& c : id)
        if (c == 'x') c = 'X';
    return id.size() >= 15 ? id : std::string();
}

// The birth date when it is eight digits, else empty.
std::string birth(const Person& p) {
    std::string d = trimmed(field(p, reg::F出生日期));
    if (d.size() != 8 ||
        !std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    return d;
}

uint64_t mix(uint64_t h, std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ULL;
    return h;
}
uint64_t mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h * 1099511628211ULL;
}
constexpr uint64_t kSeed = 14695981039346656037ULL;

// Byte length of the GB18030 character at the start of `s`.
size_t characterLength(std::string_view s) {
    if (s.empty() || static_cast<unsigned char>(s[0]) < 0x80 || s.size() < 2) return 1;
    const auto second = static_cast<unsigned char>(s[1]);
    return (second >= 0x30 && second <= 0x39 && s.size() >= 4) ? 4 : 2;
}

// Keys of a name by sound: one for each way of reading it (at most 8; a name with more readings
// is keyed by each character's most used one). A character without a reading keys by itself.
std::vector<uint64_t> soundKeys(std::string_view name) {
    std::vector<uint64_t> keys{kSeed};
    for (size_t i = 0; i < name.size();) {
        const size_t n = characterLength(name.substr(i));
        const std::string_view ch = name.substr(i, n);
        i += n;
        const query::Readings r = query::readingsOf(ch);
        if (r.count == 0) {
            for (uint64_t& k : keys) k = mix(k, ch);
            continue;
        }
        const int ways = keys.size() * size_t(r.count) > 8 ? 1 : r.count;
        std::vector<uint64_t> next;
        for (uint64_t k : keys)
            for (int w = 0; w < ways; ++w) next.push_back(mix(k, uint64_t(r.code[w]) + 1));
        keys.swap(next);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

// Positions where two texts of one length differ, up to three.
int differences(std::string_view a, std::string_view b, std::array<size_t, 3>& at) {
    int n = 0;
    for (size_t i = 0; i < a.size() && n < 3; ++i)
        if (a[i] != b[i]) at[size_t(n++)] = i;
    return n;
}

bool namesAlike(const Person& a, const Person& b) {
    const std::string x = trimmed(field(a, reg::F姓名)), y = trimmed(field(b, reg::F姓名));
    return !x.empty() && query::homophoneMatch(x, y);
}

// What relates two identity numbers, if anything.
std::optional<Reason> identityRelation(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty() || a.size() != b.size()) return std::nullopt;
    std::array<size_t, 3> at{};
    const int n = differences(a, b, at);
    if (n == 0) return Reason::SameIdentity;
    if (n == 1) return Reason::IdentityOneDigit;
    if (n == 2 && at[1] == at[0] + 1 && a[at[0]] == b[at[1]] && a[at[1]] == b[at[0]])
        return Reason::IdentitySwap;
    return std::nullopt;
}

std::optional<Reason> birthRelation(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return std::nullopt;
    std::array<size_t, 3> at{};
    const int n = differences(a, b, at);
    if (n == 0) return Reason::NameSameBirth;
    if (n == 1) return Reason::NameBirthOneDigit;
    if (a.compare(0, 4, b, 0, 4) == 0 && a.compare(4, 2, b, 6, 2) == 0 &&
        a.compare(6, 2, b, 4, 2) == 0)
        return Reason::NameBirthSwap;
    return std::nullopt;
}

int scoreOf(Reason reason, bool alike, bool distinctNumbers) {
    switch (reason) {
        case Reason::SameIdentity:
            return alike ? 100 : 90;
        case Reason::IdentityOneDigit:
        case Reason::IdentitySwap:
            return alike ? 85 : 60;
        case Reason::NameSameBirth:
            return distinctNumbers ? 50 : 80;
        case Reason::NameBirthOneDigit:
        case Reason::NameBirthSwap:
            return distinctNumbers ? 40 : 65;
    }
    return 0;
}

struct Keyed {
    uint64_t key;
    uint32_t person;
    bool operator<(const Keyed& o) const { return key != o.key ? key < o.key : person < o.person; }
};

// Calls `visit(a, b)` for every two persons sharing a key, buckets too full to mean anything left
// out.
template <typename Visit>
void eachBucketPair(std::vector<Keyed>& keyed, Visit visit) {
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size();) {
        size_t j = i + 1;
        while (j < keyed.size() && keyed[j].key == keyed[i].key) ++j;
        if (j - i <= kLargestBucket)
            for (size_t x = i; x < j; ++x)
                for (size_t y = x + 1; y < j; ++y)
                    if (keyed[x].person != keyed[y].person) visit(keyed[x].person, keyed[y].person);
        i = j;
    }
}

}  // namespace

QString reasonText(Reason reason) {
    switch (reason) {
        case Reason::SameIdentity:
            return QStringLiteral("身份号码相同");
        case Reason::IdentityOneDigit:
            return QStringLiteral("身份号码相差一位");
        case Reason::IdentitySwap:
            return QStringLiteral("身份号码相邻两位颠倒");
        case Reason::NameSameBirth:
            return QStringLiteral("姓名同音，出生日期相同");
        case Reason::NameBirthOneDigit:
            return QStringLiteral("姓名同音，出生日期相差一位");
        case Reason::NameBirthSwap:
            return QStringLiteral("姓名同音，出生日期月日颠倒");
    }
    return {};
}

std::vector<Pair> findPairs(const std::vector<Person>& persons) {
    const size_t count = persons.size();
    std::vector<std::string> ids(count), births(count);
    for (size_t i = 0; i < count; ++i) {
        ids[i] = identity(persons[i]);
        births[i] = birth(persons[i]);
    }

    std::unordered_map<uint64_t, Pair> found;
    auto consider = [&](uint32_t x, uint32_t y, Reason reason) {
        const size_t a = std::min(x, y), b = std::max(x, y);
        const bool alike = namesAlike(persons[a], persons[b]);
        const bool distinct = !ids[a].empty() && !ids[b].empty() && ids[a] != ids[b];
        const Pair pair{a, b, reason, scoreOf(reason, alike, distinct)};
        auto [it, added] = found.try_emplace((uint64_t(a) << 32) | b, pair);
        if (!added && pair.score > it->second.score) it->second = pair;
    };

    // Identity numbers: each with one character blanked (a slip there, or the same number), and
    // with each two unequal neighbours put in order (a swap there).
    std::vector<Keyed> keyed;
    keyed.reserve(count * 20);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string& id = ids[i];
        if (id.empty()) continue;
        for (size_t p = 0; p < id.size(); ++p) {
            std::string k = id;
            k[p] = '?';
            keyed.push_back({mix(mix(kSeed, uint64_t(p)), k), i});
        }
        for (size_t p = 0; p + 1 < id.size(); ++p) {
            if (id[p] == id[p + 1]) continue;
            std::string k = id;
            if (k[p] > k[p + 1]) std::swap(k[p], k[p + 1]);
            keyed.push_back({mix(mix(kSeed, uint64_t(100 + p)), k), i});
        }
    }
    eachBucketPair(keyed, [&](uint32_t x, uint32_t y) {
        if (auto r = identityRelation(ids[x], ids[y])) consider(x, y, *r);
    });

    // Names by sound with the birth date: one digit of the date blanked, or month and day in
    // order.
    keyed.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const std::string& d = births[i];
        const std::string name = trimmed(field(persons[i], reg::F姓名));
        if (d.empty() || name.empty()) continue;
        for (uint64_t sound : soundKeys(name)) {
            for (size_t p = 0; p < d.size(); ++p) {
                std::string k = d;
                k[p] = '?';
                keyed.push_back({mix(mix(sound, uint64_t(p)), k), i});
            }
            const std::string mm = d.substr(4, 2), dd = d.substr(6, 2);
            keyed.push_back({mix(mix(sound, uint64_t(50)),
                                 d.substr(0, 4) + std::min(mm, dd) + std::max(mm, dd)),
                             i});
        }
    }
    eachBucketPair(keyed, [&](uint32_t x, uint32_t y) {
        if (!namesAlike(persons[x], persons[y])) return;
        if (auto r = birthRelation(births[x], births[y])) consider(x, y, *r);
    });

    std::vector<Pair> pairs;
    pairs.reserve(found.size());
    for (const auto& entry : found) pairs.push_back(entry.second);
    std::sort(pairs.begin(), pairs.end(), [](const Pair& l, const Pair& r) {
        if (l.score != r.score) return l.score > r.score;
        return l.a != r.a ? l.a < r.a : l.b < r.b;
    });
    return pairs;
}

std::string valuesDigest(const std::vector<std::string>& values) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& v : values) {
        const quint32 n = quint32(v.size());
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&n), sizeof n));
        hash.addData(QByteArrayView(v.data(), qsizetype(v.size())));
    }
    return hash.result().toHex().toStdString();
}

bool readRegister(const QString& path, std::vector<Person>& persons, std::vector<long>* records) {
    persons.clear();
    if (records) records->clear();
    reg::RecordStore store;
    if (!store.OpenTable(path)) return false;
    std::array<int, reg::kFieldCount> column{};
    for (int f = 1; f <= reg::kFieldCount; ++f)
        column[size_t(f - 1)] = store.FieldNumber(reg::fieldName(f));
    const long count = store.RecordCount();
    persons.reserve(size_t(count));
    for (long n = 1; n <= count; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        Person values(reg::kFieldCount);
        for (size_t f = 0; f < values.size(); ++f)
            if (column[f]) values[f] = store.ReadField(column[f]);
        persons.push_back(std::move(values));
        if (records) records->push_back(n);
    }
    static_cast<void>(store.CloseAllTables());  // read only
    return true;
}

namespace {

constexpr int kAppId = 0x48484A44;  // "HHJD"
const char* const kSchema =
    "PRAGMA application_id = 1212697156;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE dismissed(pair TEXT PRIMARY KEY, time TEXT NOT NULL);";
const QString kWhat = QStringLiteral("重复核对记录");

bool looksOurs(reg::sqlite::Database& db) {
    return db.pragmaInt("application_id") == kAppId &&
           bool(db.prepare("SELECT pair, time FROM dismissed LIMIT 0"));
}

reg::sqlite::Database openFile(const QString& folder) {
    static const reg::ownfile::Kind kind{kSchema, looksOurs, kWhat, true};
    QStringList setAside;  // logged by the opening; nothing of a person is lost with it
    return reg::ownfile::open(reg::pathIn(folder, kDismissalsFile), kind, false,
                              QDateTime::currentDateTime(), setAside);
}

std::string pairKey(const Person& a, const Person& b) {
    std::string x = valuesDigest(a), y = valuesDigest(b);
    if (y < x) std::swap(x, y);
    return x + ':' + y;
}

}  // namespace

Dismissals::Dismissals(QString folder) : folder_(std::move(folder)) {
    reload();
}

void Dismissals::reload() {
    keys_.clear();
    reg::sqlite::Database db = openFile(folder_);
    if (!db) return;
    reg::sqlite::Statement st = db.prepare("SELECT pair FROM dismissed");
    while (st.row()) keys_.emplace_back(st.text(0));
    std::sort(keys_.begin(), keys_.end());
}

bool Dismissals::contains(const Person& a, const Person& b) const {
    return std::binary_search(keys_.begin(), keys_.end(), pairKey(a, b));
}

bool Dismissals::add(const Person& a, const Person& b) {
    const std::string key = pairKey(a, b);
    reg::sqlite::Database db = openFile(folder_);
    reg::sqlite::Statement st =
        db ? db.prepare("INSERT OR REPLACE INTO dismissed(pair, time) VALUES(?, ?)")
           : reg::sqlite::Statement();
    if (st) {
        st.bindText(1, key);
        st.bindText(2, QDateTime::currentDateTime().toString(Qt::ISODate));
    }
    if (!st || !st.done()) {
        reg::log::failure(QStringLiteral("写入") + kWhat,
                          db ? db.error() : QStringLiteral("文件打不开"));
        return false;
    }
    keys_.insert(std::upper_bound(keys_.begin(), keys_.end(), key), key);
    return true;
}

std::vector<RecordChange> mergeChanges(const Person& keep, const Person& drop,
                                       std::vector<std::string> values) {
    values.resize(reg::kFieldCount);
    values[reg::F序号 - 1] = field(keep, reg::F序号);
    return {{RecordChange::Kind::Modify, field(keep, reg::F序号), std::move(values)},
            {RecordChange::Kind::Delete, field(drop, reg::F序号), {}}};
}

}  // namespace edit::dup
