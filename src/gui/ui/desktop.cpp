#include "gui/ui/desktop.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QTextStream>
#include <QTranslator>

#include "core/register/programfolder.h"

namespace ui {

QStringList qtTranslationFolders(const QString& executableFolder) {
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath), executableFolder,
            reg::installedFilesFolder(executableFolder)};
}

bool loadQtTranslation(const QStringList& folders) {
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) &&
            QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}

namespace {

// Whether a desktop entry of that id is installed in one of the data folders.
bool entryExists(const QString& id, const QStringList& dataFolders) {
    for (const QString& data : dataFolders)
        if (QFileInfo::exists(data + QStringLiteral("/applications/") + id)) return true;
    return false;
}

// Reads one association list: `type=id;id;` lines in the sections that name handlers.
bool listsHandler(const QString& path, const QStringList& mimeTypes,
                  const QStringList& dataFolders) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextStream in(&file);
    bool handlers = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            handlers = line == u"[Default Applications]" || line == u"[Added Associations]" ||
                       line == u"[MIME Cache]";
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!handlers || eq <= 0 || !mimeTypes.contains(line.left(eq).trimmed())) continue;
        for (const QString& id : line.mid(eq + 1).split(u';', Qt::SkipEmptyParts))
            if (entryExists(id.trimmed(), dataFolders)) return true;
    }
    return false;
}

}  // namespace

bool handlerListed(const QStringList& mimeTypes, const QStringList& dataFolders,
                   const QStringList& configFolders) {
    QStringList lists;
    for (const QString& config : configFolders) lists << config + QStringLiteral("/mimeapps.list");
    for (const QString& data : dataFolders)
        for (const char16_t* name : {u"mimeapps.list", u"defaults.list", u"mimeinfo.cache"})
            lists << data + QStringLiteral("/applications/") + QString::fromUtf16(name);
    for (const QString& list : lists)
        if (listsHandler(list, mimeTypes, dataFolders)) return true;
    return false;
}

bool desktopCanOpen(const QString& path) {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    Q_UNUSED(path);
    return true;
#else
    // Qt hands documents to xdg-open, which opens only what an application is registered for.
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    return handlerListed(QStringList{type.name()} + type.aliases(),
                         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation),
                         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation));
#endif
}

}  // namespace ui
