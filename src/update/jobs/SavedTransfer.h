// One transfer of the main window's commands, without waiting: the server's
// switch first while it was never asked, nothing while the switch says the
// service is off, else the file at a path fetched and saved to its target (a
// text from memory, a help-link item from a file beside it). A transfer that
// cannot succeed, a help-link item the server does not have included, says
// why in the log ("TRANSFER FAILED: " and the file it was for); nothing is
// saved from it.
#pragma once

#include "update/files/HelpLinkReceiver.h"
#include "update/jobs/Job.h"
#include "update/jobs/JobTools.h"
#include "update/jobs/Offers.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>

struct SavedTransferOutcome {
    enum class Ending {
        Done,       // the body (or the not-found message) is in the target
        Failed,     // said in the log with "TRANSFER FAILED: "
        ServiceOff, // nothing fetched: the server has switched the service off
    };
    Ending ending = Ending::Done;
    bool notFound = false; // the server said the file is missing
    Offers offers;         // none offered once a switch the signed list names is withheld
    int failures = 0;      // the failure lines written
};

class SavedTransfer : public Job<SavedTransferOutcome> {
public:
    using Outcome = SavedTransferOutcome;
    using Ending = Outcome::Ending;

    enum class Body {
        Text,    // kept in memory and saved to the target; "not found" saves the message
        File,    // a text streamed to a file beside the target; a missing one is a failure
        Picture, // the same, missing only by its status: its bytes may hold any text
        None,    // the switch and the service only: the caller fetches the archive itself
    };

    // Failure lines wait here while it is set (a help-link item's line is
    // finished before a failure of its text is told).
    QByteArrayList* held = nullptr;

    // Fetches `path` into `target` with `tools`; `onEnd` is told once,
    // perhaps before this returns.
    void Start(const JobTools& tools, const QByteArray& path, const QString& target, Body body,
               EndHandler onEnd);
    // Asks the server's switch, asked before or not. It ends Failed when the
    // signed list names a switch that could not be fetched.
    void StartSwitch(const JobTools& tools, EndHandler onEnd);

    // Why no transfer can start with `tools`; `waiting` while its window
    // waits for another one.
    static TransferFailure Unstartable(const JobTools& tools, bool waiting = false);
    // The log line of a failed transfer of `path`.
    static QByteArray FailureLine(const QByteArray& path, const QByteArray& reason);

private:
    using Then = void (SavedTransfer::*)(Ending ending);

    void AskSwitch();
    void SwitchFetched(Ending ending);
    void SwitchAsked();
    void Proceed();
    void Fetched(Ending ending);
    // One fetch and its save; `then` is told how it ended.
    void Fetch(const QByteArray& path, const QString& target, Body body, Then then);
    void TextEnded(const FetchResult& result);
    void FileEnded(const FetchResult& result);
    void Settle(const TransferFailure& failure);
    void Report(const QByteArray& path, const QByteArray& reason);
    void Stopped() override;

    JobTools tools_;
    QByteArray path_;
    QString target_;
    Body body_ = Body::Text;
    bool switchOnly_ = false;
    bool listedSwitch_ = false;
    Outcome outcome_;
    // The fetch under way.
    QByteArray fetchPath_;
    QString fetchTarget_;
    Then then_ = nullptr;
    bool notFound_ = false;
    std::optional<HelpLinkReceiver> file_;
};
