// The fresh home every test program, benchmark and fuzz input replay runs in: a folder of its
// own, removed at exit, that the app's home folder, the person's home and the temporary folder
// all point into. A test that reaches for any, or drops the app's variable and falls back on
// the person's data folder, stays inside it.
#pragma once

#include <string>

namespace testsandbox {

class Sandbox {
public:
    // Makes the folder and points BAZAARNEST_HOME at it, HOME at its "home" folder with the
    // data, cache, config and state folders under that, and TMPDIR and TEST_TMPDIR at its
    // "scratch" folder. A program that cannot have one stops at once with a note, rather than
    // run in the person's home.
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace testsandbox
