// The main window KORU2 as the logic sees it: the message log, the transfer
// timer, the menu tree and the handlers behind them, start-up and mode choice.
#pragma once

#include "app/ScratchFilesLock.h"
#include "platform/runtime/Form.h"
#include "platform/runtime/MenuItem.h"
#include "platform/runtime/MenuItemArray.h"
#include "platform/runtime/Timer.h"
#include "update/install/InstallCheck.h"
#include "update/jobs/ArchiveFlow.h"
#include "update/jobs/HelpLinksDownload.h"
#include "update/jobs/JobTools.h"
#include "update/jobs/Offers.h"
#include "update/jobs/SavedTransfer.h"
#include "update/jobs/VersionCheck.h"
#include "update/net/TransferEngine.h"
#include "update/windows/MessageLog.h"

#include <QList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Connection;

class Forms;

class MainForm : public Form {
public:
    explicit MainForm(Forms& forms);

    // True when the command line asks for quick mode: "Update" anywhere, any case.
    static bool QuickModeRequested(const QByteArray& commandLine);

    // The progress line of an archive download; its seven digits are rewritten.
    static constexpr char progressLine[] = "Bytes received: 0000000";
    // The seven progress digits: the low seven digits of n, zero-padded.
    static QByteArray SevenDigits(std::int64_t n);

    MessageLog SystemMessagesText1;
    Timer Timer1;
    // What KORU said before the window opened (an interrupted install
    // settled), shown in the log's first text.
    QList<QByteArray> startLines;
    // The connection of the main window's transfers, created by Form_Load.
    std::shared_ptr<Connection> Winsock2;

    // Menu tree; each item is appended to its parent's submenu in this order.
    MenuItem mnuUpdate;
    MenuItem mnuCheckForUpdates;
    MenuItem mnuSpacer2;
    MenuItem mnuDownload;
    MenuItem mnuAllAvailableUpdates;
    MenuItem mnuSpacer3;
    MenuItemArray mnuAvailableDownload;
    // Shown only while they apply (ShowInstallItems), the separator with any of them.
    MenuItem mnuSpacer4;
    MenuItem mnuInstallUpdate;
    MenuItem mnuRestorePrevious;
    MenuItem mnuStartVanto;
    MenuItem mnuSpecialDownloads;
    MenuItem mnuVANTOplugins;
    MenuItem mnuPublicPatches;
    MenuItem mnuHelp;
    MenuItem mnuHelpLinks;
    MenuItem mnuSearchForAnswers;

    // The batch flag: "1" while All Available Updates runs, "0" after it.
    QByteArray Tag;

    // The menu bar's heads, left to right.
    QList<MenuItem*> MenuBar();

    void mnuCheckForUpdates_Click();
    void mnuDownload_Click();
    void mnuAllAvailableUpdates_Click();
    void mnuAvailableDownload_Click(int index);
    void mnuInstallUpdate_Click();
    void mnuRestorePrevious_Click();
    void mnuStartVanto_Click();
    void mnuVANTOplugins_Click();
    void mnuPublicPatches_Click();
    void mnuHelpLinks_Click();
    void mnuSearchForAnswers_Click();
    void SystemMessagesText1_Change();
    void Timer1_Timer();
    void Winsock2_Connect();
    void Winsock2_DataArrival(std::int32_t bytesTotal);
    void Winsock2_CloseSck();
    void Winsock2_Error(std::int16_t Number, const QByteArray& Description);

    // Told of an archive download's bytes so far and its whole size (0 until
    // announced) after each arrival, and once more with `done` at its end.
    std::function<void(std::int64_t received, std::int64_t size, bool done)> onArchiveProgress;
    // Told of an install's staging; without a handler, the log's last line
    // shows it while the window repaints.
    UpdateInstaller::Progress onStagingProgress;

    // How many transfers failed since the last command began (the console's exit status).
    int FailedTransfers() const { return failedTransfers_; }

    // Where a line about the run itself goes (a command waiting for another
    // KORU on the same folder); without a handler, to the log.
    std::function<void(const QByteArray&)> onNotice;

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    enum class Transfer {
        Done,       // the archive is saved
        Failed,     // reported in the log with "TRANSFER FAILED: "
        ServiceOff, // nothing fetched: the server has switched the service off
    };

    // With the service switched off, shows the server's message instead of a description.
    bool ShowServiceOffMessage();
    // Replaces the whole log, which may hold a download's progress line.
    void ReplaceLog(const QByteArray& text);
    // What the jobs this window starts work with.
    JobTools Tools();
    // Sets the Download items a job decided on.
    void ShowOffers(const Offers& offers);
    // Shows the install items that apply to the held list and VANTO's folder.
    void ShowInstallItems();
    int InstallUpdate();
    int RestorePrevious();
    // After an install or restore: the items again, and VANTO started again
    // when it was closed for it and the user wants it.
    void Installed(const InstallCheck::Ending& ending);
    // Staging's digits as the log's last line, rewritten in place; taken off when it ends.
    void ShowStaging(const UpdateInstaller::Staging& staging, bool done);

    // The archive into `target`, the server's switch asked first while it
    // was never asked; `failures` counts the failure lines.
    Transfer RunArchive(const QString& target, int& failures);
    // Fetches the archive (resumed, signed, saved) and waits until it has ended.
    void ReceiveArchive(const QString& target);
    // Waits in the event loop while `running` says so, with the stall count on.
    void Await(const std::function<bool()>& running);
    // Waits until `job` has ended; false, with the job let go, when the
    // program ended first.
    template <typename Outcome> bool AwaitJob(Job<Outcome>& job) {
        Await([&job] { return job.Running(); });
        if (!job.Running())
            return true;
        job.Cancel();
        return false;
    }
    // A line above the progress line: a resume, a delta's reuse or its failure.
    void ShowAboveProgress(const QByteArray& line);
    // Appends the "TRANSFER FAILED: " line, named by the file it was for; a
    // progress line showing is removed first.
    void ReportFailure(const QByteArray& path, const QByteArray& reason);
    // Takes the "Bytes received: " line off the end of the log.
    void RemoveProgressLine();
    // Ends the transfer in progress as failed.
    void FailTransfer(const TransferFailure& failure);
    void CloseTransferSocket();

    // A command that starts transfers, answering how many of them failed.
    using Fetching = int (MainForm::*)();
    enum class ScratchFiles { Used, Unused };
    // Runs a command that starts transfers, refusing it while another one
    // runs; one that uses the scratch files first waits for their lock.
    void RunExclusive(Fetching command, ScratchFiles scratch = ScratchFiles::Used);
    // Takes the scratch files' lock, with the commands off while it waits;
    // false when the program ended first.
    bool AwaitScratchFiles(std::optional<ScratchFilesLock>& lock);
    int CheckForUpdates();

    // True while the batch flag is set: Tag reads as the number 1.
    bool InBatch() const;
    // "VANTO Update": the archive into a file the user chooses; returns when it has ended.
    int VantoUpdate();
    // "Help Links Update", guarded like every command that starts transfers.
    void HelpLinksUpdate();
    int FetchHelpLinks();

    bool transferWaiting_ = false;
    bool commandRunning_ = false;
    TransferEngine transfer_;
    ArchiveFlow archiveFlow_;
    VersionCheck versionCheck_;
    HelpLinksDownload helpLinksDownload_;
    SavedTransfer switch_; // asked before an archive when it never was
    // How the archive's transfer ended, and the file that failed.
    TransferFailure transferFailure_;
    QByteArray failedPath_;
    QByteArray trustedComment_;  // of the last verified archive
    bool progressShown_ = false; // the log ends in the "Bytes received: " line
    QByteArray stagingLine_;     // the log ends in it while staging shows
    // How many transfers failed in the last command (a batch: in its updates),
    // counted only where the commands are run.
    int failedTransfers_ = 0;

    Forms& forms_;
};
