// "Help Links Update": the help-links job, guarded like every command that
// starts transfers, its result shown in the Download menu.
#include "update/windows/MainForm.h"

void MainForm::HelpLinksUpdate() {
    RunExclusive(&MainForm::FetchHelpLinks);
}

int MainForm::FetchHelpLinks() {
    if (ShowServiceOffMessage())
        return 0;
    // The command guard keeps "UPDATES     " disabled for the whole run and
    // enables it again at its end.
    HelpLinksDownload::Outcome outcome;
    helpLinksDownload_.Start(
        Tools(), !InBatch(),
        [&outcome](const HelpLinksDownload::Outcome& ended) { outcome = ended; });
    if (!AwaitJob(helpLinksDownload_))
        return 0;
    ShowOffers(outcome.offers);
    return outcome.failures;
}
