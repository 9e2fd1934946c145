#include "support/StandInTesting.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

namespace standintest {

namespace {

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string entry =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!entry.empty()) out.push_back(entry);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

std::string patternOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

}  // namespace

void addHostsOverride(const std::string& entries) {
    std::vector<std::string> added = split(entries);
    std::set<std::string> patterns;
    for (const auto& e : added)
        patterns.insert(patternOf(e));
    const char* current = std::getenv("BAZAARNEST_HOSTS");
    for (const auto& e : split(current ? current : "")) {
        if (!patterns.count(patternOf(e))) added.push_back(e);
    }
    std::string value;
    for (const auto& e : added)
        value += (value.empty() ? "" : ",") + e;
    setenv("BAZAARNEST_HOSTS", value.c_str(), 1);
}

std::function<void(const std::string&)> RequestLog::writer() {
    return [this](const std::string& line) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.push_back(line);
        // A long run keeps only the recent lines.
        if (lines_.size() > 5000) lines_.pop_front();
    };
}

std::vector<std::string> RequestLog::take() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<std::string> out(lines_.begin(), lines_.end());
    lines_.clear();
    return out;
}

StartedProgram::StartedProgram(const std::vector<std::string>& arguments) {
    int out[2];
    if (arguments.empty() || pipe(out) != 0) return;
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        return;
    }
    output_ = fdopen(out[0], "r");
    firstLine = nextLine();
    size_t at = firstLine.find("127.0.0.1:");
    if (at != std::string::npos) port = std::atoi(firstLine.c_str() + at + 10);
    // The banner comes in one write: the host map, then the authority when it serves https.
    std::string line = nextLine();
    if (line.rfind("BAZAARNEST_HOSTS=", 0) == 0) hosts = line.substr(17);
    if (firstLine.find("https") != std::string::npos) {
        line = nextLine();
        if (line.rfind("BAZAARNEST_CA_FILE=", 0) == 0) caFile = line.substr(19);
    }
}

StartedProgram::~StartedProgram() {
    stop();
    if (output_) fclose(static_cast<FILE*>(output_));
}

std::string StartedProgram::nextLine() {
    if (!output_) return {};
    char line[8192];
    if (!fgets(line, sizeof line, static_cast<FILE*>(output_))) return {};
    std::string out(line);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool StartedProgram::stop() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace standintest
