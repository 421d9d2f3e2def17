// Shared set-up for the rule tests: a loaded-looking DBInfo with a chosen
// page size and the built-in options, both restored afterwards so other
// suites in the same binary see what they expect.
#pragma once

#include <gtest/gtest.h>

#include "model/dkmain.h"
#include "model/options.h"

namespace dv::test {

class RulesFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InitStatisticsModel();
        savedOptions_ = OptionSettings;
        savedPageSize_ = DBInfo->PageSize;
        OptionSettings = TOptionSettings{};
        DBInfo->PageSize = 4096;
        index.Relation = &table;
    }
    void TearDown() override {
        OptionSettings = savedOptions_;
        DBInfo->PageSize = savedPageSize_;
    }

    TRelation table{nullptr};
    TIndex index{nullptr};

private:
    TOptionSettings savedOptions_;
    int32_t savedPageSize_ = 0;
};

}  // namespace dv::test
