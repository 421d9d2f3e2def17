// Loading and saving statistics through the real main window: real fbstat
// text, saved-statistics files, the unsaved-statistics question, errors that
// reach the one handler, and what a server load and a reload do with the
// lines they are handed.
#include <QApplication>
#include <QRegularExpression>
#include <algorithm>
#include <optional>

#include <sys/stat.h>
#include <thread>

#include "tests/ui/MainTestSupport.h"
#include "model/StatParser.h"
#include "platform/streaming/ComponentText.h"
#include "tests/support/FirebirdTestServer.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");
const std::string kHeader = DataPath("fb3_header.txt");
const std::string kService = DataPath("fb3_service.txt");

TStringList ReadLines(const std::string& path) {
    TStringList lines;
    std::string text = ReadFile(path), line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

int SelectivityVisible() { return FrIndexStat->vstIdxStat->Header().Columns[8].Visible(); }

TEST_F(MainFormTest, OneParameterOpensRealStatisticsOnTheSummaryTab) {
    TMainForm& f = Make({kFull});
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 1);
    EXPECT_FALSE(FrDbInfo->isHidden());
    EXPECT_TRUE(FrDBList->isHidden());
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Loaded from " + kFull);
    EXPECT_EQ(DBInfo->PageSize, 8192);
    ASSERT_EQ(DBInfo->Relations.size(), 5u);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 5);
    EXPECT_EQ(FrIndexStat->vstIdxStat->RootNodeCount(), static_cast<int>(DBInfo->Indices.size()));
    EXPECT_GT(FrDbInfo->vstDbInfo->RootNodeCount(), 0);
    EXPECT_FALSE(MetadataLoaded);
    EXPECT_FALSE(SelectivityVisible());
    EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_FALSE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_FALSE(f.Widgets().tbRefresh->isEnabled());
    EXPECT_EQ(DBMonInfo->AllocatedPages, 1024);
    EXPECT_EQ(DBMonInfo->CacheBuffers, 2048);
    // The grids show the model's own values through the views' handlers.
    FrTableStat->vstTblStat->SelectAll();
    std::string tables = FrTableStat->vstTblStat->ContentToText(efPlainText);
    for (const char* name : {"CUSTOMERS", "ORDERS", "DOCUMENTS", "EMPTY_TABLE", "Odd (name)"})
        EXPECT_NE(tables.find(name), std::string::npos) << name;
}

TEST_F(MainFormTest, OneParameterNamingAMissingFileReportsAndStillOpens) {
    const std::string missing = TempPath("no-such-file.txt");
    TMainForm& f = Make({missing});
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_EQ(Dialogs.LastText().rfind("Cannot open file \"" + missing + "\"", 0), 0u) << Dialogs.LastText();
    EXPECT_EQ(Caption(f), "dRavolt");
    // The rest of the creation was skipped: the tab stays where it was.
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 0);
    // The window works: a real file opens from the menu.
    Dialogs.ChooseFile(kFull);
    f.Widgets().Load1->trigger();
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
}

TEST_F(MainFormTest, OpenCommandLoadsTextThenTheSummaryTabAndRaisesTheFilter) {
    TMainForm& f = Make();
    f.Widgets().tbFilter->setChecked(true);
    Dialogs.ChooseFile(kFull);
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    EXPECT_EQ(Dialogs.FileDialogs[0].Filter,
              "Text files (*.txt;*.dvt)|*.txt;*.dvt|Dravolt files (*.dvt)|*.dvt|Log files (*.log)|*.log|All files "
              "|*.*");
    EXPECT_EQ(Dialogs.FileDialogs[0].FilterIndex, 1);
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 1);
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Loaded from " + kFull);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";

    // Cancelling the dialog changes nothing but the filter button, and the
    // grids it had filtered show every row again.
    f.SelectTab(2);
    f.Widgets().tbFilter->click();
    ASSERT_TRUE(f.Widgets().tbFilter->isChecked());
    ASSERT_LT(VisibleRows(FrIndexStat->vstIdxStat), static_cast<int>(DBInfo->Indices.size()));
    Dialogs.ChooseFile("");
    f.Widgets().Load1->trigger();
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 2);
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
    EXPECT_EQ(VisibleRows(FrTableStat->vstTblStat), 5);
    EXPECT_EQ(VisibleRows(FrIndexStat->vstIdxStat), static_cast<int>(DBInfo->Indices.size()));
}

TEST_F(MainFormTest, SavedStatisticsRoundTripThroughTheWindow) {
    TMainForm& f = Make({kFull});
    const std::string before = WriteComponentText(*DBInfo);
    const size_t tables = DBInfo->Relations.size(), indices = DBInfo->Indices.size();
    const std::string dvt = TempPath("saved.dvt");
    SaveStatToFile(*DBInfo, dvt);
    const std::string bytes = ReadFile(dvt);
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("DVT2DATA\r\n"));
    EXPECT_EQ(bytes.substr(10, 30), std::string("object DBInfo: TDatabaseInfo\r\n"));
    EXPECT_EQ(bytes.substr(10), before);

    // Mark everything, load the file: the marks are not stored.
    for (TRelation* r : DBInfo->Relations) r->Problem = true;
    Dialogs.ChooseFile(dvt);
    f.Widgets().tbLoadFile->click();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(WriteComponentText(*DBInfo), before);
    EXPECT_EQ(DBInfo->Relations.size(), tables);
    EXPECT_EQ(DBInfo->Indices.size(), indices);
    for (TIndex* i : DBInfo->Indices) {
        ASSERT_NE(i->Relation, nullptr) << i->IndexName;
        EXPECT_EQ(i->Owner(), i->Relation);
    }
    EXPECT_TRUE(MetadataLoaded);
    EXPECT_TRUE(SelectivityVisible());
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Loaded from " + dvt);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), static_cast<int>(tables));
    EXPECT_EQ(FrIndexStat->vstIdxStat->RootNodeCount(), static_cast<int>(indices));
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 1);
    EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());

    // A text load afterwards hides the selectivity column again.
    f.OpenStatFile(kFull);
    EXPECT_FALSE(MetadataLoaded);
    EXPECT_FALSE(SelectivityVisible());
}

TEST_F(MainFormTest, FilesThatOnlyLookSavedAreReadAsStatisticsText) {
    TMainForm& f = Make();
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"magic-without-crlf.txt", "DVT2DATA\n" + ReadFile(kFull)},
        {"magic-lower-case.txt", "dvt2data\r\n" + ReadFile(kFull)},
        {"short.txt", "DVT2DAT"},
        {"empty.txt", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath(c.name);
        WriteFile(path, c.content);
        Dialogs.Messages.clear();
        // Statistics text: the parser decides, no component reading error.
        EXPECT_NO_THROW(f.LoadStatFile(path));
        for (const ShownMessage& m : Dialogs.Messages)
            EXPECT_EQ(m.Text.find("Error reading"), std::string::npos) << m.Text;
        EXPECT_FALSE(MetadataLoaded);
    }
    // The one with the full text behind a bad magic still loads as text.
    f.LoadStatFile(TempPath("magic-without-crlf.txt"));
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
}

TEST_F(MainFormTest, CorruptSavedFileAndMissingFileReachTheHandlerAndTheWindowGoesOn) {
    TMainForm& f = Make({kFull});
    const std::string dvt = TempPath("good.dvt");
    SaveStatToFile(*DBInfo, dvt);
    std::string text = ReadFile(dvt);
    const size_t at = text.find("  object Relation");
    ASSERT_NE(at, std::string::npos);
    struct Case {
        const char* name;   // a file of the test, or an absolute path as it is
        std::string content;
        std::string expected;
    } cases[] = {
        {"unknown-property.dvt", text.substr(0, at) + "  Bogus = 1\r\n" + text.substr(at), "Bogus"},
        {"unknown-class.dvt", text.substr(0, at) + "  object X: TNoSuchClass\r\n  end\r\n" + text.substr(at),
         "TNoSuchClass"},
        {"truncated.dvt", text.substr(0, text.size() / 2), ""},
        {"garbage.dvt", "DVT2DATA\r\n\x01\x02 not a component \xff", ""},
        // Neither a file nor a pipe: refused before it is read.
        {"/tmp", "", "Cannot open file \"/tmp\". It is a folder, not a statistics file."},
        {"/dev/zero", "", "Cannot open file \"/dev/zero\". It is a device or other special file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.name[0] == '/' ? std::string(c.name) : TempPath(c.name);
        if (c.name[0] != '/') WriteFile(path, c.content);
        f.SelectTab(2);
        f.Widgets().tbFilter->setChecked(true);
        Dialogs.Messages.clear();
        Dialogs.ChooseFile(path);
        f.Widgets().tbLoadFile->click();
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
        EXPECT_NE(Dialogs.LastText().find(c.expected), std::string::npos) << Dialogs.LastText();
        // The steps after the load did not run; the grids are empty.
        EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 2);
        EXPECT_TRUE(f.Widgets().tbFilter->isChecked());
        EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 0);
        EXPECT_EQ(FrIndexStat->vstIdxStat->RootNodeCount(), 0);
    }

    const std::string missing = TempPath("gone.txt");
    Dialogs.Messages.clear();
    Dialogs.ChooseFile(missing);
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_EQ(Dialogs.LastText().rfind("Cannot open file \"" + missing + "\"", 0), 0u) << Dialogs.LastText();

    // Still usable: the good file loads, also through a FIFO, where the look
    // at its first bytes must not take them from the reader.
    const std::string fifo = TempPath("saved.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { WriteFile(fifo, text); });
    Dialogs.Messages.clear();
    Dialogs.ChooseFile(fifo);
    f.Widgets().tbLoadFile->click();
    writer.join();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 1);
}

TEST_F(MainFormTest, SavingToAnUnwritablePlaceIsReportedAndKeepsTheQuestionAndTheEarlierFile) {
    TMainForm& f = Make({kFull});
    const std::string earlier = "DVT2DATA\r\nobject DBInfo: TDatabaseInfo\r\nend\r\n";
    const struct {
        const char* name;
        int kind;   // a TUnwritableFolder kind, or -1 for a missing folder
        const char* says;
    } cases[] = {
        {"missing folder", -1, "Cannot create file \""},
        {"full file system", TUnwritableFolder::Full, "Cannot write file \""},
        {"read-only folder", TUnwritableFolder::ReadOnly, "Cannot create file \""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TUnwritableFolder> place;
        if (c.kind >= 0) place.emplace(TUnwritableFolder::TKind(c.kind));
        if (place && !place->CanLock()) continue;
        const std::string bad = place ? place->Path() + "/x.dvt" : TempPath("no-folder/x.dvt");
        if (place) {
            WriteFile(bad, earlier);
            place->Lock();
        }
        UnsavedStatLines->assign({"line"});
        f.Widgets().SaveStatFile->setEnabled(true);
        Dialogs.Messages.clear();
        Dialogs.ChooseFile(bad);
        f.Widgets().SaveStatFile->trigger();
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        EXPECT_EQ(Dialogs.LastText().rfind(c.says + bad + "\". ", 0), 0u) << Dialogs.LastText();
        EXPECT_EQ(UnsavedStatLines->size(), 1u);
        EXPECT_TRUE(f.Widgets().SaveStatFile->isEnabled());
        if (place) {
            EXPECT_EQ(ReadFile(bad), earlier);
        }
    }
}

TEST_F(MainFormTest, AskSaveStatisticsYesNoCancel) {
    TMainForm& f = Make();
    // Nothing pending: Yes without a question.
    EXPECT_EQ(f.AskSaveStatistics(), mrYes);
    EXPECT_TRUE(Dialogs.Messages.empty());

    auto pending = [&] {
        UnsavedStatLines->assign({"Database header page information:", "*END*"});
        Dialogs.Messages.clear();
        Dialogs.FileDialogs.clear();
    };

    pending();   // Cancel: nothing else happens
    Dialogs.Answer(mrCancel);
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Previous statistics is not saved. Save it to file?");
    EXPECT_EQ(Dialogs.Messages[0].Type, mtWarning);
    EXPECT_TRUE(Dialogs.FileDialogs.empty());
    EXPECT_EQ(UnsavedStatLines->size(), 2u);

    pending();   // Yes, save dialog cancelled: stops too
    Dialogs.Answer(mrYes);
    Dialogs.ChooseFile("");
    EXPECT_EQ(f.AskSaveStatistics(), mrCancel);
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    EXPECT_EQ(Dialogs.FileDialogs[0].Filter, "Text files (*.dvt)|*.dvt");
    EXPECT_TRUE(Dialogs.FileDialogs[0].OverwritePrompt);
    EXPECT_EQ(UnsavedStatLines->size(), 2u);

    pending();   // Yes and saved: the load goes on, the question is gone
    const std::string saved = TempPath("pending.dvt");
    Dialogs.Answer(mrYes);
    Dialogs.ChooseFile(saved);
    Dialogs.ChooseFile(kFull);
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(ReadFile(saved).substr(0, 10), std::string("DVT2DATA\r\n"));
    EXPECT_TRUE(UnsavedStatLines->empty());
    EXPECT_EQ(DBInfo->Relations.size(), 5u);

    pending();   // No: loads and discards
    Dialogs.Answer(mrNo);
    Dialogs.ChooseFile(kHeader);
    f.Widgets().tbLoadFile->click();
    EXPECT_EQ(Dialogs.FileDialogs.size(), 1u);
    EXPECT_TRUE(UnsavedStatLines->empty());
    EXPECT_TRUE(DBInfo->Relations.empty());
}

TEST_F(MainFormTest, SaveProposesTheServerBasedNameAndClearsThePendingState) {
    TMainForm& f = Make();
    ASSERT_NE(DM, nullptr);
    f.OpenStatFile(kFull);
    // The state a server run leaves: its server, the lines, the commands.
    DM->SetServiceParams("dbhost/3051", "D:\\Data\\Sales.fdb", "SYSDBA", "pw", 0);
    UnsavedStatLines->assign({"x"});
    for (QAction* a : {f.Widgets().SaveStatFile}) a->setEnabled(true);
    for (QToolButton* b : {f.Widgets().tbSaveStat, f.Widgets().tbRefresh}) b->setEnabled(true);
    const std::string target = TempPath("typed-name");
    Dialogs.ChooseFile(target);
    f.Widgets().tbSaveStat->click();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    const QString proposed = QString::fromStdString(Dialogs.FileDialogs[0].FileName);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^dbhost_3051_Sales_\\d{8}_\\d\\d-\\d\\d\\.dvt$"))
                    .match(proposed)
                    .hasMatch())
        << proposed.toStdString();
    // No extension is added to a typed name.
    EXPECT_TRUE(FileExists(target));
    EXPECT_FALSE(FileExists(target + ".dvt"));
    EXPECT_TRUE(UnsavedStatLines->empty());
    EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_FALSE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_TRUE(f.Widgets().tbRefresh->isEnabled()) << "a save leaves the reload alone";
    // The caption no longer calls the statistics unsaved, and the next file
    // dialog starts where this one saved.
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Saved to " + target);
    Dialogs.ChooseFile("");
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(Dialogs.FileDialogs[1].InitialDir, Dir.path().toStdString());
}

TEST_F(MainFormTest, ServerLinesWithoutMetadataEnableTheServerCommands) {
    TMainForm& f = Make();
    FreeDataModule();   // no connection: the size stays as parsed
    f.setWindowTitle(QStringLiteral("Dravolt 2.7. Unsaved from host:/db.fdb"));
    UnsavedStatLines->assign({"kept"});
    f.Widgets().tbFilter->setChecked(true);
    EXPECT_TRUE(f.LoadServerLines(ReadLines(kService), false));
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 5);
    EXPECT_EQ(FrIndexStat->vstIdxStat->RootNodeCount(), static_cast<int>(DBInfo->Indices.size()));
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Unsaved from host:/db.fdb") << "the dialog's caption stays";
    EXPECT_TRUE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_TRUE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_TRUE(f.Widgets().tbRefresh->isEnabled());
    EXPECT_FALSE(SelectivityVisible());
    EXPECT_FALSE(MetadataLoaded);
    EXPECT_EQ(*UnsavedStatLines, TStringList{"kept"});
    EXPECT_EQ(DBMonInfo->AllocatedPages, 0) << "a server load does not reset the counters";
    // A file load afterwards disables the three again.
    f.OpenStatFile(kFull);
    EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_FALSE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_FALSE(f.Widgets().tbRefresh->isEnabled());
    EXPECT_TRUE(UnsavedStatLines->empty());
}

TEST_F(MainFormTest, HeaderReloadKeepsTheRowsAndFullReloadRebuildsThem) {
    TMainForm& f = Make();
    FreeDataModule();
    ASSERT_TRUE(f.LoadServerLines(ReadLines(kService), false));
    std::vector<TRelation*> before = DBInfo->Relations;
    const int indexRows = FrIndexStat->vstIdxStat->RootNodeCount();
    DBInfo->NxT = 1;
    f.ApplyReloadLines(ReadLines(kHeader), false);
    EXPECT_EQ(DBInfo->Relations, before);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 5);
    EXPECT_EQ(FrIndexStat->vstIdxStat->RootNodeCount(), indexRows);
    EXPECT_GT(DBInfo->NxT, 1) << "the header values come from the new text";
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(FrTableStat->vstTblStat->GetFirst()), before[0]);

    f.ApplyReloadLines(ReadLines(kFull), true);
    EXPECT_EQ(DBInfo->Relations.size(), 5u);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 5);
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(FrTableStat->vstTblStat->GetFirst()),
              DBInfo->Relations[0]);
    EXPECT_GT(DBInfo->RecordSize, 0) << "totals computed";
}

// ---------------------------------------------------------------------------
// Against the local server: the database size and the metadata come from the
// live database the statistics were taken from.

const char* const kPartsDdl =
    "CREATE TABLE PARTS (ID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(20), PRICE NUMERIC(12,2));\n"
    "CREATE INDEX PARTS_CODE ON PARTS (CODE);\n"
    "COMMIT;\n"
    "SET TERM ^;\n"
    "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 500) DO BEGIN "
    "INSERT INTO PARTS VALUES (:I, 'P' || MOD(:I, 7), :I * 1.5); I = I + 1; END END^\n"
    "SET TERM ;^\n";

TEST_F(MainFormTest, ServerLinesWithMetadataReadTheLiveDatabase) {
    DV_REQUIRE_FB_SERVER();
    TFbTestDatabase db("main_load", kPartsDdl);
    ASSERT_TRUE(db.Created()) << db.CreateOutput();
    const TStringList lines = db.Fbstat("-a -r");
    ASSERT_FALSE(lines.empty());
    TMainForm& f = Make();
    ASSERT_NE(DM, nullptr);
    DM->SetServiceParams("localhost", db.Path(), "SYSDBA", FbPassword(), 0);
    ASSERT_TRUE(f.LoadServerLines(lines, true));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_TRUE(MetadataLoaded);
    EXPECT_TRUE(SelectivityVisible());
    EXPECT_GT(DBInfo->DBSize, 0);
    EXPECT_EQ(DBInfo->DBSize % 8, 0) << "pages times 8 kilobytes";
    TRelation* parts = nullptr;
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == "PARTS") parts = r;
    ASSERT_NE(parts, nullptr);
    ASSERT_EQ(parts->Fields.size(), 3u);
    EXPECT_EQ(parts->Fields[2]->FieldName, "PRICE");
    bool keyed = false;
    for (TIndex* i : DBInfo->Indices)
        if (i->IndexName == "PARTS_CODE") keyed = i->Key == "CODE";
    EXPECT_TRUE(keyed);

    // A full reload reads the metadata again; the rows are rebuilt.
    f.ApplyReloadLines(lines, true);
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
    {
        auto parts = std::find_if(DBInfo->Relations.begin(), DBInfo->Relations.end(),
                                  [](TRelation* r) { return r->TableName == "PARTS"; });
        ASSERT_NE(parts, DBInfo->Relations.end());
        EXPECT_EQ((*parts)->Fields.size(), 3u);
    }

    // What the window saved reads back with the columns.
    const std::string dvt = TempPath("server.dvt");
    SaveStatToFile(*DBInfo, dvt);
    const std::string before = WriteComponentText(*DBInfo);
    f.OpenStatFile(dvt);
    EXPECT_EQ(WriteComponentText(*DBInfo), before);
    {
        auto parts = std::find_if(DBInfo->Relations.begin(), DBInfo->Relations.end(),
                                  [](TRelation* r) { return r->TableName == "PARTS"; });
        ASSERT_NE(parts, DBInfo->Relations.end());
        EXPECT_EQ((*parts)->Fields.size(), 3u);
    }
}

}  // namespace
}  // namespace dv::test
