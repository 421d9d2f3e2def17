// Reading a statistics service to its end the way the tests compare it with
// fbstat.
#pragma once

#include "platform/streaming/Classes.h"
#include "server/IBComponents.h"

namespace dv::test {

// Every line of a started service up to its end; the empty answer that ends
// the run is not a line.
inline TStringList ReadServiceLines(TIBStatisticalService& svc) {
    TStringList lines;
    while (!svc.Eof()) {
        std::string line = svc.GetNextLine();
        if (!svc.Eof()) lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace dv::test
