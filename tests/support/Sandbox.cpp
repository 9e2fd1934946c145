#include "support/Sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace testsandbox {

Sandbox::Sandbox() {
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) temp = "/tmp";
    std::string folder = (temp / "bn-test-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        std::perror(("test sandbox: cannot make " + folder).c_str());
        std::exit(1);
    }
    path_ = folder;
    std::string home = path_ + "/home";
    if (!std::filesystem::create_directory(home, error)) {
        std::fprintf(stderr, "test sandbox: cannot make %s: %s\n", home.c_str(),
                     error.message().c_str());
        std::exit(1);
    }
    // The temporary folder the test framework and the standard library hand out.
    std::string scratch = path_ + "/scratch";
    if (!std::filesystem::create_directory(scratch, error)) {
        std::fprintf(stderr, "test sandbox: cannot make %s: %s\n", scratch.c_str(),
                     error.message().c_str());
        std::exit(1);
    }
    ::setenv("BAZAARNEST_HOME", path_.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("TMPDIR", scratch.c_str(), 1);
    ::setenv("TEST_TMPDIR", scratch.c_str(), 1);
    // Whatever goes by the person's own folders finds them under the home above.
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        ::unsetenv(name);
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testsandbox
