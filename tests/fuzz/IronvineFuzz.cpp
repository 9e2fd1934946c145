// The Ironvine ad engine's parsers on arbitrary bytes. One source, three targets chosen at build
// time: the JSON parser (and the escaping that every script string goes through, which must read
// back as the same text), the bridge's command grammar (every parsed call is performed on a
// handler that checks its arguments' kinds), and the zip unpacker (nothing may appear outside
// the destination folder).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVCommandHandler.h"
#include "ads/ironvine/IVJSON.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/IVZip.h"

namespace {

[[maybe_unused]] void checkArgument(NSObject* o) {
    if (o && !is<NSString>(o) && !is<NSNumber>(o)) abort();
}

class FuzzHandler : public IVCommandHandler {
    NS_OBJECT(FuzzHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c) {
        c.method("bridge_none", &FuzzHandler::none)
            .method("a:", &FuzzHandler::one)
            .method("a:b:", &FuzzHandler::two)
            .method("a:b:c:d:e:", &FuzzHandler::five)
            .method("count:", &FuzzHandler::count);
    }
    bool init() override { return initWithName(NS("BridgeFuzz")); }
    void none() {}
    void one(NSObject* a) { checkArgument(a); }
    void two(NSObject* a, NSObject* b) {
        checkArgument(a);
        checkArgument(b);
    }
    void five(NSObject* a, NSObject* b, NSObject* c, NSObject* d, NSObject* e) {
        for (NSObject* o : {a, b, c, d, e})
            checkArgument(o);
    }
    void count(int) {}
};

[[maybe_unused]] void fuzzJSON(const std::string& bytes) {
    auto text = NSString::fromUTF8(bytes);
    if (auto value = IVJSON::objectWithString(text.get())) IVJSON::stringWithObject(value.get());
    auto quoted = NSString::stringWithFormat(NS("\"%@\""),
                                             IVJSON::stringByEscapingCharacters(text.get()).get());
    auto back = as<NSString>(IVJSON::objectWithString(quoted.get()));
    // Escaped, even a NUL is text: everything comes back unchanged.
    if (!back || back->u16() != text->u16()) abort();
}

[[maybe_unused]] void fuzzGrammar(const std::string& bytes) {
    static Ref<FuzzHandler> handler = make<FuzzHandler>();
    static Ref<IVJavascriptBridge> bridge = [] {
        auto b = IVJavascriptBridge::bridgeInMode(1, nullptr, handler.get());
        b->halt();
        return b;
    }();
    auto text = NSString::fromUTF8(bytes);
    auto commands = text->componentsSeparatedByString(NS(";\n"));
    for (NSUInteger i = 0; i < commands->count(); ++i)
        bridge->executeCocoaCommand(as<NSString>(commands->objectAtIndex(i)).get());
}

[[maybe_unused]] void fuzzZip(const std::string& bytes) {
    namespace fs = std::filesystem;
    static const fs::path root =
        fs::temp_directory_path() / ("ivzip-fuzz-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    std::ofstream(root / "in.zip", std::ios::binary) << bytes;
    IVZip::unzipPackage(NSString::fromUTF8((root / "in.zip").string()).get(),
                        NSString::fromUTF8((root / "out").string()).get());
    for (const auto& entry : fs::directory_iterator(root)) {
        auto name = entry.path().filename().string();
        if (name != "in.zip" && name != "out") abort();  // written outside the destination
    }
    fs::remove_all(root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NSAutoreleasePool pool;
    std::string bytes(reinterpret_cast<const char*>(data), size);
#if defined(IV_FUZZ_JSON)
    fuzzJSON(bytes);
#elif defined(IV_FUZZ_GRAMMAR)
    fuzzGrammar(bytes);
#elif defined(IV_FUZZ_ZIP)
    fuzzZip(bytes);
#endif
    return 0;
}
