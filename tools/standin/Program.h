// What the stand-in programs share: the arguments every one takes (--port, --certs, --no-tls,
// --quiet, --help), the request log on standard output, and serving until a stop signal.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace standin {

// Help text: what the banner holds (after "...needs to reach it"), and the arguments above.
extern const char* const kProgramBannerUsage;
extern const char* const kProgramArgumentsUsage;

struct ProgramArguments {
    int port = 0;
    std::string certificateFolder;
    bool tls = true;
    bool quiet = false;

    // Lines to standard output, or nothing with --quiet.
    std::function<void(const std::string&)> log() const;
};

// Reads the arguments; `own` is offered those it does not know first and says whether it took
// one (it may read the argument's value with the function it is given, null when none follows).
// nullopt to go on, else the exit code (0 after --help, 2 for a bad argument).
using OwnArgument =
    std::function<bool(const std::string& argument, const std::function<const char*()>& value)>;
std::optional<int> readProgramArguments(int argc, char** argv, const char* name, const char* usage,
                                        ProgramArguments* out, const OwnArgument& own = {});
bool parseNumber(const char* text, unsigned long long* out);

// Blocks the stop signals (so that the server's threads inherit the mask), starts, prints the
// banner (the first line, then BAZAARNEST_HOSTS=... and BAZAARNEST_CA_FILE=... lines), waits for
// SIGINT, SIGTERM or SIGHUP and stops. The program's exit code.
int serveUntilStopped(const char* name, const std::function<bool(std::string* error)>& start,
                      const std::function<std::string()>& banner,
                      const std::function<void()>& stop);

}  // namespace standin
