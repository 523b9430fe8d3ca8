#pragma once
// Names of the files in the program folder, and the paths made from them.
#include <QString>

namespace reg::names {

inline const QString kRegister = QStringLiteral("户籍数据.wav");
inline const QString kPassword = QStringLiteral("CHSYSCFG.wav");
inline const QString kLock = QStringLiteral("CHHJTEMP");
inline const QString kHelp = QStringLiteral("帮助文档.chm");
inline const QString kTemplate = QStringLiteral("户籍表格.xls");
// The help's HTML pages, for desktops without a viewer for the compiled help.
inline const QString kHelpPages = QStringLiteral("帮助文档");
inline const QString kHelpFirstPage = QStringLiteral("帮助文档/index.html");
#ifdef _WIN32
inline const QString kExecutable = QStringLiteral("澄禾户籍.exe");
#else
inline const QString kExecutable = QStringLiteral("澄禾户籍");
#endif

// Working files: they live only while a window needs them.
inline const QString kQueryResult = QStringLiteral("临时数据.wav");
inline const QString kSorted = QStringLiteral("临时排序.wav");
inline const QString kExportCopy = QStringLiteral("临时导出.wav");
inline const QString kExportSorted = QStringLiteral("排序导出.wav");
inline const QString kIndex = QStringLiteral("临时索引.enx");
inline const QString kRestoreStage = QStringLiteral("临时备份.bak");

// The six working files in the order the exit routine clears and deletes them.
inline const QString kWorkingFiles[] = {kQueryResult,  kSorted, kExportCopy,
                                        kExportSorted, kIndex,  kRestoreStage};

}  // namespace reg::names

namespace reg {

// The folder of the executable, where every file of the program lies.
QString programFolder();
// A path in `folder` (the program folder when empty) for one of the names above.
QString pathIn(const QString& folder, const QString& name);

}  // namespace reg
