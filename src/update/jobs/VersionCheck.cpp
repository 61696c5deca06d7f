#include "update/jobs/VersionCheck.h"

#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/jobs/ServiceMode.h"

void VersionCheck::Start(const JobTools& tools, EndHandler onEnd) {
    tools_ = tools;
    outcome_ = {};
    Begin(std::move(onEnd));
    tools_.log->SetText({});
    tools_.log->Append("Checking for VANTO Updates...\r\n");
    if (SavedTransfer::Unstartable(tools_)) {
        CheckInstalled(); // the first transfer says why it cannot start
        return;
    }
    releaseCheck_.Start(*tools_.engine, **tools_.connection, tools_.server, tools_.vantoFolder,
                        *tools_.releaseList,
                        [this](const ReleaseCheck::Outcome& release) { ReleaseChecked(release); });
}

void VersionCheck::ReleaseChecked(const ReleaseCheck::Outcome& release) {
    if (release.failure) {
        ++outcome_.failures;
        tools_.log->AppendOnNewLine(SavedTransfer::FailureLine(release.path, release.failure.text));
        EndWithoutVerdict();
        return;
    }
    if (!release.logLine.isEmpty())
        tools_.log->Append(release.logLine + "\r\n");
    CheckInstalled();
}

void VersionCheck::CheckInstalled() {
    const QByteArray installed =
        VersionFiles::InstalledVersionText(tools_.LocalFile(FolderPaths::installedVersion));
    installed_ = installed != VersionFiles::noInstallation;
    if (installed_) {
        outcome_.localVersion = VersionFiles::VersionNumber(installed);
        Run({}, nullptr, &VersionCheck::SwitchAsked);
        return;
    }
    tools_.log->Append("NO VALID VANTO.INI FOUND!\r\n");
    tools_.log->Append("This should never normally happen.\r\n");
    tools_.log->AppendSeparator();
    // The switch is asked before the help links, as the first transfer does.
    if (*tools_.serviceMode == serviceNotChecked)
        Run({}, nullptr, &VersionCheck::SwitchAsked);
    else
        CheckHelpLinks();
}

void VersionCheck::SwitchAsked(const SavedTransfer::Outcome& transfer) {
    if (transfer.ending == SavedTransfer::Ending::Failed)
        End(outcome_);
    else if (installed_)
        Run(ServerPaths::versionFile, FolderPaths::scratchText, &VersionCheck::VersionFetched);
    else
        CheckHelpLinks();
}

void VersionCheck::VersionFetched(const SavedTransfer::Outcome& transfer) {
    const QByteArray& text = *tools_.text;
    JobLog& log = *tools_.log;
    if (*tools_.serviceMode == serviceOff) {
        log.SetText(text + "\r\n");
        log.AppendSeparator();
        FetchNews();
        return;
    }
    if (transfer.ending != SavedTransfer::Ending::Done) {
        outcome_.offers.vanto = false;
    } else if (Newer(VersionFiles::OfferedVersionText(text))) {
        outcome_.offers.vanto = true;
        log.Append("\r\n" + text + "\r\n");
    } else {
        outcome_.offers.vanto = false;
        if (transfer.notFound)
            log.Append("FAILED TO FIND UPDATE FILE ON THE SERVER\r\n");
        else
            log.Append("You already have the most recent VANTO.\r\n");
    }
    log.AppendSeparator();
    CheckHelpLinks();
}

bool VersionCheck::Newer(const QByteArray& offered) {
    outcome_.remoteVersion = VersionFiles::VersionNumber(offered);
    return VersionFiles::IsNewer(*outcome_.localVersion, *outcome_.remoteVersion);
}

void VersionCheck::CheckHelpLinks() {
    tools_.log->Append("Checking for Help Link updates... ");
    Run(ServerPaths::helpLinks, FolderPaths::scratchText, &VersionCheck::ListFetched);
}

void VersionCheck::ListFetched(const SavedTransfer::Outcome& transfer) {
    JobLog& log = *tools_.log;
    if (transfer.ending == SavedTransfer::Ending::Done && transfer.notFound) {
        // No list is no set of help links: nothing to compare or offer.
        log.Append("\r\nFAILED TO FIND HELP LINKS ON THE SERVER\r\n");
        log.AppendSeparator();
        outcome_.offers.helpLinks = false;
    } else if (transfer.ending == SavedTransfer::Ending::Done) {
        log.Append("\r\n");
        CompareHelpLinkStamps();
    } else {
        // Nothing fetched: the scratch file holds an older answer, never a stamp.
        outcome_.offers.helpLinks = false;
        if (transfer.ending == SavedTransfer::Ending::Failed)
            log.AppendSeparator();
    }
    FetchNews();
}

void VersionCheck::CompareHelpLinkStamps() {
    JobLog& log = *tools_.log;
    QByteArray oldStamp;
    QByteArray newStamp;
    try {
        oldStamp = VersionFiles::ReadStamp(tools_.LocalFile(FolderPaths::helpLinksStamp));
        newStamp = VersionFiles::ReadStamp(tools_.LocalFile(FolderPaths::scratchText));
    } catch (const RuntimeError& e) {
        // A VANTO folder without files/koru has no stamp to compare: this
        // step fails, and the check goes on to the news.
        ++outcome_.failures;
        log.Append(ArchiveDownload::SaveFailure(e) + "\r\n");
        log.AppendSeparator();
        outcome_.offers.helpLinks = false;
        return;
    }
    const bool newer = !VersionFiles::SameStamp(oldStamp, newStamp);
    if (newer)
        log.Append("Old version = " + oldStamp + "     " + "New version = " + newStamp + "\r\n");
    else
        log.Append("Help Links already up to date.\r\n");
    log.AppendSeparator();
    outcome_.offers.helpLinks = newer;
}

void VersionCheck::FetchNews() {
    Run(ServerPaths::otherInfo, FolderPaths::news, &VersionCheck::NewsFetched);
}

void VersionCheck::NewsFetched(const SavedTransfer::Outcome& transfer) {
    if (transfer.ending != SavedTransfer::Ending::Failed)
        tools_.log->Append(*tools_.text + "\r\n");
    tools_.log->AppendSeparator();
    End(outcome_);
}

void VersionCheck::EndWithoutVerdict() {
    outcome_.offers.WithoutVerdict();
    tools_.log->AppendSeparator();
    End(outcome_);
}

void VersionCheck::Run(const QByteArray& path, const char* target, Then then) {
    auto ended = [this, then](const SavedTransfer::Outcome& transfer) {
        outcome_.failures += transfer.failures;
        outcome_.offers.Take(transfer.offers);
        (this->*then)(transfer);
    };
    if (target == nullptr)
        transfer_.StartSwitch(tools_, ended);
    else
        transfer_.Start(tools_, path, tools_.LocalFile(target), SavedTransfer::Body::Text, ended);
}

void VersionCheck::Stopped() {
    releaseCheck_.Cancel();
    transfer_.Cancel();
}
