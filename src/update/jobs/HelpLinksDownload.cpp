#include "update/jobs/HelpLinksDownload.h"

#include "platform/runtime/FileAccess.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/ServerPaths.h"

void HelpLinksDownload::Start(const JobTools& tools, bool clearLog, EndHandler onEnd) {
    tools_ = tools;
    outcome_ = {};
    item_ = 0;
    failedItems_ = 0;
    Begin(std::move(onEnd));
    if (clearLog)
        tools_.log->SetText({});
    try {
        list_ = HelpLinksList::Read(tools_.LocalFile(FolderPaths::scratchText));
    } catch (const RuntimeError& e) {
        // The list the check saved is gone (removed meanwhile): only a new
        // check can find it again, so the update stays on offer.
        ++outcome_.failures;
        tools_.log->Append("HELP LINKS UPDATE FAILED: " + e.Source() + ": " + e.Description() +
                           ". Check for updates again.\r\n");
        End(outcome_);
        return;
    }
    NextItem();
}

void HelpLinksDownload::NextItem() {
    const QString helpFolder = tools_.LocalFile(FolderPaths::helpFolder);
    for (; item_ < list_.items.size(); ++item_) {
        const QByteArray& name = list_.items[item_];
        if (HelpLinksList::FitsFolder(helpFolder, name)) {
            tools_.log->Append("Downloading " + name + " <TXT>");
            transfer_.held = &held_;
            Run(".txt", SavedTransfer::Body::File, &HelpLinksDownload::TextFetched);
            return;
        }
        // Such a name would write outside the help folder, under other bytes,
        // or fail on every run and keep the update on offer for ever.
        tools_.log->Append("ITEM SKIPPED: \"" + HelpLinksList::PathSegment(name) +
                           "\" is not a file name for the help folder.\r\n");
    }
    Finish();
}

void HelpLinksDownload::TextFetched(const SavedTransfer::Outcome& /*transfer*/) {
    transfer_.held = nullptr;
    tools_.log->Append("<GIF>\r\n");
    for (const QByteArray& line : std::exchange(held_, {}))
        tools_.log->Append(line);
    Run(".gif", SavedTransfer::Body::Picture, &HelpLinksDownload::PictureFetched);
}

void HelpLinksDownload::PictureFetched(const SavedTransfer::Outcome& /*transfer*/) {
    ++item_;
    NextItem();
}

void HelpLinksDownload::Finish() {
    if (failedItems_ > 0) {
        // Without the new stamp the next check offers the update again, so
        // the items that did not arrive are fetched then.
        tools_.log->Append("NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n");
        End(outcome_);
        return;
    }
    try {
        BinaryFile stampFile(tools_.LocalFile(FolderPaths::helpLinksStamp));
        stampFile.Put(1, list_.stamp);
        stampFile.Close();
    } catch (const RuntimeError& e) {
        // Without its stamp the set counts as not updated: still on offer.
        ++outcome_.failures;
        tools_.log->Append(ArchiveDownload::SaveFailure(e) + "\r\n");
        End(outcome_);
        return;
    }
    outcome_.offers.helpLinks = false;
    tools_.log->Append("Done!\r\n");
    End(outcome_);
}

void HelpLinksDownload::Run(const char* ending, SavedTransfer::Body body, Then then) {
    const QByteArray& name = list_.items[item_];
    transfer_.Start(
        tools_, ServerPaths::koruFolder + HelpLinksList::PathSegment(name) + ending,
        HelpLinksList::ItemPath(tools_.LocalFile(FolderPaths::helpFolder), name, ending), body,
        [this, then](const SavedTransfer::Outcome& transfer) {
            outcome_.failures += transfer.failures;
            outcome_.offers.Take(transfer.offers);
            if (transfer.ending != SavedTransfer::Ending::Done)
                ++failedItems_;
            (this->*then)(transfer);
        });
}

void HelpLinksDownload::Stopped() {
    transfer_.held = nullptr;
    held_.clear();
    transfer_.Cancel();
}
