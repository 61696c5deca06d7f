// The main window KORU2 as the logic sees it: the message log, the transfer
// timer, the menu tree and the handlers behind them, start-up and mode choice.
#pragma once

#include "platform/Form.h"
#include "platform/MenuItem.h"
#include "platform/MenuItemArray.h"
#include "platform/Timer.h"
#include "update/MessageLog.h"

#include <QList>

class Forms;

class MainForm : public Form {
public:
    explicit MainForm(Forms& forms);

    // True when the command line asks for quick mode: "Update" anywhere, any case.
    static bool QuickModeRequested(const QByteArray& commandLine);

    MessageLog SystemMessagesText1;
    Timer Timer1;
    // The socket object Winsock2 (std::shared_ptr<CSocketMaster>) is declared here.

    // Menu tree; each item is appended to its parent's submenu in this order.
    MenuItem mnuUpdate;
    MenuItem mnuCheckForUpdates;
    MenuItem mnuSpacer2;
    MenuItem mnuDownload;
    MenuItem mnuAllAvailableUpdates;
    MenuItem mnuSpacer3;
    MenuItemArray mnuAvailableDownload;
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
    void mnuVANTOplugins_Click();
    void mnuPublicPatches_Click();
    void mnuHelpLinks_Click();
    void mnuSearchForAnswers_Click();
    void SystemMessagesText1_Change();
    void Timer1_Timer();

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    // With the service switched off, shows the server's message instead of a description.
    bool ShowServiceOffMessage();

    Forms& forms_;
};
