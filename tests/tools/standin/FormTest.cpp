// The form codecs on their own: URL-encoded and multipart bodies, and what a form may have
// before it is refused whole.
#include <gtest/gtest.h>

#include <string>

#include "tools/standin/HttpMessage.h"

namespace {

standin::HttpRequest formPost(std::string contentType, std::string body) {
    standin::HttpRequest request;
    request.method = "POST";
    request.headers = {{"Content-Type", std::move(contentType)}};
    request.body = std::move(body);
    return request;
}

// `parts` fields f0, f1, ... with the values v0, v1, ... (or none).
std::string multipart(const std::string& boundary, std::size_t parts, bool valued = true) {
    std::string body;
    for (std::size_t i = 0; i < parts; ++i)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"f" +
                std::to_string(i) + "\"\r\n\r\n" + (valued ? "v" + std::to_string(i) : "") + "\r\n";
    return body + "--" + boundary + "--\r\n";
}

TEST(Forms, AsManyFieldsAsAFormMayHaveAndNoMore) {
    std::string most, more;
    for (std::size_t i = 0; i < standin::kMaxFormFields; ++i)
        most += "f" + std::to_string(i) + "=" + std::to_string(i) + "&";
    auto read = standin::parseForm(formPost("application/x-www-form-urlencoded", most));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), standin::kMaxFormFields);
    EXPECT_EQ(standin::fieldValue(*read, "f7"), "7");
    // Empty ones between "&"s are no fields; one more is.
    EXPECT_TRUE(
        standin::parseForm(formPost("application/x-www-form-urlencoded", "&&" + most + "&")));
    EXPECT_FALSE(standin::parseForm(formPost("application/x-www-form-urlencoded", most + "x")));
    EXPECT_FALSE(standin::parseForm(formPost("", most + "x=1")));

    const std::string type = "multipart/form-data; boundary=b0undary";
    auto parts = standin::parseForm(formPost(type, multipart("b0undary", standin::kMaxFormFields)));
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->size(), standin::kMaxFormFields);
    EXPECT_EQ(standin::fieldValue(*parts, "f3"), "v3");
    EXPECT_FALSE(
        standin::parseForm(formPost(type, multipart("b0undary", standin::kMaxFormFields + 1))));
    // Empty parts count as parts.
    EXPECT_FALSE(standin::parseForm(formPost(type, multipart("b0undary", 40, false))));
}

TEST(Forms, AMultipartBoundaryOfSeventyCharactersAtMost) {
    const std::string longest(standin::kMaxBoundary, 'b');
    auto read = standin::parseForm(
        formPost("multipart/form-data; boundary=\"" + longest + "\"", multipart(longest, 2)));
    ASSERT_TRUE(read);
    EXPECT_EQ(standin::fieldValue(*read, "f1"), "v1");
    const std::string over = longest + "b";
    EXPECT_FALSE(
        standin::parseForm(formPost("multipart/form-data; boundary=" + over, multipart(over, 2))));
}

}  // namespace
