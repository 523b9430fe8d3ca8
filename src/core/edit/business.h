#pragma once
// The counter's business: the life events and household changes a clerk records (a birth, a
// move in or out, a death, a new head, a household split or joined to another). Each is planned
// here as every record it changes, before and after, so that the clerk sees all of it in one
// confirmation, may correct what the register cannot settle, and the editing service writes it
// as one operation. Planning only reads the register.
//
// Texts are GB18030, like every stored text; codes are stored codes ("1".."11" for 与户主关系).
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/register/store.h"

namespace edit {

enum class Business { Birth, MoveIn, MoveOut, Death, ChangeHead, Split, Join };
constexpr int kBusinessCount = 7;

// The business's name, as the tree's submenu, the window and the history show it: "出生登记",
// "迁入登记", "迁出注销", "死亡注销", "变更户主", "分户", "并入他户".
QString businessName(Business business);

// A proposed 与户主关系 (code 1..11). `check`: the register cannot tell which relation is true
// (a 孙子女 of the old head may be the new head's child or a nephew); the clerk must look at it.
struct RelationProposal {
    int code = 0;
    bool check = false;
    bool operator==(const RelationProposal&) const = default;
};

// A member's relation to a new head of its household, from the member's relation to the old
// head and the new head's relation to the old head (both 1..11). The new head itself is 1; the
// old head is what it is to the new head. A case no rule covers answers 11 (其他) to check.
RelationProposal reexpress(int memberToOldHead, int newHeadToOldHead);

// What the household tells beyond the two codes: the new head's 性别 (1 男, 2 女, 0 unknown),
// and how many 子女 and 媳婿 of the old head it holds (a 媳婿 is the new head's 配偶 for sure
// only when the new head is the one 子女 and the 媳婿 the one 媳婿).
struct RelationContext {
    int newHeadSex = 0;
    int children = 0;
    int childrenInLaw = 0;
};
// The same with the household's facts: the cases the codes alone leave open are settled where
// the facts settle them (the old head's 父母 are the new head's 公爹公婆 or 岳父岳母 by its sex).
RelationProposal reexpress(int memberToOldHead, int newHeadToOldHead,
                           const RelationContext& context);

// A newborn's relation to the head, from the chosen parent's relation to the head (a child of
// the head or the spouse: 子女; of a 子女 or 媳婿: 孙子女 …).
RelationProposal childRelation(int parentToHead);

// One record a business changes: its values now (none for a new record) and after it, both 22
// values in column order; the fields of `after` whose proposal the clerk must check (positions
// 1..22, e.g. reg::F与户主关系).
struct PlannedRecord {
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::vector<int> toCheck;
};

// What the clerk asked for. Which fields a business reads:
//   all          business, household (房屋详址 of the household it starts from), date (YYYYMMDD)
//   Birth        members: the chosen parent's 序号 (may be empty); newcomers: one record, of which
//                序号, 姓名, 性别, 出生日期 are typed and every empty field is proposed from the
//                head
//   MoveIn       newcomers (one or more, as typed; empty fields proposed from the head when they
//                join an existing household); household empty: they form a new household at
//                target, the newcomer with 与户主关系 1 its head; kind (2..6 or 1), place
//                (迁自何地)
//   MoveOut      members; kind (7..11); place (迁往何地); newHead when the head leaves and
//                members stay
//   Death        members; newHead as for MoveOut (kind is 13)
//   ChangeHead   newHead
//   Split        members (they leave); target (the new 房屋详址); newHead (one of members);
//                remainingHead when the old head is among members and others stay. They take
//                the 序号 right after their old household (after every record when there is no
//                room), so that no other record moves in the register
//   Join         members; target (房屋详址 of the existing household they join); remainingHead
//                as for Split
struct Request {
    Business business = Business::Birth;
    std::string household;
    std::vector<std::string> members;
    std::string newHead;
    std::string remainingHead;
    std::string target;
    std::string kind;
    std::string date;
    std::string place;
    std::vector<std::vector<std::string>> newcomers;
};

// A business planned: its title for the history ("分户 王建国户": the business's name and the
// household's head's 姓名 + 户) and its records, those of the household first, in 序号 order.
struct Plan {
    Business business = Business::Birth;
    std::string title;
    std::vector<PlannedRecord> records;
};

// The plan, or the reason it cannot be made (no such household or person, a date that is no
// date, before the person's birth or after `today`, a missing kind or place, a head leaving
// members behind without a new head …), as a message for a warning (GB18030).
struct Planned {
    std::optional<Plan> plan;
    std::string refusal;
};
Planned plan(reg::RecordStore& store, const Request& request, std::string_view today);

// The household of `address` in 序号 order: each member's 22 values.
std::vector<std::vector<std::string>> household(reg::RecordStore& store, std::string_view address);

// A free 序号 for `count` new records of the household at `address` that keeps the households
// in their order (between its last member and the next household's first; after every record
// for a new household), as texts the serial rule accepts.
std::vector<std::string> freeSerials(reg::RecordStore& store, std::string_view address, int count);

}  // namespace edit
