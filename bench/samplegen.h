#pragma once
// Realistic sample registers, the same for the same seed on every machine: the benchmarks, the
// tests and a newcomer who wants a register to explore all use them.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sample {

// One person: the 22 GB18030 values in column order.
using Person = std::vector<std::string>;

// `persons` persons in households of 1 to 8, one head (与户主关系 "1") each and the head's
// members right after it. 序号 runs 1..persons in this order, so a household's serial numbers
// are consecutive.
std::vector<Person> generate(int persons, uint32_t seed);

// Puts the persons in a random order that depends only on the seed (for sorting).
void shuffle(std::vector<Person>& people, uint32_t seed);

// Writes a new register file at `path` holding `people` in their order, replacing any file
// there only once the new one is complete. False when it could not be written.
bool writeRegister(const QString& path, const std::vector<Person>& people);
// True when nothing of value stands at `path`: no file, or a register without records. Anything
// else (a register holding records, a file that is no register) is only replaced on request.
bool mayReplaceQuietly(const QString& path);

// Writes a generated register; `shuffled` stores it out of serial order.
bool writeRegister(const QString& path, int persons, uint32_t seed, bool shuffled = false);

// The faults the register health check looks for, one kind each.
enum class Fault {
    CheckDigit,  // the identity number's last character altered
    IdDate,      // 出生日期 a day off the date inside the identity number
    IdSex,       // 性别 the other one than the sequence digit says
    IdLetter,    // a letter inside the identity number
    IdLength,    // an identity number of 16 characters
    BadDate,     // 出生日期 20130231
    FutureDate,  // 户籍变动日期 in the future
    MarriedBeforeBirth,
    SameId,         // the identity number of the person before
    SamePerson,     // 姓名 and 出生日期 of the person before, at the same address
    NoHead,         // the head turned into a child
    SecondHead,     // a member made head as well
    WrongHeadName,  // 户主姓名 that names nobody
    SplitAddress,   // 序号 swapped with a person of another household
    Cleared,        // a placeholder, as the clear button leaves one
};
constexpr int kFaultKinds = 15;

// Plants one fault of a random kind into about `percent` % of the persons, by a rule that depends
// only on the seed; the kinds that need a neighbour skip the first person. Answers how many of each
// kind were planted, indexed by Fault.
std::vector<int> plantFaults(std::vector<Person>& people, int percent, uint32_t seed);

// The check character of an 18-character identity number from its first 17 digits
// (ISO 7064 MOD 11-2): '0'..'9' or 'X'; 0 when the text is not 17 digits.
char idCheckCharacter(std::string_view first17);

}  // namespace sample
