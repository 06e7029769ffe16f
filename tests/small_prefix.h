// A small Wine prefix in a temporary folder for file tests: drive_c with a Windows folder,
// dosdevices/c: -> ../drive_c and z: -> /, active while the test runs. The process's
// current Windows directory is put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/prefix/current_directory.h"
#include "platform/prefix/prefix.h"
#include "temp_dir.h"

namespace qvtest {

class SmallPrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDirectory_ = qv::CurrentWindowsDirectory();
        root_ = temp_.path() / "prefix";
        namespace fs = std::filesystem;
        fs::create_directories(root_ / "dosdevices");
        fs::create_directories(DriveC() / "windows" / "system32");
        fs::create_directories(DriveC() / "users" / "tester");
        fs::create_directories(DriveC() / "users" / "Public");
        fs::create_symlink("../drive_c", root_ / "dosdevices" / "c:");
        fs::create_symlink("/", root_ / "dosdevices" / "z:");
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(root_));
    }
    void TearDown() override {
        qv::SetActivePrefix(nullptr);
        qv::StoreCurrentWindowsDirectory(savedDirectory_);
    }

    std::filesystem::path DriveC() const { return root_ / "drive_c"; }
    // Creates a file (and its folders) below drive_c.
    std::filesystem::path MakeFile(const std::string& relative, const std::string& content = "x") {
        std::filesystem::path path = DriveC() / relative;
        std::filesystem::create_directories(path.parent_path());
        WriteFile(path, content);
        return path;
    }
    std::filesystem::path MakeFolder(const std::string& relative) {
        std::filesystem::path path = DriveC() / relative;
        std::filesystem::create_directories(path);
        return path;
    }

    TempDir temp_;
    std::filesystem::path root_;
    std::string savedDirectory_;
};

}  // namespace qvtest
