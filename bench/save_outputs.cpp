// Writes what the program makes of one input, for comparing two builds byte
// for byte (bench/same_outputs.sh): the save-file text of the model and its
// report (under a fixed first line, as the batch report writes it), through
// the program's own load and save routines, so a save file written by one
// build can be read back by another.
//
//   save_outputs <statistics text or .dvt> <output prefix>
//   writes <prefix>.dvt and <prefix>.report
#include <cstdio>
#include <string>

#include "model/StatFile.h"
#include "model/dkmain.h"
#include "model/report.h"

using namespace dv;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_outputs <statistics text or .dvt> <output prefix>\n");
        return 2;
    }
    const std::string input = argv[1], prefix = argv[2];
    InitStatisticsModel();
    try {
        if (!TStatFile(input).Load()) {
            std::fprintf(stderr, "%s: no statistics\n", input.c_str());
            return 1;
        }
        SaveStatToFile(*DBInfo, prefix + ".dvt");
        SaveReportToFile(BuildRecommendations(*DBInfo, "Statistics report"), prefix + ".report");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", input.c_str(), e.what());
        return 1;
    }
    return 0;
}
