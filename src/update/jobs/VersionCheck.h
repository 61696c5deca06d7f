// "Check for available updates" as a job: the signed release list, the
// installed version, the server switch, the offered version, the help-links
// stamps and the news, in that order, each said in the log as it is known. A
// step whose transfer failed gives no verdict and offers no update.
#pragma once

#include "update/jobs/Job.h"
#include "update/jobs/JobTools.h"
#include "update/jobs/Offers.h"
#include "update/jobs/ReleaseCheck.h"
#include "update/jobs/SavedTransfer.h"

#include <QByteArray>
#include <optional>

struct VersionCheckOutcome {
    Offers offers;
    int failures = 0; // the steps that failed
    // As the runtime's Val reads them, once known: the installed version,
    // and the offered one once compared with it.
    std::optional<float> localVersion;
    std::optional<float> remoteVersion;
};

class VersionCheck : public Job<VersionCheckOutcome> {
public:
    using Outcome = VersionCheckOutcome;

    // Checks with `tools`; `onEnd` is told once, perhaps before this returns.
    void Start(const JobTools& tools, EndHandler onEnd);

private:
    using Then = void (VersionCheck::*)(const SavedTransfer::Outcome& transfer);

    void ReleaseChecked(const ReleaseCheck::Outcome& release);
    void CheckInstalled();
    // Ends the check when the switch the signed list names was withheld.
    void SwitchAsked(const SavedTransfer::Outcome& transfer);
    void VersionFetched(const SavedTransfer::Outcome& transfer);
    // Takes the offered version and answers whether it is newer than the installed one.
    bool Newer(const QByteArray& offered);
    void CheckHelpLinks();
    void ListFetched(const SavedTransfer::Outcome& transfer);
    // The verdict on the stamps, once the list has arrived.
    void CompareHelpLinkStamps();
    void FetchNews();
    void NewsFetched(const SavedTransfer::Outcome& transfer);
    // Ends a check that cannot be trusted: nothing offered, the separator.
    void EndWithoutVerdict();
    // Fetches a text into `target` (without one, asks the switch); `then` is
    // told how it ended.
    void Run(const QByteArray& path, const char* target, Then then);
    void Stopped() override;

    JobTools tools_;
    ReleaseCheck releaseCheck_;
    SavedTransfer transfer_;
    bool installed_ = false; // VANTO.ini names a version
    Outcome outcome_;
};
