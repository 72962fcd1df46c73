// The bridge's HTTP protocol over a real loopback socket.
#include <poll.h>
#include <sys/stat.h>

#include <cctype>

#include "BridgeFixture.h"
#include "agent/AgentHttp.h"
#include "platform/UserDirs.h"

namespace cvl::test {
namespace {

TEST_F(BridgeTest, DiscoveryFileIsPrivateAndDescribesTheListener) {
    std::string path = AgentBridge::discoveryPath();
    EXPECT_EQ(path, home.path() + "/Library/Application Support/Corvello/agent_bridge.json");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    json d = json::parse(readFile(path).value_or(""), nullptr, false);
    ASSERT_TRUE(d.is_object());
    EXPECT_EQ(d["port"], bridge.port());
    EXPECT_EQ(d["token"], bridge.token());
    EXPECT_EQ(d["pid"], ::getpid());
    EXPECT_EQ(d["app"], "Corvello");
    EXPECT_EQ(d["version"], "1.2.3");
    EXPECT_EQ(d["build"], "45");
    EXPECT_TRUE(d["started"].is_string());
    ASSERT_EQ(bridge.token().size(), 64u);
    for (char c : bridge.token()) EXPECT_TRUE(std::isdigit(c) || (c >= 'a' && c <= 'f')) << c;
    EXPECT_NE(bridge.token(), AgentBridge().token());

    bridge.stop();
    EXPECT_FALSE(pathExists(path));
    EXPECT_FALSE(bridge.running());
}

TEST_F(BridgeTest, ListensOnTheLoopbackAddressOnly) {
    // /proc/net/tcp lists listening sockets as hex address:port; 0100007F is 127.0.0.1.
    std::string table = readFile("/proc/net/tcp").value_or("");
    char port[8];
    std::snprintf(port, sizeof port, "%04X", bridge.port());
    EXPECT_NE(table.find("0100007F:" + std::string(port)), std::string::npos);
    EXPECT_EQ(table.find("00000000:" + std::string(port)), std::string::npos);
}

TEST_F(BridgeTest, TokenInTheQueryOrTheLastWordOfAnAuthorizationHeader) {
    auto byQuery = get("/status?token=" + bridge.token());
    EXPECT_EQ(byQuery.status, 200);
    EXPECT_EQ(byQuery.statusLine, "HTTP/1.1 200 OK");

    auto bearer = get("/status?token=wrong", "Authorization: Bearer " + bridge.token() + "\r\n");
    EXPECT_EQ(bearer.status, 200) << bearer.raw;
    auto bare = get("/status", "authorization: " + bridge.token() + "\r\n");
    EXPECT_EQ(bare.status, 200) << bare.raw;

    for (const auto& [target, header] : std::vector<std::pair<std::string, std::string>>{
             {"/status", ""},
             {"/status?token=wrong", "Authorization: Bearer wrong\r\n"},
             {"/status?token=" + bridge.token().substr(1), ""},
             {"/status", "X-Token: " + bridge.token() + "\r\n"},
             {"/status", "Authorization: Bearer " + bridge.token() + " extra\r\n"}}) {
        auto r = get(target, header);
        EXPECT_EQ(r.statusLine, "HTTP/1.1 401 Unauthorized") << target << header;
        EXPECT_EQ(r.body, R"({"error":"bad or missing token","ok":false})");
    }
}

TEST_F(BridgeTest, ARequestWithoutTheTokenTouchesNothing) {
    std::string doc = makePdf("doc.pdf", 3);
    addReader("w1", doc, 3);
    for (const std::string& target : std::vector<std::string>{
             "/open?path=" + doc, "/goto?page=2&window=w1", "/pagecmd?path=" + doc + "&id=plan-1",
             "/annotations?path=" + doc, "/windows"}) {
        EXPECT_EQ(get(target).status, 401) << target;
    }
    EXPECT_TRUE(host->calls.empty());
    EXPECT_TRUE(work->calls.empty());
}

TEST_F(BridgeTest, MalformedRequestsAndUnknownPaths) {
    auto post = exchange({"POST /status?token=" + bridge.token() + " HTTP/1.1\r\n\r\n"});
    EXPECT_EQ(post.statusLine, "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(post.body, R"({"error":"bad request","ok":false})");
    EXPECT_EQ(exchange({"GET\r\n\r\n"}).status, 400);
    EXPECT_EQ(exchange({"GET /status?token=a%zz HTTP/1.1\r\n\r\n"}).status, 400);

    auto root = get("/?token=" + bridge.token());
    EXPECT_EQ(root.statusLine, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(root.parsed(), (json{{"ok", false}, {"error", "unknown endpoint /"}}));
    EXPECT_EQ(get("/Status?token=" + bridge.token()).parsed()["error"], "unknown endpoint /Status");
}

TEST_F(BridgeTest, ResponsesAreCompactSortedJsonWithTheirLength) {
    host->current = "/docs/a.pdf";
    auto r = get("/status?token=" + bridge.token());
    EXPECT_NE(r.headers.find("Content-Type: application/json\r\n"), std::string::npos);
    EXPECT_NE(r.headers.find("Content-Length: " + std::to_string(r.body.size())),
              std::string::npos);
    EXPECT_NE(r.headers.find("Connection: close"), std::string::npos);
    json body = r.parsed();
    EXPECT_EQ(r.body, body.dump());  // nlohmann's dump is compact with sorted keys
    EXPECT_LT(r.body.find("\"app\""), r.body.find("\"build\""));
    EXPECT_LT(r.body.find("\"pid\""), r.body.find("\"version\""));
}

TEST_F(BridgeTest, OversizedHeadsAndHalfRequestsGetNoAnswer) {
    std::string big = "GET /status?token=" + bridge.token() +
                      " HTTP/1.1\r\nX-Pad: " + std::string(70 * 1024, 'a') + "\r\n\r\n";
    auto dropped = exchange({big});
    EXPECT_TRUE(dropped.raw.empty());

    // A head that arrives in pieces is read to its end.
    std::string head = "GET /status?token=" + bridge.token() + " HTTP/1.1\r\nHost: x\r\n\r\n";
    auto pieces = exchange({head.substr(0, 7), head.substr(7, 30), head.substr(37)});
    EXPECT_EQ(pieces.status, 200);

    // The bridge keeps serving after both.
    EXPECT_TRUE(call("/status")["ok"]);
}

TEST_F(BridgeTest, SilentConnectionsCannotTieItUp) {
    // Far more silent connections than the bridge keeps open: it stays answerable, and the
    // oldest silent ones are closed without an answer.
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(bridge.port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ASSERT_TRUE(rc == 0 || errno == EINPROGRESS);
        idle.push_back(fd);
    }
    EXPECT_TRUE(call("/status")["ok"]);
    char c;
    pollfd p{idle.front(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 15000), 1);
    EXPECT_EQ(::recv(idle.front(), &c, 1, 0), 0) << "closed without an answer";
    for (int fd : idle) ::close(fd);
}

TEST_F(BridgeTest, PlusSignsBecomeSpacesOnlyWhenThatNamesAFile) {
    std::string spaced = makePdf("my scans/two words.pdf", 2);
    std::string plussed = makePdf("a+b.pdf", 2);
    makePdf("a b.pdf", 2);

    call("/open", "path=" + home.path() + "/my+scans/two+words.pdf");
    call("/open", "path=" + plussed);
    call("/open", "path=~/my+scans/two+words.pdf");
    ASSERT_EQ(host->calls.size(), 6u);
    EXPECT_EQ(host->calls[0], "openFile " + spaced);
    EXPECT_EQ(host->calls[2], "openFile " + plussed);  // the real "+" name exists: unchanged
    EXPECT_EQ(host->calls[4], "openFile " + spaced);

    // Neither form exists: the value reaches the endpoint as sent.
    auto missing = call("/open", "path=" + home.path() + "/no+such.pdf");
    EXPECT_EQ(missing["error"], "no such file: " + home.path() + "/no+such.pdf");
}

TEST(AgentHttpHead, TheSizeCapComesBeforeTheEndOfTheHead) {
    using AgentHttp::HeadState;
    EXPECT_EQ(AgentHttp::headState("GET / HTTP/1.1\r\n"), HeadState::incomplete);
    EXPECT_EQ(AgentHttp::headState("GET / HTTP/1.1\r\n\r\nbody"), HeadState::complete);
    std::string justFits = "GET / HTTP/1.1\r\n" + std::string(65536 - 20, 'a') + "\r\n\r\n";
    ASSERT_EQ(justFits.size(), 65536u);
    EXPECT_EQ(AgentHttp::headState(justFits), HeadState::complete);
    std::string over = std::string(65537 - 4, 'a') + "\r\n\r\n";
    EXPECT_EQ(AgentHttp::headState(over), HeadState::tooLong);
}

TEST(AgentHttpHead, QueryItemsDecodeButKeepPlusSigns) {
    auto p = AgentHttp::parseRequest(
        "GET /pa%74h?token=t&x=1&x=2&flag&name=a%20b+c&empty= HTTP/1.1\r\n\r\n", "t");
    ASSERT_TRUE(p.request.has_value());
    EXPECT_EQ(p.request->path, "/path");
    EXPECT_EQ(p.request->query.at("x"), "2");
    EXPECT_EQ(p.request->query.at("flag"), "");
    EXPECT_EQ(p.request->query.at("empty"), "");
    EXPECT_EQ(p.request->query.at("name"), "a b+c");
    // An empty token never matches an empty query item.
    EXPECT_EQ(AgentHttp::parseRequest("GET /status?token= HTTP/1.1\r\n\r\n", "").rejection->status,
              401);
    EXPECT_STREQ(AgentHttp::reasonPhrase(500), "Bad Request");
}

}  // namespace
}  // namespace cvl::test
