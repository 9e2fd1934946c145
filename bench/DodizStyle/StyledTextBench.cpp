// Styled text: parsing and laying out marked-up paragraphs (about 150 bytes each, 200 of them
// about 30 KB) at width 300, against the platform's XML parser with an empty delegate over the
// same markup and sizeWithFont of the same plain text at the same width, in the same run. Each
// runs at 50 and 200 paragraphs; "per_paragraph" is the time a paragraph, which stays level when
// the cost is linear. Text is measured with the system's real fonts, as the app does.
#include <benchmark/benchmark.h>

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "Foundation/NSXMLParser.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZStyledText.h"

namespace {

constexpr CGFloat kWidth = 300;

std::string paragraphs(int count) {
    static const char* const kItems[] = {"road bike", "sofa", "desk lamp", "bookshelf", "camera"};
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += "<p>Listing " + std::to_string(i) + ": a <b>clean " + kItems[i % 5] +
               "</b>, <i>barely used</i>, see <a href=\"http://site.test/item/" +
               std::to_string(1000 + i) +
               "\">the photos</a> and call before Friday; price firm, pickup downtown.</p>";
    }
    return out;
}

// Installs the real font measurer for the run.
struct RealFonts {
    RealFonts() : scope(UIFontTextMeasurer::shared()) {}
    UITextMeasurerScope scope;
};

void setCounters(benchmark::State& state, int count, size_t bytes) {
    state.counters["per_paragraph"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_StyledTextParseAndLayout(benchmark::State& state) {
    NSAutoreleasePool pool;
    RealFonts fonts;
    int count = int(state.range(0));
    std::string source = paragraphs(count);
    auto markup = NSString::fromUTF8(source);
    for (auto _ : state) {
        NSAutoreleasePool inner;
        auto text = DZStyledText::textFromXHTML(markup);
        text->setWidth(kWidth);
        benchmark::DoNotOptimize(text->height());
    }
    setCounters(state, count, source.size());
}
BENCHMARK(BM_StyledTextParseAndLayout)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

class EmptyDelegate : public NSObject, public NSXMLParserDelegate {
    NS_OBJECT(EmptyDelegate, NSObject)
};

void BM_XMLParserEmptyDelegate(benchmark::State& state) {
    NSAutoreleasePool pool;
    int count = int(state.range(0));
    std::string source = "<x>" + paragraphs(count) + "</x>";
    auto data = NSData::dataWithBytes(source.data(), source.size());
    auto delegate = make<EmptyDelegate>();
    for (auto _ : state) {
        NSAutoreleasePool inner;
        auto parser = make<NSXMLParser>(&NSXMLParser::initWithData, data.get());
        parser->setDelegate(delegate);
        benchmark::DoNotOptimize(parser->parse());
    }
    setCounters(state, count, source.size());
}
BENCHMARK(BM_XMLParserEmptyDelegate)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_SizeWithFontPlainText(benchmark::State& state) {
    NSAutoreleasePool pool;
    RealFonts fonts;
    int count = int(state.range(0));
    auto text = DZStyledText::textFromXHTML(NSString::fromUTF8(paragraphs(count)));
    // The same words, as one plain string.
    auto plain = NSMutableString::string();
    for (auto node = text->rootNode(); node; node = node->nextSibling())
        plain->appendString(node->outerText());
    auto font = UIFont::systemFontOfSize(14);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sizeWithFont(plain, font, CGSizeMake(kWidth, 1e9f)));
    }
    setCounters(state, count, plain->length());
}
BENCHMARK(BM_SizeWithFontPlainText)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
