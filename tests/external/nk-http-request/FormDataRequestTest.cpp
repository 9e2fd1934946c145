// Form bodies byte for byte, as the echo server received them.
#include <fstream>

#include "EngineTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"

using namespace enginetest;
using testhttp::TestServer;
using namespace std::string_literals;

namespace {
const std::string B = "0xKhTmLbOuNdArY";

Ref<NSData> bytes(const std::string& s) {
    return NSData::dataWithBytes(s.data(), s.size());
}
}  // namespace

class FormData : public ::testing::Test {
protected:
    void SetUp() override { server.route("*", "/echo", testhttp::echo()); }
    Ref<NKFormDataRequest> form() {
        return NKFormDataRequest::requestWithURL(urlOf(server.url("/echo")));
    }
    testhttp::Request send(NKFormDataRequest* r) {
        r->startSynchronous();
        EXPECT_FALSE(r->error());
        return *server.lastRequest();
    }
    TestServer server;
};

TEST_F(FormData, UrlEncodedValuesAreJoinedAndEscaped) {
    Ref<NKFormDataRequest> r = form();
    EXPECT_EQ(r->postFormat(), NKURLEncodedPostFormat);
    r->setPostValue(NS("a b&c=d+e"), NS("q"));
    r->addPostValue(NSNumber::numberWithInt(42), NS("n"));
    r->addPostValue(str("caf\xC3\xA9/~"), NS("k y"));
    auto sent = send(r);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(sent.body, "q=a%20b%26c%3Dd%2Be&n=42&k%20y=caf%C3%A9%2F%7E");
    EXPECT_EQ(sent.header("Content-Length"), std::to_string(sent.body.size()));
}

TEST_F(FormData, SingleValueHasNoSeparator) {
    Ref<NKFormDataRequest> r = form();
    r->addPostValue(NS("1"), NS("a"));
    EXPECT_EQ(send(r).body, "a=1");
}

TEST_F(FormData, SetValueLeavesOneEntryAtTheEnd) {
    Ref<NKFormDataRequest> r = form();
    r->addPostValue(NS("1"), NS("k"));
    r->addPostValue(NS("x"), NS("other"));
    r->addPostValue(NS("2"), NS("k"));
    r->addPostValue(NS("3"), NS("k"));
    r->setPostValue(NS("4"), NS("k"));
    EXPECT_EQ(r->postData()->count(), 2u);
    EXPECT_EQ(send(r).body, "other=x&k=4");
}

TEST_F(FormData, NothingAddedSendsNoBody) {
    Ref<NKFormDataRequest> r = form();
    auto sent = send(r);
    EXPECT_EQ(sent.method, "GET");
    EXPECT_TRUE(sent.body.empty());
    EXPECT_FALSE(sent.headers.has("Content-Type"));
}

TEST_F(FormData, MultipartLayoutWithValuesAndAFile) {
    Ref<NKFormDataRequest> r = form();
    r->setPostFormat(NKMultipartFormDataPostFormat);
    r->setPostValue(NS("1"), NS("a"));
    r->setPostValue(NS("2"), NS("b"));
    r->addData(bytes("JPEG\x00\xFF"s), NS("x.jpg"), NS("image/jpeg"), NS("f"));
    auto sent = send(r);
    EXPECT_EQ(sent.header("Content-Type"), "multipart/form-data; charset=utf-8; boundary=" + B);
    std::string expected =
        "--" + B + "\r\n" + "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + B +
        "\r\n" + "Content-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--" + B + "\r\n" +
        "Content-Disposition: form-data; name=\"f\"; filename=\"x.jpg\"\r\n" +
        "Content-Type: image/jpeg\r\n\r\n" + "JPEG\x00\xFF"s + "\r\n--" + B + "--\r\n";
    EXPECT_EQ(sent.body, expected);
    EXPECT_EQ(sent.header("Content-Length"), std::to_string(expected.size()));
}

TEST_F(FormData, MultipartEdgesValuesOnlyFilesOnlyAndEmpty) {
    Ref<NKFormDataRequest> values = form();
    values->setPostFormat(NKMultipartFormDataPostFormat);
    values->addPostValue(NS("v"), NS("k"));
    EXPECT_EQ(send(values).body, "--" + B +
                                     "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv" +
                                     "\r\n--" + B + "--\r\n");

    Ref<NKFormDataRequest> files = form();
    files->addData(bytes("D"), NS("f"));
    auto sent = send(files);
    EXPECT_EQ(sent.body, "--" + B +
                             "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"file\"\r\n"
                             "Content-Type: application/octet-stream\r\n\r\nD\r\n--" +
                             B + "--\r\n");
    // A file part makes a URL-encoded form multipart.
    EXPECT_EQ(files->postFormat(), NKMultipartFormDataPostFormat);

    Ref<NKFormDataRequest> empty = form();
    empty->setPostFormat(NKMultipartFormDataPostFormat);
    empty->setPostData(NSMutableArray::array());
    EXPECT_EQ(send(empty).body, "--" + B + "\r\n\r\n--" + B + "--\r\n");
}

TEST_F(FormData, FilePartIsCopiedFromDiskThroughATemporaryBodyFile) {
    Ref<NSString> path = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("photo.png"));
    std::string contents = testhttp::patternBytes(600000);
    {
        std::ofstream out(path->utf8(), std::ios::binary);
        out << contents;
    }
    Ref<NKFormDataRequest> r = form();
    r->addPostValue(NS("v"), NS("k"));
    r->addFile(path, NS("photo"));
    auto sent = send(r);
    std::string head =
        "--" + B + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--" + B +
        "\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"photo.png\"\r\n"
        "Content-Type: image/png\r\n\r\n";
    EXPECT_EQ(sent.body, head + contents + "\r\n--" + B + "--\r\n");
    EXPECT_TRUE(r->shouldStreamPostDataFromDisk());
    EXPECT_EQ(r->postLength(), sent.body.size());
}

TEST_F(FormData, MissingFileFailsTheRequestAtOnce) {
    Ref<Recorder> d = make<Recorder>();
    Ref<NKFormDataRequest> r = form();
    r->setDelegate(d);
    r->addFile(NS("/no/such/file.jpg"), NS("f"));
    ASSERT_TRUE(r->error());
    EXPECT_EQ(r->error()->code(), NKInternalErrorWhileBuildingRequestType);
    EXPECT_EQ(r->error()->localizedDescription()->utf8(), "No file exists at /no/such/file.jpg");
    r->startSynchronous();
    EXPECT_EQ(d->events, std::vector<std::string>{"failed"});
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(FormData, BuildingAgainGivesTheSameBodyAndKeepsTheLists) {
    Ref<NKFormDataRequest> r = form();
    r->setPostFormat(NKMultipartFormDataPostFormat);
    r->addPostValue(NS("1"), NS("a"));
    r->addData(bytes("xyz"), NS("n.bin"), NS("application/x-test"), NS("f"));
    r->buildPostBody();
    uint64_t first = r->postLength();
    r->setHaveBuiltPostBody(false);
    r->buildPostBody();
    EXPECT_EQ(r->postLength(), first);
    EXPECT_EQ(r->postData()->count(), 1u);
    EXPECT_EQ(r->fileData()->count(), 1u);
    auto sent = send(r);
    EXPECT_EQ(sent.body.size(), first);
    EXPECT_EQ(sent.body.rfind("--" + B + "\r\n", 0), 0u);
    EXPECT_EQ(sent.body.find("--" + B + "\r\n", 1), sent.body.find("\r\n--" + B + "\r\n") + 2);
}

TEST_F(FormData, CopyCarriesTheListsAndBuildsItsOwnBody) {
    Ref<NKFormDataRequest> r = form();
    r->addPostValue(NS("1"), NS("a"));
    r->addData(bytes("xyz"), NS("f"));
    auto original = send(r);
    auto copy = as<NKFormDataRequest>(r->copy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->postFormat(), r->postFormat());
    EXPECT_EQ(copy->postData()->count(), 1u);
    auto again = send(copy);
    EXPECT_EQ(again.body, original.body);
}
