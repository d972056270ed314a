#include <gtest/gtest.h>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "app/updatecheck.h"
#include "tests/app/loopbackhttp.h"

namespace {

using Outcome = UpdateCheckResult::Outcome;
using vextest::LoopbackHttpServer;

std::string reply(const std::string& state, const std::string& version, const std::string& extra = "") {
    return R"({"state":")" + state + R"(","message":"m","data":{"file_name":"f.zip","app_name":"Vexarium",)" +
           R"("app_key":"k","version":")" + version + R"(","introduction":"新版本","remark":"","md5":"0",)" +
           R"("download_url":"http://127.0.0.1/dl/v.zip")" + extra + "}}";
}

UpdateCheckRequest request(const std::string& base, bool automatic, const std::string& local) {
    UpdateCheckRequest r;
    r.automatic = automatic;
    r.serverBase = base;
    r.localVersion = local;
    r.http.connectTimeoutS = 5;
    r.http.timeoutS = 5;
    return r;
}

TEST(UpdateCheck, VersionValue) {
    struct Case {
        const char* text;
        int64_t value;
    } cases[] = {
        {"1.2.3.4", 0x01020304},
        {"1.0.0.1", 0x01000001},
        {"2.0", int64_t{2} << 24},  // missing parts are 0
        {"", 0},
        {"a.b.c.d", 0},
        {" 7.x.1", (int64_t{7} << 24) + 256},  // atoi: blanks skipped, no digits gives 0
        {"3abc.4", (int64_t{3} << 24) + (4 << 16)},
        {"1.2.3.4.5", 0x01020304},          // parts after the fourth are ignored
        {"128.0.0.0", int64_t{128} << 24},  // positive: no 32-bit overflow
        {"255.255.255.255", 0xFFFFFFFFll},
        {"1.256.0.0", int64_t{2} << 24},  // a part above 255 carries into the next position
        {"0.0.0.300", 300},
        {"-1.0.0.0", -(int64_t{1} << 24)},
        {"99999999999.0.0.0", int64_t{2147483647} << 24},  // atoi's clamp, then no overflow in 64 bits
    };
    for (const Case& c : cases) EXPECT_EQ(VersionValue(c.text), c.value) << c.text;
}

TEST(UpdateCheck, Url) {
    EXPECT_EQ(UpdateCheckUrl("http://h:8080"), "http://h:8080/software/checkversion/Vexarium");
    EXPECT_EQ(UpdateCheckUrl("http://h:8080//"), "http://h:8080/software/checkversion/Vexarium");
}

TEST(UpdateCheck, ParseReply) {
    struct Case {
        std::string body;
        bool accepted;
        const char* appName;
        const char* version;
        const char* url;
    } cases[] = {
        {reply("ok", "1.2.3.5"), true, "Vexarium", "1.2.3.5", "http://127.0.0.1/dl/v.zip"},
        {reply("ok ", "9.0"), false, "", "", ""},                          // state compared exactly
        {R"({"message":"x","data":{"version":"9"}})", false, "", "", ""},  // no state
        {R"({"state":1,"data":{"version":"9"}})", false, "", "", ""},      // state not a string
        {R"("ok")", false, "", "", ""},
        {"42", false, "", "", ""},
        {"", false, "", "", ""},
        {R"({"state":"ok","data":{"version":"1)", false, "", "", ""},  // cut short
        {R"({"state":"ok"})", true, "", "", ""},                       // no data: every member empty
        {R"({"state":"ok","data":[1,2]})", true, "", "", ""},
        {R"({"state":"ok","data":{"app_name":7,"version":["2.0"],"download_url":{"u":"x"}}})", true, "", "",
         ""},
        {R"({"state":"ok","data":{"version":null,"app_name":"名称"}})", true, "名称", "", ""},
        {R"({"state":"ok","data":{"version":"2.0","extra":{"deep":[[[]]]}},"more":1})", true, "", "2.0", ""},
    };
    for (const Case& c : cases) {
        const auto r = ParseUpdateReply(c.body);
        ASSERT_EQ(r.has_value(), c.accepted) << c.body;
        if (!r) continue;
        EXPECT_EQ(r->AppName, c.appName) << c.body;
        EXPECT_EQ(r->Version, c.version) << c.body;
        EXPECT_EQ(r->DownloadUrl, c.url) << c.body;
    }
}

// Deep nesting costs heap, not stack: a megabyte of brackets is refused without a crash.
TEST(UpdateCheck, ParseDeeplyNestedReply) {
    EXPECT_FALSE(ParseUpdateReply(std::string(1 << 20, '[')).has_value());
    const std::string nested = R"({"state":"ok","data":{"version":"3","x":)" + std::string(200000, '[') +
                               std::string(200000, ']') + "}}";
    const auto r = ParseUpdateReply(nested);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->Version, "3");
}

TEST(UpdateCheck, ParseKeepsEmbeddedNul) {
    const auto r = ParseUpdateReply(R"({"state":"ok","data":{"app_name":"a\u0000b"}})");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->AppName, std::string("a\0b", 3));
}

// The whole check against a server on the loopback address: what the user is shown for each reply.
TEST(UpdateCheck, ChecksAgainstLoopbackServer) {
    LoopbackHttpServer server;
    struct Case {
        const char* name;
        std::string body;
        bool automatic;
        const char* local;
        Outcome outcome;
        bool newer;
        bool dialog;
    } cases[] = {
        {"newer at start", reply("ok", "1.2.3.5"), true, "1.2.3.4", Outcome::Answered, true, true},
        {"same at start", reply("ok", "1.2.3.4"), true, "1.2.3.4", Outcome::Answered, false, false},
        {"same by hand", reply("ok", "1.2.3.4"), false, "1.2.3.4", Outcome::Answered, false, true},
        {"older by hand", reply("ok", "1.0"), false, "1.2.3.4", Outcome::Answered, false, true},
        {"2.0 over 1.9.9.9", reply("ok", "2.0"), true, "1.9.9.9", Outcome::Answered, true, true},
        {"first part 128", reply("ok", "128.0.0.0"), true, "127.255.255.255", Outcome::Answered, true, true},
        {"carry", reply("ok", "1.256"), true, "1.255.255.255", Outcome::Answered, true, true},
        {"local unreadable", reply("ok", "0.0.0.1"), true, "*", Outcome::Answered, true, true},
        {"state OK", reply("OK", "9.0"), false, "1.0", Outcome::Refused, false, false},
        {"not an object", "[1,2,3]", false, "1.0", Outcome::Refused, false, false},
        {"not JSON", "Service Unavailable", false, "1.0", Outcome::Refused, false, false},
        {"members missing", R"({"state":"ok","data":{}})", false, "1.0", Outcome::Answered, false, true},
        {"members missing at start", R"({"state":"ok"})", true, "1.0", Outcome::Answered, false, false},
    };
    for (const Case& c : cases) {
        server.respondJson(c.body);
        const UpdateCheckResult r = CheckSoftwareUpdate(request(server.base(), c.automatic, c.local));
        EXPECT_EQ(r.curlCode, CURLE_OK) << c.name;
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.newer, c.newer) << c.name;
        EXPECT_EQ(r.ShowDialog(), c.dialog) << c.name;
        EXPECT_FALSE(r.ShowNetworkError()) << c.name;
        EXPECT_EQ(r.localVersion, c.local) << c.name;
    }
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (const auto& line : lines) EXPECT_EQ(line, "GET /software/checkversion/Vexarium HTTP/1.1");

    server.respondJson(reply("ok", "1.2.3.5"));
    const UpdateCheckResult r = CheckSoftwareUpdate(request(server.base() + "/", true, "1.2.3.4"));
    EXPECT_EQ(r.appName, "Vexarium");
    EXPECT_EQ(r.remoteVersion, "1.2.3.5");
    EXPECT_EQ(r.downloadUrl, "http://127.0.0.1/dl/v.zip");
}

// The reply is capped at 1 MiB, announced by its length or not.
TEST(UpdateCheck, ReplyLimit) {
    LoopbackHttpServer server;
    const std::string head = R"({"state":"ok","data":{"version":"9.0","pad":")";
    const std::string tail = R"("}})";
    const std::string exact = head + std::string(kUpdateReplyLimit - head.size() - tail.size(), 'p') + tail;
    ASSERT_EQ(exact.size(), kUpdateReplyLimit);
    struct Case {
        std::string body;
        bool contentLength;
        Outcome outcome;
    } cases[] = {
        {exact, true, Outcome::Answered},
        {exact, false, Outcome::Answered},
        {exact + " ", true, Outcome::RequestFailed},
        {exact + " ", false, Outcome::RequestFailed},
        {std::string(8 << 20, ' '), false, Outcome::RequestFailed},
    };
    for (const Case& c : cases) {
        server.respond({c.body, 200, 0, c.contentLength});
        const UpdateCheckResult r = CheckSoftwareUpdate(request(server.base(), false, "1.0"));
        EXPECT_EQ(r.outcome, c.outcome) << c.body.size() << " " << c.contentLength;
        if (c.outcome == Outcome::RequestFailed) {
            EXPECT_TRUE(r.ShowNetworkError());
        }
    }
}

TEST(UpdateCheck, RequestFailures) {
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort());
    struct Case {
        std::string base;
        bool automatic;
    } cases[] = {
        {closed, false},
        {closed, true},
        {"file:///etc", false},  // only http and https are asked
        {"ftp://127.0.0.1:1", false},
        {"", false},
    };
    for (const Case& c : cases) {
        const UpdateCheckResult r = CheckSoftwareUpdate(request(c.base, c.automatic, "1.0"));
        EXPECT_EQ(r.outcome, Outcome::RequestFailed) << c.base;
        EXPECT_NE(r.curlCode, CURLE_OK) << c.base;
        EXPECT_EQ(r.ShowNetworkError(), !c.automatic) << c.base;
        EXPECT_FALSE(r.ShowDialog()) << c.base;
    }
}

// The server holds its reply back for two minutes; a time-out of 1 s ends the request long before.
TEST(UpdateCheck, TimeOut) {
    LoopbackHttpServer server;
    server.respond({reply("ok", "9.0"), 200, 120000});
    UpdateCheckRequest req = request(server.base(), false, "1.0");
    req.http.timeoutS = 1;
    const auto start = std::chrono::steady_clock::now();
    const UpdateCheckResult r = CheckSoftwareUpdate(req);
    EXPECT_EQ(r.curlCode, CURLE_OPERATION_TIMEDOUT);
    EXPECT_TRUE(r.ShowNetworkError());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST(UpdateCheckThread, DeliversResultOnWorker) {
    LoopbackHttpServer server;
    server.respondJson(reply("ok", "1.2.3.5"));
    std::promise<std::pair<UpdateCheckResult, std::thread::id>> got;
    std::atomic<int> calls{0};
    {
        CUpdateCheckThread check(request(server.base(), true, "1.2.3.4"), [&](const UpdateCheckResult& r) {
            ++calls;
            got.set_value({r, std::this_thread::get_id()});
        });
        auto future = got.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        const auto [result, thread] = future.get();
        EXPECT_NE(thread, std::this_thread::get_id());
        EXPECT_TRUE(result.newer);
        EXPECT_TRUE(result.ShowDialog());
        check.Join();
        EXPECT_TRUE(check.Finished());
    }
    EXPECT_EQ(calls, 1);
}

// Destroying a running check abandons the request promptly and never calls back.
TEST(UpdateCheckThread, CancelledOnDestruction) {
    LoopbackHttpServer server;
    server.respond({reply("ok", "9.0"), 200, 120000});
    std::atomic<int> calls{0};
    const auto start = std::chrono::steady_clock::now();
    {
        UpdateCheckRequest req = request(server.base(), false, "1.0");
        req.http.timeoutS = 120;
        CUpdateCheckThread check(req, [&](const UpdateCheckResult&) { ++calls; });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(check.Finished());
    }
    // Not the two minutes of the held-back reply.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(calls, 0);
}

}  // namespace
