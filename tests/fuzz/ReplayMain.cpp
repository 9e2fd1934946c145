// Runs a fuzz target's entry point once on each stored input, in name order, without the fuzzer:
// the ordinary build's sanitizers check every input a developer's exploring ever kept, and the
// verdict never depends on luck. Arguments are files or folders of files. It runs in the same
// sandbox as the test programs: a target may reach code that keeps files in the app's home.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "support/Sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// What a crash report names: the input being run. Written by a signal handler, so plain bytes.
char currentInput[4096];

void nameTheInput() {
    static const char prefix[] = "fuzz replay: failed on ";
    ssize_t ignored = ::write(2, prefix, sizeof prefix - 1);
    ignored = ::write(2, currentInput, std::strlen(currentInput));
    ignored = ::write(2, "\n", 1);
    (void)ignored;
}

void nameTheInputAndStop(int sig) {
    nameTheInput();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// A sanitizer's finding ends the process through its runtime, often without a signal. Each runtime
// loaded (address and undefined-behaviour checks are separate libraries, each with its own list of
// callbacks) is asked to name the input first.
void nameTheInputOnAnyFinding() {
    std::vector<std::string> runtimes;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "san.so"))
                static_cast<std::vector<std::string>*>(found)->push_back(info->dlpi_name);
            return 0;
        },
        &runtimes);
    for (const auto& runtime : runtimes) {
        void* handle = ::dlopen(runtime.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (!handle) continue;
        using SetCallback = void (*)(void (*)());
        if (auto set =
                reinterpret_cast<SetCallback>(::dlsym(handle, "__sanitizer_set_death_callback")))
            set(nameTheInput);
        ::dlclose(handle);
    }
}

std::vector<std::filesystem::path> inputsOf(const char* argument) {
    std::filesystem::path path(argument);
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        inputs.push_back(path);
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    testsandbox::Sandbox sandbox;
    nameTheInputOnAnyFinding();
    std::signal(SIGABRT, nameTheInputAndStop);
    std::signal(SIGSEGV, nameTheInputAndStop);
    std::signal(SIGFPE, nameTheInputAndStop);
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& input : inputsOf(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "fuzz replay: cannot read %s\n", input.c_str());
                return 1;
            }
            std::string bytes((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
            // A block of exactly the input's size, so that reading past its end is caught.
            auto* data = static_cast<uint8_t*>(std::malloc(bytes.size() ? bytes.size() : 1));
            std::memcpy(data, bytes.data(), bytes.size());
            std::snprintf(currentInput, sizeof currentInput, "%s", input.c_str());
            LLVMFuzzerTestOneInput(data, bytes.size());
            std::free(data);
            ++count;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "fuzz replay: no inputs\n");
        return 1;
    }
    std::printf("fuzz replay: %zu inputs passed\n", count);
    return 0;
}
