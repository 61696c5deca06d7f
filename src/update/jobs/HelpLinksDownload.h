// "Help Links Update" as a job: the help-link items named in the list that
// the last check saved, each item's text and picture fetched into the help
// folder, and the list's stamp written once every item has arrived. Whatever
// fails is said in the log and keeps the update on offer.
#pragma once

#include "update/formats/HelpLinksList.h"
#include "update/jobs/Job.h"
#include "update/jobs/JobTools.h"
#include "update/jobs/Offers.h"
#include "update/jobs/SavedTransfer.h"

#include <QByteArrayList>

struct HelpLinksDownloadOutcome {
    Offers offers;
    int failures = 0; // the failure lines written
};

class HelpLinksDownload : public Job<HelpLinksDownloadOutcome> {
public:
    using Outcome = HelpLinksDownloadOutcome;

    // Updates the help links with `tools`, on a log cleared first when
    // `clearLog`; `onEnd` is told once, perhaps before this returns.
    void Start(const JobTools& tools, bool clearLog, EndHandler onEnd);

private:
    using Then = void (HelpLinksDownload::*)(const SavedTransfer::Outcome& transfer);

    void NextItem();
    void TextFetched(const SavedTransfer::Outcome& transfer);
    void PictureFetched(const SavedTransfer::Outcome& transfer);
    void Finish();
    // Fetches the current item's file with `ending` as `body`; `then` is told how it ended.
    void Run(const char* ending, SavedTransfer::Body body, Then then);
    void Stopped() override;

    JobTools tools_;
    SavedTransfer transfer_;
    HelpLinksList list_;
    qsizetype item_ = 0;
    int failedItems_ = 0; // files that did not arrive
    // Failure lines of an item's text, told once its log line is finished.
    QByteArrayList held_;
    Outcome outcome_;
};
