// The quick update window KORU1 as the logic sees it: it asks the server for
// the offered version as soon as it loads, shows the answer in its label and
// offers the one download button. It never waits: its flow moves on in the
// socket's events. Closing it ends the program.
#pragma once

#include "platform/runtime/Control.h"
#include "platform/runtime/Form.h"
#include "platform/runtime/Timer.h"
#include "update/files/ArchiveDownload.h"
#include "update/jobs/ArchiveFlow.h"
#include "update/jobs/ReleaseCheck.h"
#include "update/net/TransferEngine.h"

#include <cstdint>
#include <memory>
#include <optional>

class Connection;

class QuickForm : public Form {
public:
    QuickForm();

    Label Label1;
    CommandButton DownloadUpdateCommand1;
    Timer Timer1;
    // The stall rule's one-second ticks, running while a transfer waits for data.
    Timer Timer2;
    // The connection of the window's transfers, created by Form_Load.
    std::shared_ptr<Connection> Winsock1;

    void DownloadUpdateCommand1_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void Winsock1_Connect();
    void Winsock1_DataArrival(std::int32_t bytesTotal);
    void Winsock1_CloseSck();
    void Winsock1_Error(std::int16_t Number, const QByteArray& Description);

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    enum class Phase {
        Idle,            // nothing under way
        ListCheck,       // the signed release list, before the version
        VersionCheck,    // asking for the offered version
        ArchiveDownload, // the button's download runs
        Install,         // the button's install runs, the window repainting
    };

    // The release list first, then the offered version; the answers arrive
    // in the engines' ends.
    void CheckRelease();
    void FetchVersion();
    void VersionEnded(const FetchResult& result);
    void ArchiveEnded(const ArchiveFlow::Outcome& outcome);
    // The label's text for the complete version answer.
    QByteArray ReadData();
    // "Resuming at N bytes." above the label's last line.
    // A line above "Please wait...": a resume, a delta's reuse or its failure.
    void ShowAboveWait(const QByteArray& line);
    bool CompareVersions1(const QByteArray& offered);
    // The label's text for a failed transfer; a failed download is offered again.
    QByteArray FailureText(const QByteArray& reason);
    // The button's second use: the saved archive, installed in one click.
    void InstallUpdate();

    Phase phase_ = Phase::Idle;
    bool versionNotFound_ = false; // the version file's answer said it is missing
    bool installReady_ = false;    // the button says "Install Update!"
    // The archive's file while a download runs.
    std::optional<ArchiveDownload::SaveTarget> download_;
    TransferEngine transfer_;
    ArchiveFlow archiveFlow_;
    ReleaseCheck releaseCheck_;
};
