#pragma once
// The program on the user's desktop: Qt's own texts in Chinese, and whether the desktop has a
// program that shows a given file.
#include <QString>
#include <QStringList>

namespace ui {

// Where Qt's Chinese texts (qtbase_zh_CN.qm) are looked for, in order: Qt's own translations,
// the executable's folder (a copied program folder, a Windows package), the installed program
// files.
QStringList qtTranslationFolders(const QString& executableFolder);
// Installs the first qtbase_zh_CN.qm found in `folders`, so that Qt's own buttons and file
// dialogs speak Chinese. False when there is none; Qt's texts then stay English.
bool loadQtTranslation(const QStringList& folders);

// Whether the desktop can show the file at `path`. Windows always can (its shell opens the help
// file itself); on Linux it needs xdg-open and an application registered for the file's type.
bool desktopCanOpen(const QString& path);
// Whether one of `mimeTypes` has an application whose desktop entry exists, in the desktop's
// association lists (mimeapps.list, mimeinfo.cache) under the given XDG folders.
bool handlerListed(const QStringList& mimeTypes, const QStringList& dataFolders,
                   const QStringList& configFolders);

}  // namespace ui
