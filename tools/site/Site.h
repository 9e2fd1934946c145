// The stand-in classifieds site: every host of the site and of the outside services the app
// reaches (captcha, page simplifier), answered by one loopback server that tells them apart by
// the Host field. Tests start it in process on a free port; the program `bazaarnest-site` serves
// it for people and scripts.
//
//   Site site;                       // seed kDefaultSeed
//   site.start();
//   setenv("BAZAARNEST_HOSTS", site.hostsOverride().c_str(), 1);
//   setenv("BAZAARNEST_CA_FILE", site.caFile().c_str(), 1);
//   ... fetch http://boston.bazaarnest.test/ with the platform ...
//
// Content is generated from the seed: the same seed gives the same bytes for every page (until
// people post). State that requests build up (captcha challenges, logins, postings) is kept in
// memory while the site runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/site/Listings.h"
#include "tools/site/SiteNames.h"
#include "tools/standin/Faults.h"
#include "tools/standin/HttpMessage.h"
#include "tools/standin/StandInServer.h"

namespace bnsite {

// The HTTP core and faults are the stand-in servers' shared ones.
using namespace standin;

class Catalog;
class ListingStore;
struct SiteImpl;

struct SiteOptions {
    std::uint64_t seed = kDefaultSeed;
    // The moment the listings' ages count back from (Unix seconds): the scripted clock's start
    // by default, so that scripts and tests see fixed dates; the program's interactive runs
    // give the time it starts.
    std::int64_t contentEpochUnix = kContentEpochUnix;
    // Mixed into the seed for what stands for a person or a form (session and browser cookies,
    // posting signatures, publish links, captcha challenges and codes), so that one run's tokens
    // mean nothing in another: 0 in tests and scripted runs, which see the same tokens every time;
    // drawn at random when the program starts for a person.
    std::uint64_t tokenSalt = 0;
    int port = 0;  // 0 picks a free port
    // The folder of the test authority's files (ca.pem, server.pem, server-key.pem); "" for the
    // build's own, made by scripts/make-test-ca. TLS is off when they cannot be had.
    std::string certificateFolder;
    bool tls = true;
    // One line per answered request; none when empty.
    std::function<void(const std::string&)> log;
    // Called for every request but the admin host's as it comes in, before it is answered: a
    // count kept here is whole once the client has its answer, which the log is not. Not for one
    // sent before the last reset (StandInServer::beginGeneration).
    std::function<void(const HttpRequest&)> received;
    // How long a client may take to send a request head (see HeadDeadline); with a gate name,
    // the deadline is reached when that gate (gate()) lets the head through instead.
    double headSeconds = 30;
    std::string headGate;
    // What the server takes on at once: connections, and how long each may hold its place
    // (see ServerLimits).
    ServerLimits limits;
};

// A confirmation mail the site "sent" (postings made without an account): its recipient and
// the link that publishes the posting.
struct SentMail {
    std::string to;
    std::string subject;
    std::string link;
};

// A photo the posting host took: its key ("<session>_<n>") and pixel size.
struct UploadedPhoto {
    std::string key;
    int width = 0;
    int height = 0;
};

// How much the site's stores of what clients sent hold, for tests of their bounds.
struct StoreSizes {
    std::size_t browsers = 0;  // browser cookies handed out and kept
    std::size_t loginSessions = 0;
    std::size_t loginFailures = 0;      // accounts whose failed logins are counted
    std::size_t captchaChallenges = 0;  // challenges whose images can still be fetched
    std::size_t captchaCodes = 0;       // verification codes not used yet
    std::size_t postingSessions = 0;
    std::size_t photoBytes = 0;  // the photos posted and kept, of postings made or not
    // Postings published, and those made without an account waiting for their mailed link:
    // how many, and the bytes of their text.
    std::size_t publishedPostings = 0;
    std::size_t publishedBytes = 0;
    std::size_t heldPostings = 0;
    std::size_t heldBytes = 0;
    std::size_t mails = 0;
};

class Site : public StandInFacade {
public:
    explicit Site(SiteOptions options = {});
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // start, stop, port, caFile, faults and gates: StandInFacade's.
    // The BAZAARNEST_HOSTS value that points every name at this server.
    std::string hostsOverride() const;

    // ---- what tests read or arrange
    // -------------------------------------------------------------- The answer a captcha challenge
    // expects (two words), nullopt for an unknown challenge.
    std::optional<std::string> captchaAnswer(const std::string& challenge) const;
    // The answer of the challenge the service made last (what the newest image shows).
    std::optional<std::string> lastCaptchaAnswer() const;
    // A verification code as the captcha service hands out after a right answer, valid once.
    std::string issueVerificationCode();
    std::vector<SentMail> sentMails() const;
    // The photos posted so far, in upload order (those of postings dropped unmade left out).
    std::vector<UploadedPhoto> uploadedPhotos() const;
    StoreSizes storeSizes() const;
    // The next posts to the posting host answer with these pages (comma-separated, one each)
    // instead of the step's own:
    // "type", "area", "compose", "emailwarning", "photos", "review", "terms", "captcha",
    // "phone", "sent" (the mail-confirmation page), "empty" (no text), "error" (status 400),
    // "photosfull" (the photo page refusing a photo for want of room; the photo is not kept).
    void setNextPostingPage(const std::string& page);
    // How many postings (published, and waiting for their mailed link) and mails are kept, and
    // the bytes of the postings' text (2,000 and 32 MB): past either the oldest go, with their
    // photos. Tests make them small; a reset puts them back.
    void setPostingBounds(PostingBounds bounds);
    // Forgets postings, logins, captcha state and posting sessions; a request sent before it
    // counts for nothing after it (StandInServer::beginGeneration).
    void reset();

    const Catalog& catalog() const;
    ListingStore& listings();
    std::uint64_t seed() const;

    // Answers a request without sockets (no faults, no log): what the server would send for it.
    HttpResponse handle(HttpRequest request);

private:
    StandInServer& server() const override;

    std::unique_ptr<SiteImpl> impl_;
};

}  // namespace bnsite
