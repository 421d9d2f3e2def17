#include "platform/stores/IniFiles.h"

#include "platform/stores/FileIO.h"
#include "platform/text/SysUtils.h"

namespace dv {

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) { Load(); }

void TIniFile::Load() {
    std::string text;
    if (!ReadWholeFile(FFileName, text)) return;
    size_t pos = 0;
    Section* current = nullptr;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string::npos) {
            const std::string name = Trim(std::string_view(line).substr(1, line.find(']') - 1));
            FSections.push_back(Section{name, {}});
            current = &FSections.back();
            continue;
        }
        Line l;
        const size_t eq = line.find('=');
        if (!line.empty() && line[0] != ';' && line[0] != '#' && eq != std::string::npos && eq > 0) {
            l.key = Trim(std::string_view(line).substr(0, eq));
            l.value = Trim(std::string_view(line).substr(eq + 1));
            // Values written by other tools may be quoted.
            if (l.value.size() >= 2 && ((l.value.front() == '"' && l.value.back() == '"') ||
                                        (l.value.front() == '\'' && l.value.back() == '\'')))
                l.value = l.value.substr(1, l.value.size() - 2);
        } else {
            if (line.empty()) continue;
            l.value = raw;
        }
        (current ? current->lines : FLeading).push_back(std::move(l));
    }
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
    for (const Section& s : FSections)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

const TIniFile::Line* TIniFile::FindLine(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    if (!s) return nullptr;
    for (const Line& l : s->lines)
        if (!l.key.empty() && SameText(l.key, key)) return &l;
    return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    const Line* l = FindLine(section, key);
    return l ? l->value : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    const Line* l = FindLine(section, key);
    if (!l) return def;
    int32_t v;
    return TryStrToInt(l->value, v) ? v : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return FindLine(section, key) != nullptr;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    // Line breaks would split the entry; they become blanks.
    std::string v = value;
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    Section* s = const_cast<Section*>(FindSection(section));
    if (!s) {
        FSections.push_back(Section{section, {}});
        s = &FSections.back();
    }
    bool found = false;
    for (Line& l : s->lines)
        if (!l.key.empty() && SameText(l.key, key)) {
            l.value = v;
            found = true;
            break;
        }
    if (!found) s->lines.push_back(Line{key, v});
    return UpdateFile();
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    Section* s = const_cast<Section*>(FindSection(section));
    if (!s) return true;
    std::erase_if(s->lines, [&](const Line& l) { return !l.key.empty() && SameText(l.key, key); });
    return UpdateFile();
}

bool TIniFile::UpdateFile() {
    std::string out;
    for (const Line& l : FLeading) out += l.value + "\n";
    for (const Section& s : FSections) {
        out += "[" + s.name + "]\n";
        for (const Line& l : s.lines) out += l.key.empty() ? l.value + "\n" : l.key + "=" + l.value + "\n";
    }
    const TFileWriteResult written = ReplaceFileContent(FFileName, out);
    FLastWriteError = written ? std::string() : written.Message(FFileName);
    return bool(written);
}

}  // namespace dv
