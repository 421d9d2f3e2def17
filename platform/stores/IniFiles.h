// A settings file of "[Section]" headers and "Key=Value" lines.
//
// The file is read once when the object is made; a file or folder that
// cannot be read simply gives the defaults. Every Write... stores the whole
// file at once (as the platform's own INI routines do) and reports with its
// result whether that worked; nothing here throws on a file error, so a
// settings file in a read-only place costs the user nothing but the settings.
// Section and key names are compared ignoring ASCII case; comments (';' or
// '#') and unknown lines are kept when the file is written back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Decimal, '$' or "0x" hexadecimal; anything else gives `def`.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // Any integer other than 0 is true; a value that is not an integer gives `def`.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;

    // Each returns false when the file could not be written; the value is
    // kept in memory all the same, so later reads of this object see it.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);  // "1" / "0"
    bool DeleteKey(const std::string& section, const std::string& key);

    // Writes the file again; false when that fails.
    bool UpdateFile();
    // Why the last write failed ("Cannot write file ..." naming the file and
    // the reason); empty when it worked.
    const std::string& LastWriteError() const { return FLastWriteError; }

private:
    struct Line {
        std::string key;    // empty for a comment or other kept line
        std::string value;  // the value, or the whole line when key is empty
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    const Section* FindSection(const std::string& name) const;
    const Line* FindLine(const std::string& section, const std::string& key) const;
    void Load();

    std::string FFileName;
    std::vector<Line> FLeading;   // lines before the first section
    std::vector<Section> FSections;
    std::string FLastWriteError;
};

}  // namespace dv
