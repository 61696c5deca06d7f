#include "update/jobs/SavedTransfer.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/NotFoundRule.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/jobs/ServiceMode.h"

void SavedTransfer::Start(const JobTools& tools, const QByteArray& path, const QString& target,
                          Body body, EndHandler onEnd) {
    tools_ = tools;
    path_ = path;
    target_ = target;
    body_ = body;
    switchOnly_ = false;
    outcome_ = {};
    Begin(std::move(onEnd));
    if (*tools_.serviceMode == serviceNotChecked)
        AskSwitch();
    else
        Proceed();
}

void SavedTransfer::StartSwitch(const JobTools& tools, EndHandler onEnd) {
    tools_ = tools;
    switchOnly_ = true;
    outcome_ = {};
    Begin(std::move(onEnd));
    AskSwitch();
}

void SavedTransfer::AskSwitch() {
    *tools_.serviceMode = serviceOn;
    listedSwitch_ = tools_.releaseList->Names(ServerPaths::killSwitch);
    if (tools_.releaseList->has_value() && !listedSwitch_) {
        // A signed list without a switch keeps the service on: a switch
        // slipped onto the server beside it is not even fetched.
        tools_.text->clear();
        SwitchAsked();
        return;
    }
    Fetch(ServerPaths::killSwitch, tools_.LocalFile(FolderPaths::scratchText), Body::Text,
          &SavedTransfer::SwitchFetched);
}

void SavedTransfer::SwitchFetched(Ending ending) {
    QByteArray& text = *tools_.text;
    if (ending != Ending::Done) {
        // A failed fetch gives no verdict: the service counts as on, and the
        // failure line stays in the log. A switch the signed list promised
        // may have been withheld to keep KORU on, so the command ends there.
        text.clear();
        if (listedSwitch_) {
            outcome_.offers.WithoutVerdict();
            tools_.log->AppendSeparator();
            outcome_.ending = Ending::Failed;
            End(outcome_);
            return;
        }
    } else {
        *tools_.serviceMode = VersionFiles::ContainsKillSwitch(text) ? serviceOff : serviceOn;
        text = VersionFiles::WithoutKillSwitch(text);
    }
    SwitchAsked();
}

void SavedTransfer::SwitchAsked() {
    if (switchOnly_)
        End(outcome_);
    else
        Proceed();
}

void SavedTransfer::Proceed() {
    if (*tools_.serviceMode == serviceOff) {
        tools_.log->SetText("KORU INTERNET IS DOWN\r\n\r\n" + *tools_.text + "\r\n");
        tools_.log->AppendSeparator();
        outcome_.ending = Ending::ServiceOff;
        End(outcome_);
    } else if (body_ == Body::None) {
        End(outcome_);
    } else {
        Fetch(path_, target_, body_, &SavedTransfer::Fetched);
    }
}

void SavedTransfer::Fetched(Ending ending) {
    outcome_.ending = ending;
    outcome_.notFound = notFound_;
    End(outcome_);
}

void SavedTransfer::Fetch(const QByteArray& path, const QString& target, Body body, Then then) {
    fetchPath_ = path;
    fetchTarget_ = target;
    then_ = then;
    notFound_ = false;
    const TransferFailure unstartable = Unstartable(tools_);
    if (unstartable) {
        Settle(unstartable);
        return;
    }
    Connection& connection = **tools_.connection;
    TransferEngine::Options options;
    options.vetting = tools_.releaseList->Vetting();
    if (body == Body::Text) {
        tools_.engine->FetchText(
            connection, tools_.server, path, *tools_.text,
            [this](const FetchResult& result) { TextEnded(result); }, options);
        return;
    }
    try {
        file_.emplace(target);
    } catch (const RuntimeError& e) {
        Settle(ArchiveDownload::CannotSave(e));
        return;
    }
    // Streamed to disk: a picture may be far larger than a text kept in memory.
    options.fetched =
        body == Body::Picture ? NotFoundRule::Fetched::Binary : NotFoundRule::Fetched::Text;
    tools_.engine->FetchFile(
        connection, tools_.server, path, *file_,
        [this](const FetchResult& result) { FileEnded(result); }, options);
}

void SavedTransfer::TextEnded(const FetchResult& result) {
    notFound_ = result.notFound;
    if (result.failure) {
        Settle(result.failure);
        return;
    }
    if (result.notFound)
        *tools_.text = NotFoundRule::message;
    try {
        // Written beside the file and renamed over it: a save that fails
        // leaves the file as it was.
        ReplaceFile(fetchTarget_, *tools_.text);
    } catch (const RuntimeError& e) {
        Settle(ArchiveDownload::CannotSave(e));
        return;
    }
    Settle({});
}

void SavedTransfer::FileEnded(const FetchResult& result) {
    notFound_ = result.notFound;
    TransferFailure failure = result.failure;
    // A missing item keeps the file that was there, as a failed one does.
    if (!failure && result.notFound)
        failure = {TransferFailure::Kind::NotFound, NotFoundRule::message};
    if (!failure) {
        failure = file_->Save();
    }
    // The file goes here: nothing may write to it after.
    file_.reset();
    Settle(failure);
}

void SavedTransfer::Settle(const TransferFailure& failure) {
    if (failure)
        Report(fetchPath_, failure.text);
    (this->*then_)(failure ? Ending::Failed : Ending::Done);
}

void SavedTransfer::Report(const QByteArray& path, const QByteArray& reason) {
    ++outcome_.failures;
    const QByteArray line = FailureLine(path, reason);
    if (held != nullptr)
        held->append(line);
    else
        tools_.log->AppendOnNewLine(line);
}

void SavedTransfer::Stopped() {
    // A help-link file keeps nothing of a cut answer.
    tools_.engine->Cancel();
    file_.reset();
}

TransferFailure SavedTransfer::Unstartable(const JobTools& tools, bool waiting) {
    // Only reachable when something bypassed the command guard, or the
    // window closed while a command waited.
    if (waiting || tools.engine->Running())
        return {TransferFailure::Kind::Busy, "Another transfer is in progress."};
    if (tools.connection == nullptr || !*tools.connection)
        return {TransferFailure::Kind::Busy, "The main window is closed."};
    return {};
}

QByteArray SavedTransfer::FailureLine(const QByteArray& path, const QByteArray& reason) {
    // Named by the file it was for, so that two failures in a row differ.
    return TransferFailure::headline + path + ": " + reason + "\r\n";
}
