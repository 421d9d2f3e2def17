// A fixture that builds the real main window offscreen: settings and
// registry in a temporary folder, the dialog layer scripted, URL and process
// hand-overs recorded, the model and the unit globals as at program start.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/BatchReport.h"
#include "model/StatFile.h"
#include "model/dkmain.h"
#include "model/moninfo.h"
#include "model/options.h"
#include "platform/system/Shell.h"
#include "server/DMData.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "ui/window/Application.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dblistfr.h"
#include "ui/views/indexStat.h"
#include "ui/window/main.h"
#include "ui/views/monitor.h"
#include "ui/views/tablestat.h"

namespace dv::test {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        setenv("DRAVOLT_CONFIG_DIR", Dir.path().toLocal8Bit().constData(), 1);
        InitStatisticsModel();
        InitMonitorInfo();
        InitDatabaseLists();
        DBInfo->Reset(true);
        ResetMonitorInfo(*DBMonInfo);
        DBMonInfo->AllocatedPages = 0;
        DBMonInfo->CacheBuffers = 0;
        OptionSettings = TOptionSettings();
        MetadataLoaded = false;
        FOldOpen = SetShellOpenHandler([this](const std::string& url) {
            Urls.push_back(url);
            return true;
        });
        FOldStart = SetProcessStartHandler([this](const std::string& program) { Programs.push_back(program); });
    }

    void TearDown() override {
        Form.reset();
        FreeDataModule();
        SetShellOpenHandler(FOldOpen);
        SetProcessStartHandler(FOldStart);
        unsetenv("DRAVOLT_CONFIG_DIR");
        OptionSettings = TOptionSettings();
        MetadataLoaded = false;
        // A closed window frees the model and the lists; the next test
        // starts as the program does.
        InitStatisticsModel();
        InitDatabaseLists();
    }

    TMainForm& Make(const std::vector<std::string>& params = {}) {
        Form = std::make_unique<TMainForm>(params);
        return *Form;
    }

    std::string TempPath(const std::string& name) const {
        return Dir.path().toStdString() + "/" + name;
    }

    // Rows of a grid whose own visible flag is set (top level).
    static int VisibleRows(TVirtualStringTree* tree) {
        int n = 0;
        for (PVirtualNode node = tree->GetFirst(); node; node = tree->GetNextSibling(node))
            if (tree->IsVisible(node)) ++n;
        return n;
    }

    static std::string Caption(const TMainForm& form) { return form.windowTitle().toStdString(); }

    QTemporaryDir Dir;
    ScriptedDialogs Dialogs;                 // before Form: outlives it
    std::unique_ptr<TMainForm> Form;
    std::vector<std::string> Urls;
    std::vector<std::string> Programs;

private:
    TShellOpenHandler FOldOpen;
    TProcessStartHandler FOldStart;
};

}  // namespace dv::test
