// The quick update window KORU1 as the logic sees it: the status label, the one
// download button and the progress timer. Closing it ends the program.
#pragma once

#include "platform/Control.h"
#include "platform/Form.h"
#include "platform/Timer.h"

class QuickForm : public Form {
public:
    QuickForm();

    Label Label1;
    CommandButton DownloadUpdateCommand1;
    Timer Timer1;
    // The socket object Winsock1 (std::shared_ptr<CSocketMaster>) is declared here.

    void DownloadUpdateCommand1_Click();
    void Timer1_Timer();

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;
};
