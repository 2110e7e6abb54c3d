// A fixture for tests that write files: each test gets an empty directory
// of its own, named after it and the process, and leaves nothing behind.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace mosaro_test {

class ScratchDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The process id keeps two checkouts testing at once on one machine
        // from emptying each other's directory mid-test.
        dir_ = std::filesystem::path(testing::TempDir()) /
               (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

}  // namespace mosaro_test
