// The file writer, the settings file and the registry stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/stores/FileIO.h"
#include "platform/stores/IniFiles.h"
#include "platform/stores/Registry.h"
#include "tests/support/TestSupport.h"

using namespace dv;
using dv::test::TUnwritableFolder;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards (permissions restored first).
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = testing::TempDir() + "dvsettingsXXXXXX";
        char* p = mkdtemp(tmpl.data());
        if (p) FPath = p;
    }
    ~TempFolder() {
        std::error_code ec;
        if (FPath.empty()) return;
        for (auto it = fs::recursive_directory_iterator(FPath, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            chmod(it->path().c_str(), 0700);
        chmod(FPath.c_str(), 0700);
        fs::remove_all(FPath, ec);
    }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

bool RunningAsRoot() { return geteuid() == 0; }

}  // namespace

// A save either replaces the file whole or leaves the earlier one as it was,
// with no temporary file behind and a message naming the file and the reason.
TEST(FileWriter, ReplacesWholeOrLeavesTheEarlierFile) {
    const std::string earlier = "earlier content\n";
    const std::string text = std::string(64 * 1024, 'n') + "\n";   // more than one block
    using Place = TUnwritableFolder;
    const struct {
        const char* name;
        int kind;   // a Place kind, or -1 for a plain folder
        const char* target;
        std::vector<int> errors;
    } cases[] = {
        {"full file system", Place::Full, "report.txt", {ENOSPC, EFBIG}},
        {"read-only folder", Place::ReadOnly, "report.txt", {EROFS, EACCES}},
        {"missing folder", -1, "absent/report.txt", {ENOENT}},
        {"folder as the target", -1, "", {EISDIR}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Place> place;
        TempFolder plain;
        if (c.kind >= 0) place.emplace(Place::TKind(c.kind));
        if (place && !place->CanLock()) continue;
        const std::string folder = place ? place->Path() : plain.Path();
        const std::string path = c.target[0] ? folder + "/" + c.target : folder;
        if (c.target[0] && std::string(c.target).find('/') == std::string::npos) dv::test::WriteFile(path, earlier);
        if (place) place->Lock();
        const std::vector<std::string> before = Place::NamesIn(folder);
        const TFileWriteResult r = ReplaceFileContent(path, text);
        EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), r.Error), c.errors.end()) << r.Error;
        const std::string message = r.Message(path);
        EXPECT_EQ(message.find("file \"" + path + "\". "), std::string(r.Created ? "Cannot write " : "Cannot create ").size())
            << message;
        EXPECT_TRUE(message.ends_with(std::strerror(r.Error))) << message;
        if (!before.empty()) {
            EXPECT_EQ(dv::test::ReadFile(path), earlier);
        }
        EXPECT_EQ(Place::NamesIn(folder), before);
        EXPECT_THROW(SaveFileContent(path, text), EFCreateError);
    }
}

// A replaced file keeps its mode, a link stays a link and its file gets the
// text, a new file gets the umask's mode.
TEST(FileWriter, KeepsModeAndLinks) {
    TempFolder dir;
    const std::string file = dir.Path() + "/kept.txt";
    dv::test::WriteFile(file, "old");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(symlink("kept.txt", (dir.Path() + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("made.txt", (dir.Path() + "/dangling.txt").c_str()), 0);
    const mode_t mask = umask(022);
    const struct {
        const char* written;
        const char* file;
        mode_t mode;
    } cases[] = {
        {"kept.txt", "kept.txt", 0640},
        {"link.txt", "kept.txt", 0640},
        {"dangling.txt", "made.txt", 0644},
        {"new.txt", "new.txt", 0644},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::string text = std::string("new text for ") + c.written;
        ASSERT_TRUE(ReplaceFileContent(dir.Path() + "/" + c.written, text));
        EXPECT_EQ(dv::test::ReadFile(dir.Path() + "/" + c.file), text);
        struct stat st {};
        ASSERT_EQ(lstat((dir.Path() + "/" + c.file).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
    umask(mask);
    for (const char* link : {"link.txt", "dangling.txt"}) {
        struct stat st {};
        ASSERT_EQ(lstat((dir.Path() + "/" + link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5) << "a temporary file left";
}

TEST(IniFile, MissingFileGivesDefaults) {
    TempFolder dir;
    TIniFile ini(dir.Path() + "/none.ini");
    EXPECT_EQ(ini.ReadInteger("Options", "MainWidth", 640), 640);
    EXPECT_EQ(ini.ReadString("Options", "Name", "def"), "def");
    EXPECT_TRUE(ini.ReadBool("Options", "HeaderPage", true));
    EXPECT_FALSE(ini.SectionExists("Options"));
}

TEST(IniFile, WritesAndReadsBack) {
    TempFolder dir;
    const std::string path = dir.Path() + "/dravolt.ini";
    {
        TIniFile ini(path);
        EXPECT_TRUE(ini.WriteInteger("Options", "MainWidth", 1024));
        EXPECT_TRUE(ini.WriteInteger("Options", "MainLeft", -8));
        EXPECT_TRUE(ini.WriteBool("Options", "HeaderPage", true));
        EXPECT_TRUE(ini.WriteBool("Options", "LoadMetadata", false));
        EXPECT_TRUE(ini.WriteString("Other", "Text", " padded = value "));
        EXPECT_TRUE(ini.WriteInteger("Options", "MainWidth", 1280));  // replaces
    }
    EXPECT_EQ(dv::test::ReadFile(path),
              "[Options]\nMainWidth=1280\nMainLeft=-8\nHeaderPage=1\nLoadMetadata=0\n"
              "[Other]\nText= padded = value \n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Options", "MainWidth", 0), 1280);
    EXPECT_EQ(ini.ReadInteger("options", "MAINLEFT", 0), -8);  // names ignore case
    EXPECT_TRUE(ini.ReadBool("Options", "HeaderPage", false));
    EXPECT_FALSE(ini.ReadBool("Options", "LoadMetadata", true));
    EXPECT_EQ(ini.ReadString("Other", "Text", ""), "padded = value");  // outer blanks trimmed on reading
}

TEST(IniFile, ReadsFilesWrittenByHand) {
    TempFolder dir;
    const std::string path = dir.Path() + "/hand.ini";
    dv::test::WriteFile(path,
                        "; a comment\r\n"
                        "[Options]\r\n"
                        "  MainWidth = 800 \r\n"
                        "MainHeight=abc\r\n"
                        "MainTop=$10\r\n"
                        "HeaderPage=2\r\n"
                        "LoadMetadata=yes\r\n"
                        "Quoted=\"x y\"\r\n"
                        "no equals sign\r\n"
                        "[Empty]\r\n");
    TIniFile ini(path);
    const struct {
        const char* key;
        int32_t def;
        int32_t value;
    } ints[] = {{"MainWidth", 0, 800}, {"MainHeight", 7, 7}, {"MainTop", 0, 16}, {"Missing", -1, -1}};
    for (const auto& c : ints) EXPECT_EQ(ini.ReadInteger("Options", c.key, c.def), c.value) << c.key;
    EXPECT_TRUE(ini.ReadBool("Options", "HeaderPage", false));     // any integer but 0
    EXPECT_FALSE(ini.ReadBool("Options", "LoadMetadata", false));  // not an integer: the default
    EXPECT_TRUE(ini.ReadBool("Options", "LoadMetadata", true));
    EXPECT_EQ(ini.ReadString("Options", "Quoted", ""), "x y");
    EXPECT_TRUE(ini.SectionExists("Empty"));

    // Writing keeps the comment and the lines it does not understand.
    EXPECT_TRUE(ini.WriteInteger("Options", "MainWidth", 900));
    const std::string text = dv::test::ReadFile(path);
    EXPECT_NE(text.find("; a comment\n"), std::string::npos) << text;
    EXPECT_NE(text.find("no equals sign\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MainWidth=900\n"), std::string::npos) << text;
}

TEST(IniFile, UnwritablePlacesFailQuietly) {
    TempFolder dir;
    // A folder below a plain file can never be written, not even by root.
    const std::string blocker = dir.Path() + "/plainfile";
    dv::test::WriteFile(blocker, "x");
    std::vector<std::string> paths = {blocker + "/dravolt.ini", dir.Path()};  // the second is a folder
    const std::string readOnly = dir.Path() + "/readonly";
    fs::create_directory(readOnly);
    dv::test::WriteFile(readOnly + "/dravolt.ini", "[Options]\nMainWidth=700\n");
    chmod(readOnly.c_str(), 0555);
    if (!RunningAsRoot()) paths.push_back(readOnly + "/dravolt.ini");

    for (const std::string& path : paths) {
        TIniFile ini(path);
        EXPECT_FALSE(ini.WriteInteger("Options", "MainWidth", 1)) << path;
        EXPECT_FALSE(ini.WriteBool("Options", "HeaderPage", true)) << path;
        EXPECT_FALSE(ini.UpdateFile()) << path;
        // This object still holds what it was told.
        EXPECT_EQ(ini.ReadInteger("Options", "MainWidth", 0), 1) << path;
    }
    if (!RunningAsRoot()) {
        // The read-only file kept its content and no temporary file was left.
        EXPECT_EQ(dv::test::ReadFile(readOnly + "/dravolt.ini"), "[Options]\nMainWidth=700\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(readOnly), fs::directory_iterator()), 1);
    }
    // A folder given as the file reads as defaults.
    TIniFile folder(dir.Path());
    EXPECT_EQ(folder.ReadInteger("Options", "MainWidth", 5), 5);
}

TEST(IniFile, UnreadableFileGivesDefaults) {
    if (RunningAsRoot()) GTEST_SKIP() << "root reads every file";
    TempFolder dir;
    const std::string path = dir.Path() + "/locked.ini";
    dv::test::WriteFile(path, "[Options]\nMainWidth=700\n");
    chmod(path.c_str(), 0);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Options", "MainWidth", 5), 5);
}

namespace {

// Points the registry at a fresh folder for one test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("DRAVOLT_CONFIG_DIR");
        FHad = old != nullptr;
        if (FHad) FOld = old;
        FDir = std::make_unique<TempFolder>();
        setenv("DRAVOLT_CONFIG_DIR", (FDir->Path() + "/config").c_str(), 1);
    }
    void TearDown() override {
        if (FHad) setenv("DRAVOLT_CONFIG_DIR", FOld.c_str(), 1);
        else unsetenv("DRAVOLT_CONFIG_DIR");
        FDir.reset();
    }
    std::string StorePath() const { return FDir->Path() + "/config/registry"; }
    std::string Folder() const { return FDir->Path(); }

private:
    std::unique_ptr<TempFolder> FDir;
    bool FHad = false;
    std::string FOld;
};

const char* const kServers = "\\SOFTWARE\\Kelmaris\\Dravolt\\Servers";

}  // namespace

TEST_F(RegistryTest, ConfigFolderComesFromTheEnvironment) {
    EXPECT_EQ(ConfigDir(), Folder() + "/config");
    unsetenv("DRAVOLT_CONFIG_DIR");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string oldXdg = xdg ? xdg : "";
    setenv("XDG_CONFIG_HOME", "/somewhere/cfg", 1);
    EXPECT_EQ(ConfigDir(), "/somewhere/cfg/dravolt");
    unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(ConfigDir(), std::string(home) + "/.config/dravolt");
    if (xdg) setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
}

TEST_F(RegistryTest, KeysAreOpenedCreatedAndFoundAgain) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(reg.OpenKey(kServers, false));
    EXPECT_FALSE(reg.KeyExists(kServers));
    EXPECT_FALSE(fs::exists(StorePath()));  // nothing written by looking
    ASSERT_TRUE(reg.OpenKey(kServers, true));
    EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Kelmaris\\Dravolt\\Servers");
    // Relative to the open key; the empty path is the open key itself.
    ASSERT_TRUE(reg.OpenKey("", false));
    EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Kelmaris\\Dravolt\\Servers");
    ASSERT_TRUE(reg.OpenKey("localhost/3050", true));
    EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\Kelmaris\\Dravolt\\Servers\\localhost/3050");
    reg.CloseKey();
    EXPECT_FALSE(reg.HasCurrentKey());

    TRegistry other;
    other.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_TRUE(other.KeyExists("\\software\\KELMARIS\\Dravolt\\Servers\\LOCALHOST/3050\\"));  // case ignored
    other.RootKey = HKEY_CURRENT_USER;
    EXPECT_FALSE(other.KeyExists(kServers));  // the roots are separate
}

TEST_F(RegistryTest, NamesWithSlashesBackslashesAndColonsSurvive) {
    const std::vector<std::string> servers = {"localhost", "db.example:3050", "host/3051", "10.0.0.1"};
    const std::vector<std::string> databases = {"C:\\Data\\Employee.fdb", "/tmp/dravolt-fb/a b.fdb",
                                                "srv:/var/db/x.fdb", "weird=[name]%41\r\n", "LastServer2"};
    {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        EXPECT_TRUE(reg.WriteString("LastServer", "db.example:3050"));
        EXPECT_TRUE(reg.WriteString("LastDatabase", "C:\\Data\\Employee.fdb"));
        for (const std::string& s : servers) {
            ASSERT_TRUE(reg.OpenKey(kServers, false));
            ASSERT_TRUE(reg.OpenKey(s, true)) << s;
            for (size_t i = 0; i < databases.size(); ++i)
                EXPECT_TRUE(reg.WriteInteger(databases[i], static_cast<int32_t>(i))) << databases[i];
        }
    }
    // A new object reads everything back from the file.
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(kServers, false));
    EXPECT_EQ(reg.ReadString("LastServer"), "db.example:3050");
    EXPECT_EQ(reg.ReadString("LastDatabase"), "C:\\Data\\Employee.fdb");
    // Subkeys alphabetically, ignoring case.
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"10.0.0.1", "db.example:3050", "host/3051", "localhost"}));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"LastServer", "LastDatabase"}));
    for (const std::string& s : servers) {
        ASSERT_TRUE(reg.OpenKey(kServers, false));
        ASSERT_TRUE(reg.OpenKey(s, false)) << s;
        EXPECT_EQ(reg.GetValueNames(), databases) << s;  // in the order they were made
        EXPECT_TRUE(reg.GetKeyNames().empty()) << s;
        for (size_t i = 0; i < databases.size(); ++i) EXPECT_EQ(reg.ReadInteger(databases[i]), static_cast<int32_t>(i));
    }
}

TEST_F(RegistryTest, ValuesTypesAndDeletion) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Kelmaris\\Corvex\\", true));
    EXPECT_EQ(reg.ReadString("RootDir"), "");  // missing reads as empty
    EXPECT_FALSE(reg.ValueExists("RootDir"));
    EXPECT_TRUE(reg.WriteString("RootDir", "/opt/corvex"));
    EXPECT_TRUE(reg.ValueExists("RootDir"));
    EXPECT_TRUE(reg.WriteString("RootDir", "/opt/other"));  // the same value
    EXPECT_EQ(reg.ReadString("RootDir"), "/opt/other");
    // Value names hold database paths and compare with case; key names do not.
    EXPECT_FALSE(reg.ValueExists("rootdir"));
    EXPECT_EQ(reg.ReadString("ROOTDIR"), "");
    EXPECT_TRUE(reg.WriteString("rootdir", "/opt/lower"));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"RootDir", "rootdir"}));
    EXPECT_EQ(reg.ReadString("RootDir"), "/opt/other");
    EXPECT_TRUE(reg.DeleteValue("rootdir"));
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"RootDir"});

    EXPECT_TRUE(reg.WriteInteger("Count", -5));
    EXPECT_EQ(reg.ReadInteger("Count"), -5);
    for (const char* name : {"RootDir", "Missing"}) {
        try {
            reg.ReadInteger(name);
            ADD_FAILURE() << name;
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), std::string("Invalid data type for '") + name + "'");
        }
    }
    EXPECT_THROW(reg.ReadString("Count"), ERegistryException);

    EXPECT_TRUE(reg.DeleteValue("Count"));
    EXPECT_FALSE(reg.DeleteValue("Count"));
    EXPECT_FALSE(reg.ValueExists("Count"));

    ASSERT_TRUE(reg.OpenKey("Sub\\Deeper", true));
    EXPECT_TRUE(reg.WriteString("x", "y"));
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Kelmaris", false));
    EXPECT_TRUE(reg.DeleteKey("Corvex"));  // with everything below it
    EXPECT_FALSE(reg.KeyExists("\\SOFTWARE\\Kelmaris\\Corvex\\Sub\\Deeper"));
    EXPECT_FALSE(reg.DeleteKey("Corvex"));
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Kelmaris"));

    // Deleting the open key closes it; writes then fail instead of landing elsewhere.
    ASSERT_TRUE(reg.OpenKey("\\A\\B", true));
    EXPECT_TRUE(reg.DeleteKey("\\A"));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(reg.WriteString("x", "y"));
    EXPECT_FALSE(reg.DeleteKey("\\"));  // a root key stays
}

TEST_F(RegistryTest, SeveralObjectsSeeEachOthersChanges) {
    TRegistry a, b;
    ASSERT_TRUE(a.OpenKey("\\K", true));
    ASSERT_TRUE(b.OpenKey("\\K", false));
    EXPECT_TRUE(a.WriteString("v", "1"));
    EXPECT_EQ(b.ReadString("v"), "1");
    EXPECT_TRUE(b.WriteString("w", "2"));
    EXPECT_EQ(a.GetValueNames(), (std::vector<std::string>{"v", "w"}));
}

TEST_F(RegistryTest, DamagedStoreReadsAsFarAsItMakesSense) {
    fs::create_directories(Folder() + "/config");
    dv::test::WriteFile(StorePath(),
                        "DRAVOLT-REGISTRY 1\n"
                        "[HKEY_CURRENT_USER\\Good]\n"
                        "s Name=value%0Awith line\n"
                        "i Number=12\n"
                        "i Broken=notanumber\n"
                        "garbage line\n"
                        "[NO_SUCH_ROOT\\X]\n"
                        "s Lost=1\n"
                        "\x01\x02\xFF[\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Good", false));
    EXPECT_EQ(reg.ReadString("Name"), "value\nwith line");
    EXPECT_EQ(reg.ReadInteger("Number"), 12);
    EXPECT_FALSE(reg.ValueExists("Broken"));
    EXPECT_FALSE(reg.KeyExists("\\X"));

    std::string garbage(100000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
    dv::test::WriteFile(StorePath(), garbage);
    TRegistry fresh;
    EXPECT_FALSE(fresh.OpenKey("\\Good", false));
    EXPECT_TRUE(fresh.OpenKey("\\Good", true));  // and the store is rewritten cleanly
}

TEST_F(RegistryTest, UnwritableStoreLeavesTheStateAsItWas) {
    // The configuration folder lies below a plain file: nothing can be stored.
    const std::string blocker = Folder() + "/plain";
    dv::test::WriteFile(blocker, "x");
    setenv("DRAVOLT_CONFIG_DIR", (blocker + "/config").c_str(), 1);
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kServers, true));
    EXPECT_FALSE(reg.KeyExists(kServers));
    EXPECT_FALSE(reg.HasCurrentKey());

    if (RunningAsRoot()) return;
    // A read-only folder with a store in it: reads work, changes fail and are undone.
    setenv("DRAVOLT_CONFIG_DIR", (Folder() + "/config").c_str(), 1);
    ASSERT_TRUE(reg.OpenKey(kServers, true));
    ASSERT_TRUE(reg.WriteString("LastServer", "a"));
    chmod((Folder() + "/config").c_str(), 0555);
    EXPECT_FALSE(reg.WriteString("LastServer", "b"));
    EXPECT_FALSE(reg.WriteInteger("New", 1));
    EXPECT_FALSE(reg.OpenKey("NewKey", true));
    EXPECT_FALSE(reg.DeleteValue("LastServer"));
    EXPECT_EQ(reg.ReadString("LastServer"), "a");
    EXPECT_FALSE(reg.ValueExists("New"));
    EXPECT_FALSE(reg.KeyExists("NewKey"));
}
