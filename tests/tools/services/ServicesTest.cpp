// The services server: routing by host to the modules, what each module received, the admin
// host's views and faults, the request log, and the program for scripts/run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "support/StandInTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Module.h"
#include "tools/services/Services.h"
#include "tools/services/ServicesTesting.h"

namespace servicestest {

namespace {

// A module of the test's own: it echoes what it gets and counts it.
class EchoModule : public bnservices::Module {
public:
    std::vector<std::string> hosts() const override {
        return {"echo.services.test", "*.echo.test"};
    }
    standin::HttpResponse handle(const standin::HttpRequest& request) override {
        ++answered_;
        return standin::HttpResponse::plain(request.method + " " + request.host + request.path +
                                            " " + request.body);
    }
    std::optional<standin::HttpResponse> adminView(std::string_view view,
                                                   const standin::FormFields&) override {
        if (view != "count") return std::nullopt;
        return standin::HttpResponse::plain(std::to_string(answered_.load()));
    }
    std::vector<std::string> adminHelp() const override { return {"count  requests answered"}; }
    void reset() override { answered_ = 0; }

private:
    std::atomic<int> answered_{0};
};

}  // namespace

BN_SERVICES_MODULE("echo", EchoModule)

namespace {

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        services().reset();
        services().clearFaults();
        takeLog();
    }
    void TearDown() override { services().clearFaults(); }
};

TEST_F(ServicesTest, AnswersEachHostByItsModuleAndKeepsWhatItReceived) {
    Reply a = get("echo.services.test", "/first?x=1");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "GET echo.services.test/first ");
    Reply b = request("POST", "Deep.Echo.test", "/second", "payload",
                      {{"Content-Type", "application/octet-stream"}});
    EXPECT_EQ(b.body, "POST deep.echo.test/second payload");
    // A name no module answers.
    EXPECT_EQ(get("nobody.services.test", "/").status, 421);
    admin("/modules");

    auto received = services().received("echo");
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].method, "GET");
    EXPECT_EQ(received[0].target, "/first?x=1");
    EXPECT_EQ(received[1].host, "deep.echo.test");
    EXPECT_EQ(received[1].body, "payload");
    EXPECT_EQ(received[1].time.size(), 24u) << received[1].time;
    bool typed = false;
    for (const auto& h : received[1].headers)
        typed |= h.name == "Content-Type" && h.value == "application/octet-stream";
    EXPECT_TRUE(typed);
    EXPECT_EQ(services().moduleFor("x.echo.test"), "echo");
    EXPECT_EQ(services().moduleFor("admin.services.test"), "");

    // The same over the admin host, as JSON.
    Reply json = admin("/received?module=echo");
    EXPECT_EQ(json.status, 200);
    EXPECT_NE(json.head.find("application/json"), std::string::npos);
    EXPECT_NE(json.body.find("\"target\": \"/first?x=1\""), std::string::npos) << json.body;
    EXPECT_NE(json.body.find("\"body\": \"payload\""), std::string::npos) << json.body;
    EXPECT_NE(json.body.find("\"bodyLength\": 7"), std::string::npos) << json.body;
    EXPECT_EQ(admin("/received?module=nothing").status, 404);

    // Binary bodies show as hexadecimal.
    request("POST", "echo.services.test", "/bytes", std::string("\x00\xff\x10", 3));
    EXPECT_NE(admin("/received?module=echo").body.find("\"bodyHex\": \"00ff10\""),
              std::string::npos);
}

TEST_F(ServicesTest, AdminHostListsModulesAndTheirViewsAndResets) {
    get("echo.services.test", "/");
    get("a.echo.test", "/");
    EXPECT_EQ(admin("/echo/count").body, "2");
    EXPECT_EQ(admin("/echo/other").status, 404);
    EXPECT_EQ(admin("/nomodule/count").status, 404);
    Reply index = admin("/");
    EXPECT_NE(index.body.find("GET /echo/count  requests answered"), std::string::npos);
    EXPECT_NE(index.body.find("GET /faults"), std::string::npos);
    Reply modules = admin("/modules");
    EXPECT_NE(modules.body.find("echo\t*.echo.test\n"), std::string::npos) << modules.body;
    EXPECT_EQ(request("POST", "admin.services.test", "/reset").status, 405);

    EXPECT_EQ(admin("/reset").status, 200);
    EXPECT_EQ(admin("/echo/count").body, "0");
    EXPECT_TRUE(services().received("echo").empty());
}

TEST_F(ServicesTest, FaultsSetOverTheAdminHostApplyByHostAndPath) {
    EXPECT_EQ(admin("/faults?host=echo.services.test&path=/bad&status=503&count=1").status, 200);
    EXPECT_EQ(admin("/faults?host=*.echo.test&path=/cut&truncate=4").status, 200);
    EXPECT_EQ(admin("/faults?host=*.echo.test&path=/gone&drop=1").status, 200);
    EXPECT_EQ(admin("/faults?path=/x&status=7").status, 400);

    EXPECT_EQ(get("echo.services.test", "/bad").status, 503);
    EXPECT_EQ(get("echo.services.test", "/bad").status, 200);  // only once
    EXPECT_EQ(get("a.echo.test", "/bad").status, 200);         // another host

    Reply cut = get("a.echo.test", "/cut/here");
    EXPECT_EQ(cut.status, 200);
    EXPECT_EQ(cut.body, "GET ");
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(get("echo.services.test", "/cut").complete);

    EXPECT_EQ(get("b.echo.test", "/gone").status, 0);
    // The admin host is never faulted, and the requests were received all the same.
    EXPECT_EQ(admin("/faults?host=admin.services.test&status=500").status, 200);
    EXPECT_EQ(admin("/faults").status, 200);
    auto received = services().received("echo");
    ASSERT_EQ(received.size(), 6u);
    EXPECT_NE(received[0].fault.find("status=503"), std::string::npos) << received[0].fault;
    EXPECT_EQ(received[1].fault, "");
    EXPECT_NE(received[5].fault.find("drop"), std::string::npos);

    EXPECT_EQ(admin("/faults/clear").body, "no faults\n");
    EXPECT_EQ(get("b.echo.test", "/gone").status, 200);
}

TEST_F(ServicesTest, GatedSlowAnswerWaitsUntilTheTestLetsItThrough) {
    bnservices::Fault held;
    held.host = "echo.services.test";
    held.path = "/slow";
    held.gate = "slow-echo";
    services().addFault(held);
    auto gate = services().gate("slow-echo");
    auto passedBefore = gate->passed();  // the gate outlives a test run in this process
    Reply reply;
    std::thread client([&] { reply = get("echo.services.test", "/slow"); });
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    EXPECT_EQ(reply.status, 0);
    // Over the admin host, as a person would.
    // The released request may pass before the page counts, so only the gate's name is sure.
    EXPECT_EQ(admin("/gates/release?name=slow-echo").body.rfind("slow-echo: closed, ", 0), 0u);
    client.join();
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(gate->passed(), passedBefore + 1);

    // Sent before a reset but read after it (behind the held answer on its connection), a request
    // counts for nothing after the reset; one sent after it on a connection kept from before does.
    auto asked = [](const std::string& target, const char* connection = "keep-alive") {
        return "GET " + target +
               " HTTP/1.1\r\nHost: echo.services.test\r\nConnection: " + connection + "\r\n\r\n";
    };
    standintest::RawClient kept(services().port()), behind(services().port());
    ASSERT_TRUE(kept.send(asked("/before")));
    EXPECT_EQ(standintest::rawStatus(kept.readAnswer()), "200");
    ASSERT_TRUE(behind.send(asked("/slow")));
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    ASSERT_TRUE(behind.send(asked("/late", "close")));
    services().reset();
    takeLog();
    ASSERT_TRUE(kept.send(asked("/after")));
    EXPECT_EQ(standintest::rawStatus(kept.readAnswer()), "200");
    gate->release(1);
    std::string late = behind.readToEnd();
    EXPECT_EQ(late.rfind("HTTP/1.1 503", 0), 0u) << late;  // held past the reset
    EXPECT_NE(late.find("HTTP/1.1 503", 1), std::string::npos) << late;
    std::vector<std::string> targets;
    for (const auto& r : services().received("echo"))
        targets.push_back(r.target);
    EXPECT_EQ(targets, std::vector<std::string>{"/after"});
    EXPECT_EQ(admin("/echo/count").body, "1");
    for (const auto& line : takeLog())  // nor their log lines, written after it
        EXPECT_TRUE(line.find("/slow") == std::string::npos &&
                    line.find("/late") == std::string::npos)
            << line;
}

TEST_F(ServicesTest, LogsOneLinePerRequest) {
    get("echo.services.test", "/logged");
    get("unknown.test", "/");
    auto lines = takeLog();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"GET http://echo.services.test/logged HTTP/1.1\" 200"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"GET http://unknown.test/ HTTP/1.1\" 421"), std::string::npos)
        << lines[1];
}

TEST(HostsOverrideTest, EachServerAddsItsNamesBesideTheOthers) {
    const char* before = std::getenv("BAZAARNEST_HOSTS");
    std::string saved = before ? before : "";
    std::string port = std::to_string(services().port());
    std::string env = std::getenv("BAZAARNEST_HOSTS");
    EXPECT_NE(env.find("admin.services.test=127.0.0.1:" + port), std::string::npos) << env;
    EXPECT_NE(env.find("*.echo.test=127.0.0.1:" + port), std::string::npos) << env;

    setenv("BAZAARNEST_HOSTS", "a.test=127.0.0.1:1,b.test=127.0.0.1:2", 1);
    standintest::addHostsOverride("b.test=127.0.0.1:3,c.test=127.0.0.1:4");
    EXPECT_STREQ(std::getenv("BAZAARNEST_HOSTS"),
                 "b.test=127.0.0.1:3,c.test=127.0.0.1:4,a.test=127.0.0.1:1");
    setenv("BAZAARNEST_HOSTS", saved.c_str(), 1);
}

TEST(ServicesProgramTest, PicksAFreePortPrintsTheHostMapAndLogsRequests) {
    standintest::StartedProgram program({BN_SERVICES_PROGRAM, "--port", "0"});
    ASSERT_GT(program.port, 0) << program.firstLine;
    EXPECT_NE(program.hosts.find("admin.services.test=127.0.0.1:" + std::to_string(program.port)),
              std::string::npos)
        << program.hosts;
    EXPECT_EQ(program.caFile, services().caFile());
    EXPECT_EQ(admin("/modules", program.port).status, 200);
    std::string line = program.nextLine();
    EXPECT_NE(line.find("GET http://admin.services.test/modules"), std::string::npos) << line;
    EXPECT_TRUE(program.stop());
}

}  // namespace

}  // namespace servicestest
