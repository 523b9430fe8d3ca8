#pragma once
// A generated village with years of its life: births, deaths, moves in and out, households split,
// names corrected, old records deleted and one import of newcomers, written as the change history
// records them. The same for the same seed and start; the tests know every change it made.
#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

#include "core/register/history.h"
#include "samplegen.h"

namespace sample {

struct Village {
    QDate first;                               // the history's first day
    std::vector<Person> start;                 // the register when the history began
    std::vector<Person> today;                 // the register at the end
    std::vector<reg::history::Entry> entries;  // oldest first, with their times
    QDate importDay;  // the day of the one import; its copy is `importCopy`
    std::vector<Person> beforeImport;
    QString importCopy;

    // Each change of a person's registration, in date order.
    struct Change {
        QDate day;
        int kind;  // 户籍变动类型: 1 a household split, 2..6 moves in, 7..11 moves out, 12 birth,
                   // 13 death
        int sex;  // 0 male, 1 female
    };
    std::vector<Change> changes;

    // The start register's persons with a change dated in the year before `first`: births and
    // deaths there, known from the change fields only.
    int bornBefore = 0, diedBefore = 0;
};

// `persons` persons when the history begins on `first`; one change event every few days until
// `last`.
Village liveVillage(int persons, QDate first, QDate last, uint32_t seed);

// Writes the village's register of today and its history into `folder` (the register as
// 户籍数据.wav, the import's safety copy in 安全副本). False when a file could not be written.
bool writeVillage(const QString& folder, const Village& village);

}  // namespace sample
