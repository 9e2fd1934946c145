// HTTP requests and responses as the stand-in servers' handlers see them, and the codecs of URLs,
// queries, form bodies (URL-encoded and multipart) and cookies.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

struct HeaderField {
    std::string name;
    std::string value;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool containsIgnoringCase(std::string_view text, std::string_view part);
std::string lowercase(std::string_view text);

struct HttpRequest {
    std::string method = "GET";
    std::string target = "/";  // as sent
    std::string path = "/";    // the target's path, still percent-encoded, without the query
    std::string query;         // after "?", without it
    std::string version = "HTTP/1.1";
    // The request line as received, without CRLF (as much of it as came, for a head that could
    // not be read).
    std::string requestLine;
    std::vector<HeaderField> headers;
    std::string body;  // content coding removed
    bool tls = false;
    std::string host;  // from the Host field: lower case, without the port
    std::string peer;  // "address:port" of the client
    // When its first bytes reached the server's socket, by the kernel's stamp on the system
    // clock (however late a loaded machine let the server read them); the epoch when unknown.
    std::chrono::system_clock::time_point arrived{};

    // The first value of that field, "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // The value of that cookie in the Cookie fields, nullopt when absent.
    std::optional<std::string> cookie(std::string_view name) const;
    // "http(s)://host" followed by the target.
    std::string url() const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::vector<HeaderField> headers;  // besides Content-Type, Content-Length and Connection
    std::string body;

    // How the server delivers it (faults on demand).
    enum class Delivery { Normal, Truncate, Drop, Reset } delivery = Delivery::Normal;
    std::size_t truncateAt = 0;
    // A note for the request log (the fault that applied, a captcha answer, ...).
    std::string note;

    HttpResponse& header(std::string name, std::string value) {
        headers.push_back({std::move(name), std::move(value)});
        return *this;
    }
    static HttpResponse html(std::string body, int status = 200);
    static HttpResponse plain(std::string body, int status = 200);
    static HttpResponse binary(std::string body, std::string contentType);
    static HttpResponse redirect(std::string location, int status = 302);
};

std::string reasonPhrase(int status);

// A method or field name: one or more token characters (RFC 9110).
bool isToken(std::string_view text);
// A field value as it may travel: visible bytes, spaces, tabs and bytes above 0x7f; never NUL, CR,
// LF or another control byte.
bool isFieldValue(std::string_view text);

// A request made by hand (tests answering it without sockets): the host in lower case, and the
// path and query from the target where they were not set.
void completeFromTarget(HttpRequest& request);

// ---- URLs and queries -------------------------------------------------------------------------

// %XX escapes decoded; with plusAsSpace a "+" reads as a space (query and form values).
std::string percentDecode(std::string_view text, bool plusAsSpace);
// Every byte other than letters, digits and "-._~" (and those in `keep`) as %XX.
std::string percentEncode(std::string_view text, std::string_view keep = "");

struct UrlParts {
    std::string scheme;  // lower case
    std::string host;    // lower case, without the port
    int port = 0;        // 0 when the URL names none
    std::string path = "/";
    std::string query;
};
// Whether a URL is only visible ASCII (no space, no control byte, nothing above 0x7e), as a
// Location field and a link take it.
bool isUrlText(std::string_view url);
// Splits an absolute http(s) URL; nullopt for anything else.
std::optional<UrlParts> splitUrl(std::string_view url);

// A decimal integer (digits, optionally after a "-") from min to max; nullopt for anything else,
// out of range included. Numbers from requests are read with it: never an exception, never an
// overflow.
std::optional<long long> integerIn(std::string_view text, long long min, long long max);
// A decimal number (no infinity, no NaN) from min to max; nullopt for anything else.
std::optional<double> numberIn(std::string_view text, double min, double max);

// ---- forms ------------------------------------------------------------------------------------

struct FormField {
    std::string name;
    std::string value;  // the text, or the file's bytes
    bool isFile = false;
    std::string fileName;
    std::string contentType;
};
using FormFields = std::vector<FormField>;

// The most fields a form post may have: more than any page's form holds, and few enough that
// what a form costs stays near its bytes (each field is a record of its own).
inline constexpr std::size_t kMaxFormFields = 32;
// The longest multipart boundary (RFC 2046): the parse looks for it at every line.
inline constexpr std::size_t kMaxBoundary = 70;

// "a=1&b=2" in order, names and values decoded ("+" as a space).
FormFields parseQuery(std::string_view query);
// The body of a form post, by its Content-Type: URL-encoded or multipart. nullopt when the body
// is neither or does not parse, when it has more than kMaxFormFields fields (or multipart parts,
// empty ones too: counted before any is made), or when its boundary is longer than kMaxBoundary.
std::optional<FormFields> parseForm(const HttpRequest& request);
// The first field of that name, or null.
const FormField* findField(const FormFields& fields, std::string_view name);
// Its value, "" when absent.
std::string fieldValue(const FormFields& fields, std::string_view name);
std::size_t countFields(const FormFields& fields, std::string_view name);

// Text made safe inside elements and quoted attributes.
std::string escapeHtml(std::string_view text);

}  // namespace standin
