// Class-level services without a network: gzip, Base64, dates, MIME types, proxy scripts, the
// body stream and the bandwidth count.
#include <cstdio>
#include <fstream>

#include "EngineTesting.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "external/nk-http-request/Classes/NKInputStream.h"

using namespace enginetest;

namespace {
Ref<NSData> bytes(const std::string& s) {
    return NSData::dataWithBytes(s.data(), s.size());
}
Ref<NSString> tempFile(const char* name, const std::string& contents) {
    Ref<NSString> path = NSTemporaryDirectory()->stringByAppendingPathComponent(str(name));
    std::ofstream(path->utf8(), std::ios::binary) << contents;
    return path;
}
std::string contentsOf(NSString* path) {
    Ref<NSData> d = NSData::dataWithContentsOfFile(path);
    return d ? std::string(d->view()) : std::string("(unreadable)");
}
}  // namespace

TEST(NKHTTPRequestGzip, RoundTripsInMemoryAndReadsZlibToo) {
    std::string text = "The quick brown fox jumps over the lazy dog. ";
    Ref<NSData> packed = NKHTTPRequest::compressData(bytes(text));
    ASSERT_TRUE(packed);
    EXPECT_EQ(static_cast<unsigned char>(packed->view()[0]), 0x1f);  // a gzip header
    EXPECT_EQ(NKHTTPRequest::uncompressZippedData(packed)->view(), text);
    EXPECT_EQ(NKHTTPRequest::uncompressZippedData(bytes(testhttp::zlibBytes(text)))->view(), text);
    EXPECT_EQ(NKHTTPRequest::compressData(NSData::data())->length(), 0u);
    EXPECT_EQ(NKHTTPRequest::uncompressZippedData(NSData::data())->length(), 0u);
}

TEST(NKHTTPRequestGzip, SmallInputInflatingToManyTimesItsSizeComesOutWhole) {
    std::string huge(2000000, 'a');
    std::string packed = testhttp::gzipBytes(huge);
    ASSERT_LT(packed.size() * 100, huge.size());
    Ref<NSData> out = NKHTTPRequest::uncompressZippedData(bytes(packed));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->view(), huge);
}

TEST(NKHTTPRequestGzip, StreamCutInHalfFailsInMemoryAndFromFile) {
    std::string packed = testhttp::gzipBytes(testhttp::patternBytes(50000));
    std::string half = packed.substr(0, packed.size() / 2);
    EXPECT_FALSE(NKHTTPRequest::uncompressZippedData(bytes(half)));
    EXPECT_FALSE(NKHTTPRequest::uncompressZippedData(bytes("not gzip at all")));
    Ref<NSString> source = tempFile("half.gz", half);
    Ref<NSString> dest = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("half.out"));
    EXPECT_EQ(NKHTTPRequest::uncompressZippedDataFromFile(source, dest), -3);
}

TEST(NKHTTPRequestGzip, FilesRoundTripAndAnEmptyFileGivesAnEmptyStream) {
    std::string text = testhttp::patternBytes(100000);
    Ref<NSString> source = tempFile("plain.bin", text);
    Ref<NSString> packed = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("p.gz"));
    Ref<NSString> back = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("p.out"));
    EXPECT_EQ(NKHTTPRequest::compressDataFromFile(source, packed), 0);
    EXPECT_EQ(NKHTTPRequest::uncompressZippedDataFromFile(packed, back), 0);
    EXPECT_EQ(contentsOf(back), text);

    Ref<NSString> empty = tempFile("empty.bin", "");
    EXPECT_EQ(NKHTTPRequest::compressDataFromFile(empty, packed), 0);
    std::string gz = contentsOf(packed);
    EXPECT_GT(gz.size(), 0u);
    EXPECT_EQ(testhttp::inflateBytes(gz), std::optional<std::string>(""));
    EXPECT_EQ(NKHTTPRequest::uncompressZippedDataFromFile(source, NS("/nonexistent-folder/out")),
              1);
}

TEST(NKHTTPRequestServices, Base64PadsToFourCharacters) {
    EXPECT_EQ(NKHTTPRequest::base64forData(bytes("a"))->utf8(), "YQ==");
    EXPECT_EQ(NKHTTPRequest::base64forData(bytes("ab"))->utf8(), "YWI=");
    EXPECT_EQ(NKHTTPRequest::base64forData(bytes("abc"))->utf8(), "YWJj");
    EXPECT_EQ(NKHTTPRequest::base64forData(bytes("\xfb\xff"))->utf8(), "+/8=");
}

TEST(NKHTTPRequestServices, RFC1123DatesWithAndWithoutWeekdayAndSeconds) {
    // 2012-03-01 12:00:00 UTC.
    NSTimeInterval expected = kManualClockDefaultStart;
    auto at = [](const char* s) {
        Ref<NSDate> d = NKHTTPRequest::dateFromRFC1123String(str(s));
        return d ? d->timeIntervalSinceReferenceDate() : -1.0;
    };
    EXPECT_EQ(at("Thu, 01 Mar 2012 12:00:00 GMT"), expected);
    EXPECT_EQ(at("01 Mar 2012 12:00:00 GMT"), expected);
    EXPECT_EQ(at("Thu, 01 Mar 2012 12:00 GMT"), expected);
    EXPECT_EQ(at("2012-03-01T12:00:00Z"), -1.0);
}

TEST(NKHTTPRequestServices, MimeTypeNeedsAnExistingFile) {
    EXPECT_FALSE(NKHTTPRequest::mimeTypeForFileAtPath(NS("/no/such/picture.jpg")));
    EXPECT_EQ(NKHTTPRequest::mimeTypeForFileAtPath(tempFile("pic.jpg", "x"))->utf8(), "image/jpeg");
    EXPECT_EQ(NKHTTPRequest::mimeTypeForFileAtPath(tempFile("odd.zzqq", "x"))->utf8(),
              "application/octet-stream");
}

TEST(NKHTTPRequestServices, ProxyScriptThatCannotBeLoadedMeansDirect) {
    Ref<NSURL> target = urlOf("http://example.test/");
    Ref<NSArray> none =
        NKHTTPRequest::proxiesForURL(target, NSURL::fileURLWithPath(NS("/no/such.pac")));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->count(), 0u);
    // A script that loads cannot be run here: no answer at all.
    Ref<NSString> script =
        tempFile("proxy.pac", "function FindProxyForURL(u, h) { return \"DIRECT\"; }");
    EXPECT_FALSE(NKHTTPRequest::proxiesForURL(target, NSURL::fileURLWithPath(script)));
}

TEST(NKHTTPRequestServices, RequestWithAnUnusableProxyScriptFailsWithCodeSix) {
    Ref<NSString> script =
        tempFile("proxy2.pac", "function FindProxyForURL(u, h) { return \"DIRECT\"; }");
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1:9/"));
    r->setPACurl(NSURL::fileURLWithPath(script));
    r->startSynchronous();
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKInternalErrorWhileBuildingRequestType);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(),
              "Unable to obtain information on proxy servers needed for request");
}

TEST(NKHTTPRequestServices, BodyStreamPassesReadsThroughAndCountsThem) {
    Ref<NKHTTPRequest> owner = NKHTTPRequest::requestWithURL(urlOf("http://127.0.0.1/"));
    Ref<NKInputStream> s = NKInputStream::inputStreamWithData(bytes("0123456789"), owner);
    EXPECT_EQ(s->request().get(), owner.get());
    s->open();
    EXPECT_EQ(s->streamStatus(), NSStreamStatusOpen);
    unsigned long before = NKHTTPRequest::bandwidthUsedInLastSecond();
    uint8_t buffer[64];
    EXPECT_EQ(s->read(buffer, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "0123");
    EXPECT_EQ(s->read(buffer, 64), 6);
    EXPECT_EQ(s->read(buffer, 64), 0);
    // What was asked for counts, not what came.
    EXPECT_GE(NKHTTPRequest::bandwidthUsedInLastSecond() - before, 4u + 64u + 64u);
    EXPECT_FALSE(NKHTTPRequest::isBandwidthThrottled());
    s->close();
    EXPECT_EQ(s->streamStatus(), NSStreamStatusClosed);
}
