#include "update/QuickForm.h"

#include "platform/EndProgram.h"

QuickForm::QuickForm() : Form("VANTO Update") {
    DownloadUpdateCommand1.onClick = [this] { DownloadUpdateCommand1_Click(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
}

void QuickForm::InitializeControls() {
    Label1.SetCaption({});
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    Timer1.SetInterval(500);
    Timer1.SetEnabled(true);
}

void QuickForm::ReleaseControls() {
    Timer1.SetEnabled(false);
}

void QuickForm::Form_Load() {
    // Winsock1 = CSocketMaster::Create();  // the quick window's socket object
    // The version check that starts here joins with the transfer machinery.
}

void QuickForm::Form_Unload() {
    EndProgram();
}

// The download and the progress caption join with the transfer machinery.

void QuickForm::DownloadUpdateCommand1_Click() {}

void QuickForm::Timer1_Timer() {}
