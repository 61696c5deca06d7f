// The install engine alone, without a release list, for the kill-loop tests:
//   swap-stepper [--walk] install ARCHIVE FOLDER VERSION | restore FOLDER | recover FOLDER
// Every run recovers first, as KORU does; the last line counts the steps.
// KORU_SWAP_STOP_AFTER=N ends it right after step N; --walk opens paths by
// the walk that kernels without openat2 get.
#include "SwapStepper.h"
#include "platform/runtime/App.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/BeneathFolder.h"
#include "update/install/SwapStep.h"
#include "update/install/UpdateInstaller.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

qint64 stopAfter = -1;

void StopAt(qint64 passed) {
    if (passed == stopAfter)
        ::_exit(stoppedStatus);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.value(1) == u"--walk") {
        BeneathFolder::UseWalk();
        args.removeAt(1);
    }
    if (args.size() < 3)
        return 64;
    if (const char* stop = std::getenv(stopAfterVariable)) {
        stopAfter = std::atoll(stop);
        SwapStep::SetObserver(StopAt);
    }
    const QString folder = args.at(args.at(1) == u"install" ? 3 : 2);
    App::SetPath(folder);
    const FolderSwap::Say say = [](const QByteArray& line) { std::puts(line.constData()); };
    if (UpdateInstaller::AtStart(folder, say) == FolderSwap::Recovery::Damaged)
        return 4;
    UpdateInstaller installer(folder, say);
    QByteArray why;
    if (args.at(1) == u"install") {
        const QByteArray version = args.value(4).toUtf8();
        const int fd = ::open(QFile::encodeName(args.at(2)).constData(), O_RDONLY | O_CLOEXEC);
        const InstallPlan plan =
            ArchiveVetting::Vet(fd, folder, version, FolderRoom::Of(folder), false);
        why = plan.Installable() ? installer.Install(fd, plan, version) : plan.problem;
    } else if (args.at(1) == u"restore") {
        why = installer.Restore();
    }
    std::printf("%s\nsteps %lld\n", why.constData(), SwapStep::Count());
    return why.isEmpty() ? 0 : 2;
}
