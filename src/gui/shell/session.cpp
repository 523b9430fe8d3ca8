#include "gui/shell/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>

#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/programfolder.h"
#include "core/register/workfiles.h"
#include "core/session/startup.h"
#include "gui/ui/desktop.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#endif

namespace shell {

Session::Session(QString folder, ui::Dialogs& dialogs, Action quit, Opener open)
    : folder_(std::move(folder)),
      dialogs_(dialogs),
      quit_(std::move(quit)),
      open_(std::move(open)) {}

Session::~Session() = default;

void Session::exitProgram(bool closeStores, bool ask) {
    if (ended_) return;
    ended_ = true;
    if (closeStores)
        for (const Action& close : storeClosers_) close();
    if (ownsFolder_ && closeStores)
        reg::autobackup::atExit(folder_, QDateTime::currentDateTime(),
                                [this, ask](const QString& t) {
                                    if (ask) dialogs_.notice(t);
                                });
    if (ownsFolder_) clearAtExit(folder_, lock_);
    quit_();
}

#ifndef _WIN32
namespace {

// A signal handler may only write to a pipe; the window thread reads it and runs the exit
// routine there.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

void exitOnSignals(Session& session) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&session, notifier] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        session.exitProgram(true, false);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace
#endif

std::unique_ptr<Session> Session::forProgram() {
    QCommandLineParser options;
    const QCommandLineOption folderOption(QStringLiteral("folder"),
                                          QStringLiteral("程序文件夹（户籍数据所在的文件夹）"),
                                          QStringLiteral("DIR"));
    options.addOption(folderOption);
    options.process(QCoreApplication::arguments());  // an unknown option ends with a message
    const FolderChoice choice =
        chooseProgramFolder(options.value(folderOption), reg::programFolder(),
                            reg::userDataFolder(), reg::files::canWriteIn);

    auto dialogs = std::make_unique<ui::QtDialogs>();
    auto session = std::make_unique<Session>(
        choice.folder, *dialogs, [] { QCoreApplication::exit(0); },
        [](const QUrl& url) { QDesktopServices::openUrl(url); });
    session->ownDialogs_ = std::move(dialogs);
    session->setFolderProblem(choice.problem);
    session->setOpenCheck([](const QUrl& url) { return ui::desktopCanOpen(url.toLocalFile()); });
#ifndef _WIN32
    exitOnSignals(*session);
#endif
    return session;
}

}  // namespace shell
