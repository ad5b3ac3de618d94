// A test suite whose tests share one fixture folder of recordings, made once
// for the suite; its tests are skipped when espeak-ng or sox is missing.
#pragma once

#include "CSpeechFixture.h"

#include <gtest/gtest.h>

#include <memory>

template <class Suite>
class SpeechFixtureSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_fx = std::make_unique<CSpeechFixture>(); }
    static void TearDownTestSuite() { s_fx.reset(); }
    void SetUp() override
    {
        if (!s_fx->Error().empty())
            GTEST_SKIP() << s_fx->Error();
    }
    static inline std::unique_ptr<CSpeechFixture> s_fx;
};
