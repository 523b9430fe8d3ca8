#pragma once
// What the edit driver does to the register, op by op, so that the crash test can tell the
// register before an interrupted op from the register after it.
#include <map>
#include <string>
#include <vector>

#include "core/register/person.h"
#include "core/register/text.h"

namespace crashops {

using Record = std::vector<std::string>;
using Register = std::map<std::string, Record>;  // by 序号

// The head of a new household with serial number `serial`, valid under every entry rule.
inline Record newHead(const std::string& serial) {
    using namespace reg;
    Record v(kFieldCount);
    const std::string address = gb("崩溃村") + serial + gb("号");
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = address;
    v[F居住类型 - 1] = "1";
    v[F居住详址 - 1] = address;
    v[F户主姓名 - 1] = gb("韩") + serial;
    v[F与户主关系 - 1] = "1";
    v[F姓名 - 1] = gb("韩") + serial;
    v[F性别 - 1] = "1";
    v[F出生日期 - 1] = "19800101";
    v[F受教育程度 - 1] = "0";
    v[F婚姻类型 - 1] = "0";
    v[F民族 - 1] = "1";
    v[F户籍登记类型 - 1] = "1";
    v[F户籍变动类型 - 1] = "0";
    return v;
}

// A cleared record: number, address and remark kept, codes "0", other texts empty.
inline Record cleared(const Record& r) {
    using namespace reg;
    Record v(kFieldCount);
    for (int pos = 1; pos <= kFieldCount; ++pos)
        if (codeTableOf(pos)) v[size_t(pos - 1)] = "0";
    v[F序号 - 1] = r[F序号 - 1];
    v[F房屋详址 - 1] = r[F房屋详址 - 1];
    v[F备注 - 1] = r[F备注 - 1];
    return v;
}

// 分户 of one person, not the head, at `to` ("<new 序号>,<new 房屋详址>"): a household of its
// own, the person its head, the change 本村居内部迁移 on the driver's date.
inline void split(Register& reg, const std::string& serial, const std::string& to) {
    using namespace reg;
    if (!reg.count(serial)) return;
    const std::string newSerial = to.substr(0, to.find(','));
    const std::string address = to.substr(to.find(',') + 1);
    Record r = reg[serial];
    if (r[F居住详址 - 1] == r[F房屋详址 - 1]) r[F居住详址 - 1] = address;
    r[F房屋详址 - 1] = address;
    r[F序号 - 1] = newSerial;
    r[F户主姓名 - 1] = r[F姓名 - 1];
    r[F与户主关系 - 1] = "1";
    r[F户籍变动类型 - 1] = "1";
    r[F户籍变动日期 - 1] = "20240601";
    reg.erase(serial);
    reg[newSerial] = r;
}

// Applies one journal line's op ("add S", "modify S V", "delete S", "clear S", "split S T").
inline void apply(Register& reg, const std::string& op, const std::string& serial,
                  const std::string& value) {
    if (op == "add") reg[serial] = newHead(serial);
    if (op == "modify" && reg.count(serial)) reg[serial][reg::F工作单位 - 1] = value;
    if (op == "delete") reg.erase(serial);
    if (op == "clear" && reg.count(serial)) reg[serial] = cleared(reg[serial]);
    if (op == "split") split(reg, serial, value);
    // 合并: `serial` keeps its values but one, taken from `value`, which is deleted.
    if (op == "merge" && reg.count(serial) && reg.count(value)) {
        reg[serial][reg::F工作单位 - 1] = "merged" + value;
        reg.erase(value);
    }
}

// The register with what restore, import, merge and undo need: the backup's content, and the
// register as it was before the last restore or import, which an undo puts back.
struct Model {
    Register now, beforeReplacement, backup;
    bool undoable = false;
};

inline void apply(Model& m, const std::string& op, const std::string& serial,
                  const std::string& value) {
    if (op == "restore" || op == "import" || op == "merge") {
        m.beforeReplacement = m.now;
        m.undoable = true;
    }
    if (op == "restore") m.now = m.backup;
    if (op == "import")
        for (long s : {std::stol(serial), std::stol(serial) + 1})
            m.now[std::to_string(s)] = newHead(std::to_string(s));
    if (op == "undo" && m.undoable) {
        m.now = m.beforeReplacement;
        m.undoable = false;
    }
    apply(m.now, op, serial, value);
}

}  // namespace crashops
