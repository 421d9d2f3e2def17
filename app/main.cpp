// Program start: the model, the live counters and the database-list item
// lists exist before the application object; then the main window, the only
// window created automatically, and the message loop.
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/moninfo.h"
#include "ui/Application.h"
#include "ui/QtDialogs.h"
#include "ui/dblistfr.h"
#include "ui/main.h"

int main(int argc, char** argv) {
    dv::InitStatisticsModel();
    dv::InitMonitorInfo();
    dv::InitDatabaseLists();

    dv::TApplication app(argc, argv);   // takes away the options Qt knows
    dv::TQtDialogs dialogs;
    dv::SetDialogProvider(&dialogs);
    dv::InstallQtShell();

    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);

    int rc = 0;
    {
        dv::TMainForm form(params);
        // A batch report asks to terminate while the window is being created:
        // the message loop then ends before it starts, nothing is shown and
        // nothing is asked or written.
        if (!form.TerminateRequested()) {
            form.show();
            rc = app.exec();
        }
    }
    dv::FreeDataModule();
    dv::SetDialogProvider(nullptr);
    return rc;
}
