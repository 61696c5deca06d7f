// The install engine alone, without a release list, for the kill-loop tests:
//   swap-stepper install ARCHIVE FOLDER VERSION | restore FOLDER | recover FOLDER
// Every run recovers first, as KORU does; the last line counts the steps.
#include "platform/runtime/App.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/SwapStep.h"
#include "update/install/UpdateInstaller.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <fcntl.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 64;
    const QString folder = args.at(args.at(1) == u"install" ? 3 : 2);
    App::SetPath(folder);
    UpdateInstaller installer(folder, [](const QByteArray& line) { std::puts(line.constData()); });
    if (installer.Recover() == FolderSwap::Recovery::Damaged)
        return 4;
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
