#pragma once
// A household's register card, collected without widgets: who belongs to it, in which order,
// and the texts of every line, so that the printing only has to draw them.
#include <QDate>
#include <QString>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/register/store.h"

namespace maint {

// One line of a member's block: one wide field, or three fields side by side.
using CardLine = std::vector<std::pair<QString, QString>>;  // (caption, value)

struct CardMember {
    std::vector<CardLine> lines;
};

struct RegisterCard {
    QString address;   // 房屋详址
    QString headName;  // the head's 姓名; the members' 户主姓名 when the household has no head
    bool hasHead = false;
    std::vector<CardMember> members;  // heads first, then the others by serial number
    QDate printed;
};

// "1980年1月1日" for an eight-digit date that names a real day; any other text unchanged.
QString cardDate(std::string_view stored);

// The household of a tree line of the current table: a person label ("序号:户主:姓名") names the
// household of that person, an address line the household at that address. nullopt when no
// unmarked record belongs to it.
std::optional<RegisterCard> registerCardFor(reg::RecordStore& store, std::string_view line,
                                            QDate printed);

// The members a page holds; a larger household continues on the next page.
constexpr int kMembersPerPage = 3;

}  // namespace maint
