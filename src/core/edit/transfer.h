#pragma once
// Spreadsheet import and export on the record store, free of widgets and dialogs. Each pipeline
// answers what happened (an Outcome with the message to show, if any); the window shows it, asks
// for the file name when the pipeline calls for it, and moves progress bars and buttons through
// the callbacks.
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "core/workbook/spreadsheet.h"
#include "core/workbook/tablewriter.h"

namespace exchange {

namespace msg {
inline const QString kNoSpreadsheet = QStringLiteral("您的计算机上未安装EXCEL程序！");
inline const QString kChooseRegister = QStringLiteral("请选择本软件安装目录下<户籍数据.wav>！");
inline const QString kOpenWorkbook = QStringLiteral("请打开需要导入的XLS文件！");
inline const QString kOpenRegister = QStringLiteral("请打开本软件安装目录下<户籍数据.wav>！");
inline const QString kImported = QStringLiteral("  导入成功");
// Where the designed messages are silent.
inline const QString kNoSheet1 =
    QStringLiteral("表格文件中没有名为sheet1的工作表，请按<户籍表格>的说明编排！");
inline const QString kEmptySheet = QStringLiteral("表格文件的sheet1工作表是空的！");
inline const QString kTooManyColumns =
    QStringLiteral("表格文件超过26列，请按<户籍表格>的说明编排！");
inline const QString kImportFailed = QStringLiteral("导入失败，户籍数据没有改变！");
inline const QString kSaveFailed = QStringLiteral("表格文件保存失败，请换一个位置重新导出！");
// A text longer than one cell of a workbook holds (32,767 characters in .xls and .xlsx alike),
// named by the person's 序号 and 姓名 and the field.
QString textTooLongForCell(const QString& serial, const QString& name, const QString& field);
}  // namespace msg

// What a pipeline did. The message, when there is one, is the last thing the clerk sees of it.
struct Outcome {
    enum class Kind { Silent, Warning, Notice };
    bool ok = false;  // the workbook saved, or the rows imported
    Kind kind = Kind::Silent;
    QString message;

    static Outcome warning(const QString& text) { return {false, Kind::Warning, text}; }
};

// Asked once the sheets are written: the path to save the workbook as, empty when the clerk
// cancelled. The kind of workbook follows the name (see spreadsheet.h).
using SavePath = std::function<QString()>;

// The exports write through writeTable (tablewriter.h): kPersonsPerSheet persons to an .xls
// worksheet, a longer export going on in "Sheet2", "Sheet3" ... with the same heading row.

// The register export of the import/export window: the table at `registerPath` (normally the
// register file) copied, codes turned into names, sorted by 序号, written to a workbook that the
// clerk saves. `started` runs once the table is open and the spreadsheet created.
Outcome exportRegister(const QString& folder, const QString& registerPath, const SavePath& savePath,
                       const Progress& progress, const std::function<void()>& started = {},
                       const SpreadsheetFactory& factory = createSpreadsheet);

// The result export of the information-management window: the query result 临时数据.wav of
// `folder` written the same way; 临时数据.wav and 临时排序.wav are gone afterwards. `started`
// runs once the spreadsheet is created (the window shows its progress bar then).
// With `maskIdentity`, each 公民身份号码 keeps only its first six and last four characters (for a
// list that leaves the office); the whole-register export stays complete.
Outcome exportQueryResult(const QString& folder, const SavePath& savePath, const Progress& progress,
                          const std::function<void()>& started = {},
                          const SpreadsheetFactory& factory = createSpreadsheet,
                          bool maskIdentity = false);

struct ImportRequest {
    QString folder;                     // the program folder, whose register gets the codes
    QString workbookPath;               // 编辑框A1
    QString storePath;                  // 编辑框A2
    std::vector<std::string> headings;  // 列表框A1, GB18030
    // Runs once the rows are read and the table is open, before anything is written; false
    // stops the import with kImportFailed.
    std::function<bool()> beforeWriting = {};
    // Rows (by index among the rows read) left out, e.g. persons the register already holds.
    std::vector<bool> leaveOut = {};
};

// Appends the rows of sheet1 to the chosen table and turns code names into codes in the
// register. All or nothing: when a write fails nothing of the import stays. `started` runs once
// the table is open, `animate` after the rows are in. A text wider than its field is cut to the
// field's width at a character boundary, so that the register never holds more than it declares. ok
// with the notice "  导入成功" when the rows are in.
Outcome importWorkbook(const ImportRequest& request, const std::function<void()>& started = {},
                       const std::function<void()>& animate = {});

// The template workbook: "Sheet1" with the 22 headings in row 1, and a sheet explaining them.
bool writeTemplate(const QString& path);

}  // namespace exchange
