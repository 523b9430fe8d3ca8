#pragma once
// Persons entered twice: pairs of records that are likely one person, found by identity numbers
// that agree or differ by a typing slip, and by names that sound alike with the same birth date
// or one a slip away. Records are bucketed by keys that such pairs share, so the scan grows with
// the register, not with its square. Texts are GB18030, values the 22 fields in column order.
#include <QString>
#include <string>
#include <vector>

#include "core/edit/registereditor.h"

namespace edit::dup {

enum class Reason {
    SameIdentity,       // the same 公民身份号码
    IdentityOneDigit,   // numbers differ in one character
    IdentitySwap,       // numbers differ by two neighbouring characters swapped
    NameSameBirth,      // names alike by pronunciation, the same birth date
    NameBirthOneDigit,  // names alike, birth dates differ in one digit
    NameBirthSwap,      // names alike, day and month of the birth date swapped
};

// The reason as the window says it, e.g. "身份号码相同".
QString reasonText(Reason reason);

struct Pair {
    size_t a = 0, b = 0;  // indexes into the scanned persons, a < b
    Reason reason = Reason::SameIdentity;
    int score = 0;  // 0..100, higher is more likely one person
};

// The likely pairs among `persons`, best score first (then by a, b). A pair appears once, with
// its strongest reason.
std::vector<Pair> findPairs(const std::vector<std::vector<std::string>>& persons);

// A digest of a record's values: any change of the record changes it.
std::string valuesDigest(const std::vector<std::string>& values);

// Every unmarked record of the register file at `path`, and with `records` the physical number
// of each (what tells apart two records sharing a 序号); false when it does not open.
bool readRegister(const QString& path, std::vector<std::vector<std::string>>& persons,
                  std::vector<long>* records = nullptr);

// The pairs the clerk said are two persons, kept in 重复核对记录.wav of the program folder and
// keyed on both records' digests, so that a decision lapses when either record changes.
class Dismissals {
  public:
    explicit Dismissals(QString folder);
    // Whether the pair of records with these values was dismissed as they are now.
    [[nodiscard]] bool contains(const std::vector<std::string>& a,
                                const std::vector<std::string>& b) const;
    // Remembers the pair; false (logged) when the file cannot be written.
    [[nodiscard]] bool add(const std::vector<std::string>& a, const std::vector<std::string>& b);
    // Reads the file again (after another window wrote it).
    void reload();

  private:
    QString folder_;
    std::vector<std::string> keys_;  // sorted
};

inline const QString kDismissalsFile = QStringLiteral("重复核对记录.wav");

// The change that merges `drop` into `keep`: `keep` takes `values` (its own 序号 stays), `drop`
// is deleted; one operation of the editor, undone as one.
std::vector<RecordChange> mergeChanges(const std::vector<std::string>& keep,
                                       const std::vector<std::string>& drop,
                                       std::vector<std::string> values);

}  // namespace edit::dup
