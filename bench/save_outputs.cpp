// Writes what the program makes of one input, for comparing two builds byte
// for byte (bench/same_outputs.sh): the save-file text of the model and its
// report (under a fixed first line, as the batch report writes it). A save
// file given as input is read as the program reads one, so a save file
// written by one build can be read back by another.
//
//   save_outputs <statistics text or .dvt> <output prefix>
//   writes <prefix>.dvt and <prefix>.report
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "model/report.h"
#include "platform/streaming/ComponentText.h"
#include "platform/system/Dialogs.h"
#include "platform/stores/FileIO.h"

using namespace dv;

namespace {

constexpr std::string_view kMagic = "DVT2DATA\r\n";

bool IsSaveFile(const std::string& path) {
    char head[10] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, sizeof head);
    return in.gcount() == static_cast<std::streamsize>(sizeof head) && kMagic == std::string_view(head, sizeof head);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_outputs <statistics text or .dvt> <output prefix>\n");
        return 2;
    }
    const std::string input = argv[1], prefix = argv[2];
    InitStatisticsModel();
    try {
        if (IsSaveFile(input)) {
            const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) throw EFOpenError("cannot open " + input);
            const TFileText body(fd, static_cast<off_t>(kMagic.size()));
            ::close(fd);
            DBInfo->Reset(true);
            ReadComponentText(body.View(), *DBInfo, 2);
            RebuildModelLists(*DBInfo);
        } else if (!ParseStatFile(input)) {
            std::fprintf(stderr, "%s: no statistics\n", input.c_str());
            return 1;
        }
        std::string dvt(kMagic);
        WriteComponentText(*DBInfo, dvt);
        WriteFile(prefix + ".dvt", dvt);
        TStringList lines = BuildRecommendations(*DBInfo, "Statistics report");
        std::string report;
        for (const std::string& line : lines) report += line + "\r\n";
        WriteFile(prefix + ".report", report);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", input.c_str(), e.what());
        return 1;
    }
    return 0;
}
