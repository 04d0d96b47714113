#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/app_folder.h"

TEST(ApplicationFolder, ExecutableFolderOrVospenHome) {
    unsetenv("VOSPEN_HOME");
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(platform::ApplicationFolder(), exe.parent_path().string());
    setenv("VOSPEN_HOME", "/tmp/somewhere/", 1);
    EXPECT_EQ(platform::ApplicationFolder(), "/tmp/somewhere");
    unsetenv("VOSPEN_HOME");
}
