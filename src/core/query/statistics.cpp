#include "core/query/statistics.h"

#include <unordered_map>

#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"

namespace query {

using reg::gb;

Period monthPeriod(int year, int month) {
    const QDate first(year, month, 1);
    return {first, first.addMonths(1).addDays(-1)};
}

Period quarterPeriod(int year, int quarter) {
    const QDate first(year, (quarter - 1) * 3 + 1, 1);
    return {first, first.addMonths(3).addDays(-1)};
}

Period yearPeriod(int year) {
    return {QDate(year, 1, 1), QDate(year, 12, 31)};
}

Period periodBetween(QDate a, QDate b) {
    return a <= b ? Period{a, b} : Period{b, a};
}

QString dateText(QDate day) {
    return QStringLiteral("%1年%2月%3日").arg(day.year()).arg(day.month()).arg(day.day());
}

QString periodText(const Period& period) {
    return dateText(period.first) + QStringLiteral("至") + dateText(period.last);
}

QDate parseDate(std::string_view text) {
    if (text.size() != 8) return {};
    int digits[8];
    for (size_t i = 0; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9') return {};
        digits[i] = text[i] - '0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    // Year 0 does not exist in QDate's calendar; it is no real day here either.
    if (year == 0) return {};
    return QDate(year, month, day);  // invalid for 20230230 and the like
}

QString ageBandName(int band) {
    if (band >= kAgeBands - 1) return QStringLiteral("100岁以上");
    return QStringLiteral("%1-%2岁").arg(band * 5).arg(band * 5 + 4);
}

QString badBirthDateLabel() {
    return QStringLiteral("出生日期有误");
}

QString changeDateLabel(int row) {
    static const char* const labels[] = {"期内", "期外", "未填", "有误"};
    return row >= 0 && row < 4 ? QString::fromUtf8(labels[row]) : QString();
}

long Tally::total() const {
    long sum = 0;
    for (long c : counts) sum += c;
    return sum;
}

namespace {

// Row of a stored code in a tally of a table with `size` names: k-1 for the text of code k,
// `size` for nothing chosen, `size`+1 for anything else. The same texts the export turns into
// names are counted under them.
int codeRow(std::string_view text, int size) {
    if (text.empty() || text == "0" || text == "-1") return size;
    if (text.size() <= 2 && text[0] >= '1' && text[0] <= '9') {
        int value = text[0] - '0';
        if (text.size() == 2) {
            if (text[1] < '0' || text[1] > '9') return size + 1;
            value = value * 10 + (text[1] - '0');
        }
        if (value <= size) return value - 1;
    }
    return size + 1;
}

Tally emptyTally(const reg::CodeTable& table) {
    Tally t;
    t.title = table.name;
    t.labels = table.names;
    t.labels.push_back(gb("未填"));
    t.labels.push_back(gb("表外代码"));
    t.counts.assign(t.labels.size(), 0);
    return t;
}

// Completed years at `reference`; negative when born after it.
int ageAt(QDate birth, QDate reference) {
    int age = reference.year() - birth.year();
    if (reference.month() < birth.month() ||
        (reference.month() == birth.month() && reference.day() < birth.day()))
        --age;
    return age;
}

}  // namespace

namespace {

// presenceAt with the reference also as its YYYYMMDD text, made once for a whole walk.
Presence presence(const std::vector<std::string>& values, QDate reference, std::string_view day) {
    const auto field = [&](int pos) -> std::string_view {
        return size_t(pos) <= values.size() ? std::string_view(values[size_t(pos - 1)])
                                            : std::string_view();
    };
    if (!reg::isPerson(field(reg::F与户主关系))) return Presence::NotPerson;
    const QDate birth = parseDate(field(reg::F出生日期));
    if (birth.isValid() && birth > reference) return Presence::NotYetHere;
    const int kind = int(reg::leadingNumber(field(reg::F户籍变动类型)));
    const bool arrival = (kind >= 2 && kind <= 6) || kind == 12;
    if (arrival) {
        const QDate changed = parseDate(field(reg::F户籍变动日期));
        if (changed.isValid() && changed > reference) return Presence::NotYetHere;
    }
    return standingAt(values, day) == Standing::Deregistered ? Presence::Deregistered
                                                             : Presence::Resident;
}

std::string dayText(QDate day) {
    return day.toString(QStringLiteral("yyyyMMdd")).toStdString();
}

}  // namespace

Presence presenceAt(const std::vector<std::string>& values, QDate reference) {
    return presence(values, reference, dayText(reference));
}

Presence presenceAt(const std::vector<std::string>& values, QDate reference, std::string_view day) {
    return presence(values, reference, day);
}

StatisticsCounter::StatisticsCounter(QDate reference, const Period& period)
    : day_(dayText(reference)) {
    s_.reference = reference;
    s_.period = period;
    for (int field : reg::codedFields()) {
        const reg::CodeTable* table = reg::codeTableOf(field);
        s_.coded.push_back(emptyTally(*table));
        codedSizes_.push_back(int(table->names.size()));
    }
    const reg::CodeTable& changeTable = *reg::codeTableOf(reg::F户籍变动类型);
    s_.changes = emptyTally(changeTable);
    changeSize_ = int(changeTable.names.size());
}

void StatisticsCounter::add(const std::vector<std::string>& v) {
    const auto field = [&](int pos) -> const std::string& {
        static const std::string none;
        return size_t(pos) <= v.size() ? v[size_t(pos - 1)] : none;
    };
    ++s_.records;
    const Presence presence = query::presence(v, s_.reference, day_);
    if (presence == Presence::NotPerson) return;

    // The changes of the period count every person record: a death in it is a change of it
    // though the person is no longer here at the reference date.
    const std::string& changeDate = field(reg::F户籍变动日期);
    if (changeDate.empty()) {
        ++s_.changeDates[2];
    } else if (const QDate day = parseDate(changeDate); !day.isValid()) {
        ++s_.changeDates[3];
    } else if (!s_.period.contains(day)) {
        ++s_.changeDates[1];
    } else {
        ++s_.changeDates[0];
        ++s_.changes.counts[size_t(codeRow(field(reg::F户籍变动类型), changeSize_))];
    }

    if (presence == Presence::Deregistered) {
        ++s_.deregistered;
        return;
    }
    if (presence == Presence::NotYetHere) {
        ++s_.notYetHere;
        return;
    }
    ++s_.persons;
    const bool head = reg::isHead(field(reg::F与户主关系));
    s_.heads += head;
    households_[field(reg::F房屋详址)] += head;

    int sex = kSexOther;
    switch (codeRow(field(reg::F性别), 2)) {
        case 0:
            sex = kMale;
            break;
        case 1:
            sex = kFemale;
            break;
        case 2:
            sex = kSexUnset;
            break;
        default:
            break;
    }
    // A real birth date after the reference was ruled out above.
    const QDate birth = parseDate(field(reg::F出生日期));
    int band = kAgeBands;  // bad date
    if (birth.isValid())
        band = std::min(ageAt(birth, s_.reference) / 5, kAgeBands - 1);
    else
        ++s_.badBirthDates;
    ++s_.sexByAge[size_t(band)][size_t(sex)];

    const auto& fields = reg::codedFields();
    for (size_t i = 0; i < fields.size(); ++i)
        ++s_.coded[i].counts[size_t(codeRow(field(fields[i]), codedSizes_[i]))];
}

Statistics StatisticsCounter::finish() {
    s_.households = long(households_.size());
    for (const auto& [address, heads] : households_) {
        s_.headless += heads == 0;
        s_.severalHeads += heads > 1;
    }
    return std::move(s_);
}

Statistics computeStatistics(const std::vector<std::vector<std::string>>& records, QDate reference,
                             const Period& period) {
    StatisticsCounter tally(reference, period);
    for (const auto& r : records) tally.add(r);
    return tally.finish();
}

Statistics computeStatistics(reg::RecordStore& store, QDate reference, const Period& period) {
    StatisticsCounter tally(reference, period);
    // Columns by name, looked up once; a field the table lacks reads as empty.
    // Only the fields counted are read; the others stay empty.
    std::array<int, reg::kFieldCount> columns{};
    std::vector<int> counted{reg::F房屋详址, reg::F出生日期, reg::F户籍变动日期};
    counted.insert(counted.end(), reg::codedFields().begin(), reg::codedFields().end());
    for (int pos : counted) columns[size_t(pos - 1)] = store.FieldNumber(reg::fieldName(pos));
    std::vector<std::string> values(reg::kFieldCount);
    // One walk over every record; the count itself is not wanted.
    static_cast<void>(store.CountMatching([&] {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i]) values[i] = store.ReadField(columns[i]);
        tally.add(values);
        return false;
    }));
    return tally.finish();
}

std::optional<Statistics> computeStatistics(const QString& path, QDate reference,
                                            const Period& period) {
    reg::RecordStore store;
    if (!store.OpenTable(path)) return std::nullopt;
    Statistics s = computeStatistics(store, reference, period);
    static_cast<void>(store.CloseAllTables());  // read only
    return s;
}

namespace {

QString num(long n) {
    return QString::number(n);
}

Sheet tallySheet(const Tally& t, const QString& name) {
    Sheet sheet{name, {{reg::fromGb(t.title), QStringLiteral("人数")}}};
    for (size_t i = 0; i < t.labels.size(); ++i)
        sheet.rows.push_back({reg::fromGb(t.labels[i]), num(t.counts[i])});
    sheet.rows.push_back({QStringLiteral("合计"), num(t.total())});
    return sheet;
}

}  // namespace

std::vector<Sheet> statisticsSheets(const Statistics& s) {
    std::vector<Sheet> sheets;

    Sheet totals{QStringLiteral("总数"), {{QStringLiteral("项目"), QStringLiteral("数目")}}};
    const std::pair<const char*, long> lines[] = {
        {"在册人数", s.persons},
        {"注销人数", s.deregistered},
        {"基准日后出生或迁入的人员", s.notYetHere},
        {"户主数", s.heads},
        {"户数", s.households},
        {"无户主的户", s.headless},
        {"多个户主的户", s.severalHeads},
        {"出生日期有误的人员", s.badBirthDates},
        {"记录数", s.records},
        {"不计为人员的记录", s.records - s.persons - s.deregistered - s.notYetHere},
    };
    for (const auto& [label, value] : lines)
        totals.rows.push_back({QString::fromUtf8(label), num(value)});
    for (int row = 0; row < 4; ++row)
        totals.rows.push_back({QStringLiteral("户籍变动日期") + changeDateLabel(row),
                               num(s.changeDates[size_t(row)])});
    sheets.push_back(std::move(totals));

    Sheet ages{
        QStringLiteral("性别年龄"),
        {{QStringLiteral("年龄段"), QStringLiteral("男"), QStringLiteral("女"),
          QStringLiteral("性别未填"), QStringLiteral("性别表外代码"), QStringLiteral("合计")}}};
    std::array<long, kSexColumns> columnSums{};
    for (int band = 0; band <= kAgeBands; ++band) {
        std::vector<QString> row{band < kAgeBands ? ageBandName(band) : badBirthDateLabel()};
        long sum = 0;
        for (int c = 0; c < kSexColumns; ++c) {
            const long n = s.sexByAge[size_t(band)][size_t(c)];
            row.push_back(num(n));
            sum += n;
            columnSums[size_t(c)] += n;
        }
        row.push_back(num(sum));
        ages.rows.push_back(std::move(row));
    }
    std::vector<QString> sumRow{QStringLiteral("合计")};
    long all = 0;
    for (long n : columnSums) {
        sumRow.push_back(num(n));
        all += n;
    }
    sumRow.push_back(num(all));
    ages.rows.push_back(std::move(sumRow));
    sheets.push_back(std::move(ages));

    for (const Tally& t : s.coded) sheets.push_back(tallySheet(t, reg::fromGb(t.title)));
    sheets.push_back(tallySheet(s.changes, QStringLiteral("期间变动")));
    return sheets;
}

}  // namespace query
