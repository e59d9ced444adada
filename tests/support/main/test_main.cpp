// The main of every test executable: runs the tests with a temporary folder of their own as the
// run-time directory (XDG_RUNTIME_DIR, which Qt otherwise creates as /tmp/runtime-<user>) and as
// TMPDIR (where Qt's temporary files and folders go), and removes that folder afterwards.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/kryta-test-XXXXXX";
    const bool own = ::mkdtemp(folder.data()) != nullptr;  // private to the user (0700)
    if (own) {
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        setenv("TMPDIR", folder.c_str(), 1);
    }
    const pid_t self = ::getpid();
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    if (own && ::getpid() == self) std::filesystem::remove_all(folder, ignored);
    return result;
}
