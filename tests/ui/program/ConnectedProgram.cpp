// The program as it runs, plus what a user would do with the mouse: once the
// window is up, statistics are taken from the database that
// DRAVOLT_TEST_DATABASE names on the local server (SYSDBA, the password in
// DRAVOLT_FB_PASSWORD or "masterkey"; DRAVOLT_TEST_SERVER names another
// server, such as a proxy), loaded with their metadata and left unsaved, and
// a connection to that database stays open. "connected" on standard output
// says so; a failure ends the run with status 99. With DRAVOLT_TEST_CLOSE
// set the window is then closed, which asks whether to save the statistics;
// "asking" says that question is open. With DRAVOLT_TEST_RELOAD set to a
// number of milliseconds, "Reload all" is chosen that long after
// "connected", and "reloading" says it has begun.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "model/dkmain.h"
#include "server/DMData.h"
#include "server/IBComponents.h"
#include "ui/window/main.h"
#include "ui/window/program.h"

namespace {

void TakeStatisticsAndStayConnected() {
    using namespace dv;
    const char* database = std::getenv("DRAVOLT_TEST_DATABASE");
    const char* password = std::getenv("DRAVOLT_FB_PASSWORD");
    const char* server = std::getenv("DRAVOLT_TEST_SERVER");
    if (!database || !DM || !MainForm) throw std::runtime_error("no database, data module or window");
    DM->SetServiceParams(server && *server ? server : "localhost", database, "SYSDBA", password && *password ? password : "masterkey", 0);
    TIBStatisticalService& service = *DM->IBStatService;
    TStringList lines;
    service.Activate();
    service.ServiceStart();
    while (!service.Eof()) {
        std::string line = service.GetNextLine();
        if (service.Eof() && line.empty()) break;
        lines.push_back(line);
    }
    service.Deactivate();
    *UnsavedStatLines = lines;   // as the statistics dialog leaves them
    MainForm->LoadServerLines(lines, true);
    DM->PrepareConnection();
    DM->DB->Connect();
    std::printf("connected\n");
    std::fflush(stdout);
    if (const char* reload = std::getenv("DRAVOLT_TEST_RELOAD")) {
        QTimer::singleShot(std::atoi(reload), [] {
            std::printf("reloading\n");
            std::fflush(stdout);
            MainForm->Widgets().ReloadAllItem->trigger();
        });
    }
    if (std::getenv("DRAVOLT_TEST_CLOSE")) {
        // Fires inside the question's own event loop.
        QTimer::singleShot(100, [] {
            std::printf("asking\n");
            std::fflush(stdout);
        });
        MainForm->close();
    }
}

}  // namespace

int main(int argc, char** argv) {
    qAddPreRoutine([] {
        QTimer::singleShot(0, [] {
            try {
                TakeStatisticsAndStayConnected();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "setup failed: %s\n", e.what());
                std::exit(99);
            }
        });
    });
    return dv::ProgramMain(argc, argv);
}
