// The editing service without windows: every operation done, refused and failed (the register
// then unchanged, the failure logged without person data), and a change of several records killed
// at random moments: all of its records changed or none, the history agreeing, its undo complete.
#include <sqlite3.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <set>

#include "common/crashops.h"
#include "core/edit/registereditor.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/programfolder.h"
#include "core/register/replacement.h"
#include "core/register/safetycopy.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/biff8.h"
#include "samplegen.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace reg;
using edit::Outcome;
using edit::RecordChange;

namespace {

using Kind = Outcome::Kind;

std::vector<crashops::Record> records(const QString& path) {
    RecordStore store;
    std::vector<crashops::Record> out;
    static_cast<void>(store.OpenTable(path));  // none when it does not open
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        out.push_back(history::currentValues(store));
    }
    return out;
}

crashops::Register registerOf(const QString& path) {
    crashops::Register out;
    for (const auto& r : records(path)) out[r[F序号 - 1]] = r;
    return out;
}

maint::EntryForm formOf(const std::vector<std::string>& values) {
    maint::EntryForm form;
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const std::string& v = values[size_t(pos - 1)];
        if (codeTableOf(pos))
            form.position[size_t(pos - 1)] = v.empty() ? 0 : std::stoi(v);
        else
            form.text[size_t(pos - 1)] = v;
    }
    return form;
}

// Makes an SQLite table of `path` refuse new and changed rows, as a full disk would.
void refuseWrites(const QString& path, const char* table) {
    sqlite3* db = nullptr;
    QVERIFY(sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK);
    const QByteArray sql = QByteArrayLiteral("CREATE TRIGGER no_insert BEFORE INSERT ON ") + table +
                           " BEGIN SELECT RAISE(ABORT, 'disk full'); END; "
                           "CREATE TRIGGER no_update BEFORE UPDATE ON " +
                           table + " BEGIN SELECT RAISE(ABORT, 'disk full'); END;";
    QVERIFY(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_close(db);
}

// A workbook whose sheet1 holds the heading row and new heads with these serial numbers.
QString writeWorkbook(const QString& path, const std::vector<std::string>& serials) {
    exchange::Biff8Spreadsheet book;
    if (!book.addWorkbook() || !book.renameWorksheet(QStringLiteral("sheet1"))) return {};
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const std::string column = exchange::columnLetter(pos);
        book.range(column + "1").setValue(fromGb(fieldName(pos)));
        for (size_t r = 0; r < serials.size(); ++r)
            book.range(column + std::to_string(r + 2))
                .setValue(fromGb(crashops::newHead(serials[r])[size_t(pos - 1)]));
    }
    return book.saveAs(path) ? path : QString();
}

std::vector<std::string> headings() {
    std::vector<std::string> out;
    for (int pos = 1; pos <= kFieldCount; ++pos) out.push_back(fieldName(pos));
    return out;
}

// Selects the second member of the first household that has two.
void selectMember(maint::RegisterView& view) {
    for (int h = 0; h < int(view.households().size()); ++h)
        if (view.households()[size_t(h)].persons.size() >= 2)
            return view.select(maint::RegisterView::Place{h, 1});
}

// The values of the selected person.
std::vector<std::string> selectedValues(edit::RegisterEditor& ed) {
    const std::string serial(maint::keyOf(ed.view().selectedText()));
    return registerOf(pathIn(ed.folder(), names::kRegister))[serial];
}

}  // namespace

class TestRegisterEditor : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { log::setFolder({}); }

    // Each operation as a window runs it, on a register of 30 persons with a person selected.
    // "refused" and "failed" leave the register as it was; only "failed" is logged.
    void eachOperation_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("fault");  // "", "refuse", "history", "register", "vanished"
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        namespace m = edit::msg;
        const auto row = [](const char* op, const char* fault, Kind kind, const QString& text) {
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(op, fault)))
                << QString::fromLatin1(op) << QString::fromLatin1(fault) << int(kind) << text;
        };
        row("add", "", Kind::Done, m::kAdded);
        row("add", "refuse", Kind::Refused, m::kSerialTaken);
        row("add", "history", Kind::Failed, m::kAddFailed);
        row("add", "register", Kind::Failed, m::kAddFailed);
        row("add", "vanished", Kind::Failed, m::kAddFailed);
        row("modify", "", Kind::Done, m::kModified);
        row("modify", "refuse", Kind::Refused, m::kSelectToModify);
        row("modify", "register", Kind::Failed, m::kModifyFailed);
        row("delete", "", Kind::Done, m::kDeleted);
        row("delete", "refuse", Kind::Refused, m::kSelectToDelete);
        row("delete", "history", Kind::Failed, m::kDeleteFailed);
        row("clear", "", Kind::Done, m::kCleared);
        row("clear", "refuse", Kind::Refused, m::kSelectToClear);
        row("clear", "register", Kind::Failed, m::kClearFailed);
        row("backup", "", Kind::Done, m::kBackedUp);
        row("backup", "refuse", Kind::Refused, m::kBackupFailed);
        row("backup", "vanished", Kind::Failed, m::kBackupFailed);
        row("restore", "", Kind::Done, m::kRestored);
        row("restore", "refuse", Kind::Refused, m::kRestoreFailed);
        row("restore", "history", Kind::Failed, m::kRestoreFailed);
        row("import", "", Kind::Done, exchange::msg::kImported);
        row("import", "refuse", Kind::Refused, exchange::msg::kOpenWorkbook);
        row("import", "history", Kind::Failed, exchange::msg::kImportFailed);
        row("import", "register", Kind::Failed, exchange::msg::kImportFailed);
        row("undo", "", Kind::Done, exchange::msg::kUndone);
        row("undo", "vanished", Kind::Failed, exchange::msg::kUndoFailed);
        row("batch", "", Kind::Done, m::kChanged);
        row("batch", "refuse", Kind::Refused, m::kNoSuchSerial.arg("999"));
        row("batch", "history", Kind::Failed, m::kChangeFailed);
        row("batch", "register", Kind::Failed, m::kChangeFailed);
    }

    void eachOperation() {
        QFETCH(QString, op);
        QFETCH(QString, fault);
        QFETCH(int, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString registerPath = pathIn(folder, names::kRegister);
        const QString backup = dir.filePath(QStringLiteral("旧.bak"));
        QVERIFY(sample::writeRegister(registerPath, 30, 5));
        QVERIFY(sample::writeRegister(backup, 12, 6));
        log::setFolder(folder);
        edit::RegisterEditor ed(folder);
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        selectMember(ed.view());
        const auto original = records(registerPath);
        // An undo needs a restore to reverse, made before the fault is planted.
        std::optional<history::Entry> target;
        if (op == "undo") {
            QVERIFY(ed.restore(backup).done());
            target = ed.undoable();
            QVERIFY(target);
            if (fault == "vanished") QVERIFY(files::remove(safety::pathOf(folder, target->copy)));
        }
        if (fault == "refuse" && op != "add" && op != "batch") ed.view().select(std::nullopt);
        if (fault == "history") {
            QVERIFY(history::settle(folder).setAside.isEmpty());
            refuseWrites(pathIn(folder, history::kFileName), "entries");
        }
        if (fault == "register") refuseWrites(registerPath, "records");
        if (fault == "vanished" && op == "add") QVERIFY(files::remove(registerPath));
        const auto before = records(registerPath);
        const size_t entriesBefore = history::entries(folder).size();

        Outcome out;
        if (op == "add") {
            maint::EntryForm form = formOf(crashops::newHead(fault == "refuse" ? "1" : "900"));
            out = ed.checkAdd(form);
            if (out.done()) out = ed.add(form);
        } else if (op == "modify") {
            maint::EntryForm form =
                formOf(ed.view().personSelected() ? selectedValues(ed) : crashops::newHead("1"));
            form[F工作单位] = gb("农机站");
            out = ed.checkModify(form);
            if (out.done()) out = ed.modify(form);
        } else if (op == "delete") {
            out = ed.remove();
        } else if (op == "clear") {
            out = ed.clear(gb("已迁出"));
        } else if (op == "backup") {
            out = ed.backUp(fault == "refuse"     ? QString()
                            : fault == "vanished" ? dir.filePath(QStringLiteral("无/x.bak"))
                                                  : dir.filePath(QStringLiteral("x.bak")));
        } else if (op == "restore") {
            out = ed.restore(fault == "refuse" ? dir.filePath(QStringLiteral("无.bak")) : backup);
        } else if (op == "import") {
            const QString book = dir.filePath(QStringLiteral("新户.xls"));
            if (fault != "refuse") QVERIFY(!writeWorkbook(book, {"501", "502"}).isEmpty());
            out = ed.import({folder, book, registerPath, headings()});
        } else if (op == "undo") {
            out = ed.undo(*target);
        } else if (op == "batch") {
            const std::string member(maint::keyOf(ed.view().selectedText()));
            auto changed = selectedValues(ed);
            changed[F工作单位 - 1] = gb("农机站");
            out = ed.applyChanges({{RecordChange::Kind::Add, {}, crashops::newHead("900")},
                                   {RecordChange::Kind::Modify, member, changed},
                                   {RecordChange::Kind::Delete,
                                    fault == "refuse" ? "999"
                                    : member == "30"  ? "29"
                                                      : "30",
                                    {}}});
        }
        QCOMPARE(int(out.kind), kind);
        QCOMPARE(out.message, message);

        const auto after = records(registerPath);
        const QByteArray logged = xlog(folder);
        if (out.kind != Kind::Done) {
            QCOMPARE(after, before);
            QCOMPARE(history::entries(folder).size(), entriesBefore);
            // A failure is logged with its reason; a refusal is the clerk's business only.
            QCOMPARE(logged.contains("失败"), out.kind == Kind::Failed);
            if (fault == "history" || fault == "register")
                QVERIFY2(logged.contains("constraint failed"), logged.constData());
            if (fault == "vanished") QVERIFY2(logged.contains("No such file"), logged.constData());
            return;
        }
        QVERIFY(logged.isEmpty());
        if (op == "backup") {
            QCOMPARE(after, before);
            return;
        }
        QVERIFY(after != before);
        QVERIFY(out.entry > 0);
        const auto entry = history::entry(folder, out.entry);
        QVERIFY(entry);
        if (op == "undo") QCOMPARE(after, original);
        // What the window paints: the edits of one person, or the whole view after a replacement.
        const bool onePerson = op == "add" || op == "modify" || op == "delete" || op == "clear";
        QCOMPARE(!out.edits.empty(), onePerson);
        QCOMPARE(out.wholeView, !onePerson);
        QVERIFY(out.counts);
        if (op == "batch") {
            // Its records are in the history beside it, naming its safety copy; the undo puts
            // back every one of them.
            const auto all = history::entries(folder);
            QCOMPARE(all.size(), entriesBefore + 4);
            for (size_t i = 0; i < 4; ++i) QCOMPARE(all[i].copy, entry->copy);
            QCOMPARE(int(entry->action), int(history::Action::Batch));
            QCOMPARE(entry->countAfter, long(after.size()));
            const QString question = exchange::undoQuestion(folder, *entry);
            QVERIFY2(
                question.contains(QStringLiteral("的批量变更（3 条记录，变更后共 30 条记录）")) &&
                    !question.contains(QStringLiteral("此后所做")),
                qPrintable(question));
            const Outcome undone = ed.undo(*entry);
            QVERIFY(undone.done());
            QCOMPARE(records(registerPath), before);
        }
    }

    // The line of a failed add names the reason and nothing of the person.
    void aFailedAddIsLoggedWithoutPersonData() {
        QTemporaryDir dir;
        const QString registerPath = pathIn(dir.path(), names::kRegister);
        QVERIFY(sample::writeRegister(registerPath, 10, 3));
        refuseWrites(registerPath, "records");
        log::setFolder(dir.path());
        edit::RegisterEditor ed(dir.path());
        ed.reload();
        auto person = crashops::newHead("987654");
        person[F公民身份号码 - 1] = "440524198001010018";
        maint::EntryForm form = formOf(person);
        QVERIFY(ed.checkAdd(form).done());
        const Outcome out = ed.add(form);
        QCOMPARE(int(out.kind), int(Kind::Failed));
        QVERIFY(out.reason.contains(QStringLiteral("constraint failed")));
        const QString logged = QString::fromUtf8(xlog(dir.path()));
        // The store's own line for the write, then the editor's for the clerk's action.
        QCOMPARE(logged.count(QLatin1Char('\n')), 2);
        QVERIFY2(
            logged.contains(QStringLiteral(" 失败 添加记录：写入户籍数据（constraint failed")) &&
                logged.contains(QStringLiteral("(SQLite ")),
            qPrintable(logged));
        for (const QString& secret :
             {QStringLiteral("987654"), fromGb(person[F姓名 - 1]), fromGb(person[F房屋详址 - 1]),
              QStringLiteral("440524198001010018")})
            QVERIFY2(!logged.contains(secret), qPrintable(secret));
    }

#ifdef Q_OS_UNIX
    // A child applies batches of adds, modifies and deletes (and undoes the last one now and
    // then), journaling each before it starts and after it ends; it is killed at random moments.
    void batchesKilledAreAllOrNothing() {
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString registerPath = pathIn(folder, names::kRegister);
        QVERIFY(sample::writeRegister(registerPath, 200, 8));
        crashops::Register now = registerOf(registerPath);
        long long seen = 0;
        int interrupted = 0, completed = 0;
        const int rounds = qEnvironmentVariableIntValue("HJ_CRASH_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("HJ_CRASH_ROUNDS")
                               : 15;
        for (int round = 1; round <= rounds; ++round) {
            const QString journal = dir.filePath(QStringLiteral("journal%1").arg(round));
            // Made here: a child killed before it wrote anything leaves it empty.
            QVERIFY(QFile(journal).open(QIODevice::WriteOnly));
            const pid_t pid = fork();
            QVERIFY(pid >= 0);
            if (pid == 0) runBatches(folder, journal, uint32_t(round));
            usleep(useconds_t(100000 + QRandomGenerator::global()->bounded(1400000)));
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);

            // Replay: every op that ended, then the one cut short.
            QFile f(journal);
            QVERIFY(f.open(QIODevice::ReadOnly));
            crashops::Register beforeBatch, cutBefore, cutAfter;
            std::vector<std::string> made, open;
            for (const QByteArray& line : f.readAll().split('\n')) {
                const QList<QByteArray> words = line.split(' ');
                if (words[0] == "B") {
                    cutBefore = now;
                    open = {};
                    if (words[1] == "undo") {
                        cutAfter = beforeBatch;
                        open.push_back("undo -");
                    } else {
                        cutAfter = now;
                        open.push_back("batch -");
                        for (int w = 2; w + 2 < words.size(); w += 3) {
                            const std::string op = words[w].toStdString();
                            const std::string serial = words[w + 1].toStdString();
                            crashops::apply(cutAfter, op, serial, words[w + 2].toStdString());
                            open.push_back(op + " " + serial);
                        }
                    }
                } else if (words[0] == "E" || words[0] == "F") {
                    if (words[0] == "E") {
                        if (open[0] == "batch -") beforeBatch = now;
                        now = cutAfter;
                        made.insert(made.end(), open.begin(), open.end());
                        ++completed;
                    }
                    open.clear();
                }
            }
            const crashops::Register found = registerOf(registerPath);
            const bool cutShortMade = !open.empty() && found == cutAfter;
            QVERIFY2(found == now || cutShortMade,
                     qPrintable(QStringLiteral("round %1: the register is neither before nor "
                                               "after %2")
                                    .arg(round)
                                    .arg(QString::fromStdString(open.empty() ? "-" : open[0]))));
            interrupted += !open.empty();
            if (cutShortMade) {
                made.insert(made.end(), open.begin(), open.end());
                now = found;
            }

            // The history, settled as the next start does, holds exactly what was made.
            QVERIFY(history::settle(folder).setAside.isEmpty());
            std::vector<std::string> recorded;
            const auto entries = history::entries(folder);
            for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
                if (e->id <= seen) continue;
                static const char* const ops[] = {"",         "add",    "modify",  "delete",
                                                  "clear",    "import", "restore", "undo",
                                                  "password", "batch"};
                recorded.push_back(std::string(ops[int(e->action)]) + " " +
                                   (e->serial.empty() ? "-" : e->serial));
                seen = e->id;
            }
            QVERIFY2(recorded == made,
                     qPrintable(QStringLiteral("round %1: %2 entries for %3 changes made")
                                    .arg(round)
                                    .arg(recorded.size())
                                    .arg(made.size())));
        }
        qInfo("%d batches and undos completed, %d cut short", completed, interrupted);
        QVERIFY(completed > 0);
    }
#endif

  private:
    static QByteArray xlog(const QString& folder) {
        QFile f(folder + QLatin1Char('/') + log::kFileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

#ifdef Q_OS_UNIX
    // The child's endless work. Serial numbers of new persons are new in every round.
    [[noreturn]] static void runBatches(const QString& folder, const QString& journal,
                                        uint32_t seed) {
        FILE* j = std::fopen(QFile::encodeName(journal).constData(), "a");
        QRandomGenerator rng(seed);
        edit::RegisterEditor ed(folder);
        (void)ed.settle();
        long long last = 0;  // the batch just made, which may be undone next
        for (int k = 0;; ++k) {
            if (last > 0 && rng.bounded(4) == 0) {
                std::fprintf(j, "B undo\n");
                std::fflush(j);
                const auto target = history::entry(folder, last);
                const bool undone = target && ed.undo(*target).done();
                std::fprintf(j, undone ? "E\n" : "F\n");
                std::fflush(j);
                last = 0;
                continue;
            }
            const crashops::Register now = registerOf(pathIn(folder, names::kRegister));
            std::vector<std::string> serials;
            for (const auto& [serial, record] : now) serials.push_back(serial);
            std::vector<RecordChange> changes;
            std::string line = "B batch";
            std::set<std::string> touched;
            for (int c = 0; c < 3 && !serials.empty(); ++c) {
                const std::string serial = serials[size_t(rng.bounded(int(serials.size())))];
                if (!touched.insert(serial).second) continue;
                if (rng.bounded(2)) {
                    const std::string value = "unit" + std::to_string(seed) + "-" +
                                              std::to_string(k) + "-" + std::to_string(c);
                    crashops::Record values = now.at(serial);
                    values[F工作单位 - 1] = value;
                    changes.push_back({RecordChange::Kind::Modify, serial, values});
                    line += " modify " + serial + " " + value;
                } else {
                    changes.push_back({RecordChange::Kind::Delete, serial, {}});
                    line += " delete " + serial + " -";
                }
            }
            for (int a = 0; a < 2; ++a) {
                const std::string serial = std::to_string(100000 * long(seed) + 10 * k + a + 1000);
                changes.push_back({RecordChange::Kind::Add, {}, crashops::newHead(serial)});
                line += " add " + serial + " -";
            }
            std::fprintf(j, "%s\n", line.c_str());
            std::fflush(j);
            const Outcome out = ed.applyChanges(changes);
            last = out.done() ? out.entry : 0;
            std::fprintf(j, out.done() ? "E\n" : "F\n");
            std::fflush(j);
        }
    }
#endif
};

QTEST_GUILESS_MAIN(TestRegisterEditor)
#include "tst_registereditor.moc"
