#pragma once
// Quick find: the persons whose name, pronunciation, identity number or serial number answer
// what the clerk has typed so far. The index is built once from the register and answers each
// keystroke from memory. Texts are GB18030 byte strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reg {
class RecordStore;
}

namespace query {

// How a person answers the needle, the best first; a person is listed once, by the best.
enum class FindRank {
    Name,       // the needle is the whole name
    NamePart,   // the needle is part of the name
    Homophone,  // the needle sounds like the name or part of it ("==" of the query)
    Pinyin,     // letters: the readings of the name in full, initials or both, the last cut short
    Serial,     // digits: the 序号
    IdNumber,   // four or more digits (or with the check letter X): part of the identity number
};

struct FindHit {
    long serial = 0;
    std::string serialText, name, address, birth;  // 序号, 姓名, 房屋详址, 出生日期
    FindRank rank = FindRank::Name;
};

struct FindResult {
    std::vector<FindHit> hits;  // at most the limit, by rank, then by 序号
    std::size_t total = 0;      // every person that matched
};

class QuickFind {
  public:
    // The undeleted records of the store's current table (the register, opened by the caller).
    static QuickFind fromStore(reg::RecordStore& store);

    // One person; the fields as the register stores them.
    void add(std::string serial, std::string name, std::string address, std::string birth,
             std::string idNumber);
    std::size_t size() const { return persons_.size(); }

    // The persons matching `needle`, ranked. Blanks around it are ignored; so are blanks between
    // letters ("zhang xiao ming"). An empty needle finds nobody.
    FindResult find(std::string_view needle, std::size_t limit) const;

  private:
    struct Person {
        long serial;
        std::string serialText, name, address, birth, idNumber;
        std::uint32_t firstChar;  // into chars_
        std::uint8_t charCount;
    };
    // The readings of one character of a name, coded as in pinyin_table.h.
    struct Char {
        std::uint16_t code[3];
        std::uint8_t count;
    };

    bool pinyinMatch(const Person& p, std::string_view letters) const;
    bool pinyinFrom(std::uint32_t c, std::uint32_t end, std::string_view rest) const;

    std::vector<Person> persons_;
    std::vector<Char> chars_;
};

// The spelling of a reading code of pinyin_table.h, "zhang"; empty for no reading.
std::string_view spellingOf(std::uint16_t code);

}  // namespace query
