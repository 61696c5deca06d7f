// The quick update window KORU1 as the logic sees it: it asks the server for
// the offered version as soon as it loads, shows the answer in its label and
// offers the one download button. It never waits: its flow moves on in the
// socket's events. Closing it ends the program.
#pragma once

#include "platform/runtime/Control.h"
#include "platform/runtime/Form.h"
#include "platform/runtime/Timer.h"
#include "update/ArchiveDownload.h"
#include "update/ResponseGathering.h"

#include <cstdint>
#include <memory>
#include <optional>

class CSocketMaster;

class QuickForm : public Form {
public:
    QuickForm();

    Label Label1;
    CommandButton DownloadUpdateCommand1;
    Timer Timer1;
    // The socket object of the window's transfers, created by Form_Load.
    std::shared_ptr<CSocketMaster> Winsock1;

    void DownloadUpdateCommand1_Click();
    void Timer1_Timer();
    void Winsock1_Connect();
    void Winsock1_DataArrival(std::int32_t bytesTotal);
    void Winsock1_CloseSck();
    void Winsock1_Error(const QByteArray& Description);

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    // Fetches requestPath on a fresh connection; the answer arrives in the socket's events.
    void StartTransfer();
    // The label's text for a complete response.
    QByteArray ReadData();
    // The archive branch: a complete archive answer leads on to its signature
    // when a key is trusted, then replaces targetFile.
    QByteArray ReadArchive();
    QByteArray CheckSignature();
    QByteArray SaveArchive();
    // Asks once more for the whole archive when the server would not resume.
    bool RestartedArchive();
    // "Resuming at N bytes." above the label's last line.
    void ShowResumed(std::int64_t at);
    bool CompareVersions1(const QByteArray& offered);
    // Shows why the transfer cannot succeed and lets it go.
    void FailTransfer(const QByteArray& reason);
    // The label's text for a failed transfer; a failed download is offered again.
    QByteArray FailureText(const QByteArray& reason);

    // The archive's file while a download runs.
    std::optional<ArchiveDownload::SaveTarget> download_;
    ResponseGathering response_;
    std::unique_ptr<ArchiveReceiver> archive_;
    bool fetchingSignature_ = false;
};
