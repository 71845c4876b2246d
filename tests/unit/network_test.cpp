// The network ports' codec: telnet with COM-port control both ways, what the
// server confirmed, and the names that open a network port.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "interfaces/port_names.h"
#include "logic/network/com_port_ledger.h"
#include "logic/network/network_link.h"
#include "logic/network/network_port.h"
#include "logic/network/telnet.h"
#include "control/orvanta_control.h"
#include "tests/fakes/fake_port.h"

namespace orvanta::logic {
namespace {

using Kind = ServerEvent::Kind;
const std::string kSbCom = "\xFF\xFA\x2C", kSe = "\xFF\xF0";

TEST(Telnet, EncodesDataAndRequestsWithIacDoubled) {
    const struct {
        std::string got, wire;
    } rows[] = {
        {EncodeData("a\xFF\xFF" "b", 4, true), "a\xFF\xFF\xFF\xFF" "b"},
        {EncodeData("\r\n\r", 3, true), "\r\n\r"},
        {EncodeData("\r\n\rx\r", 5, false), std::string("\r\n\r\0x\r\0", 7)},  // NVT: a bare CR is CR NUL
        {ClientOpening(), std::string("\xFF\xFB\x00\xFF\xFD\x00\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x2C", 15)},
        {SetBaudRate(19200), kSbCom + std::string("\x01\x00\x00\x4B\x00", 5) + kSe},
        {SetBaudRate(0xFF00FFFF), kSbCom + std::string("\x01\xFF\xFF\x00\xFF\xFF\xFF\xFF", 8) + kSe},
        {SetParity(Parity::Even) + SetStopSize(StopSize::One), kSbCom + "\x03\x03" + kSe + kSbCom + "\x04\x01" + kSe},
        {SetControl(Control::DtrOff) + PurgeData(Purge::Both), kSbCom + "\x05\x09" + kSe + kSbCom + "\x0C\x03" + kSe},
        {SetLineStateMask(0xFF), kSbCom + "\x0A\xFF\xFF" + kSe},
    };
    for (const auto& row : rows) EXPECT_EQ(row.got, row.wire);
}

std::string Answer(std::uint8_t command, const std::string& value) {
    return kSbCom + static_cast<char>(command + 100) + value + kSe;
}

// The same stream in one piece, split at every byte into two, and byte by
// byte decodes the same.
TEST(Telnet, DecodesDataEventsAndRepliesHoweverTheStreamIsSplit) {
    const std::string over_long = kSbCom + "\x65" + std::string(100, 'x') + kSe;
    const struct {
        std::string stream, data, replies;
        std::vector<ServerEvent> events;
        std::size_t dropped;
    } rows[] = {
        {"a\xFF\xFF" "b\r\n", "a\xFF" "b\r\n", "", {}, 0},
        {Answer(1, std::string("\x00\x00\xFF\xFF\x00", 5)) + "z", "z", "", {{Kind::Answer, 1, 0, {0, 0, 0xFF, 0}}}, 0},
        {Answer(6, "\x12") + Answer(7, "\xB0") + Answer(8, "") + Answer(5, "\x08"), "", "",
         {{Kind::LineState, 6, 0, {0x12}}, {Kind::ModemState, 7, 0, {0xB0}}, {Kind::FlowSuspend, 8, 0, {}},
          {Kind::Answer, 5, 0, {8}}}, 0},
        // Options it does not support are refused once, its own ones accepted without an echo.
        {"\xFF\xFD\x18\xFF\xFD\x18\xFF\xFB\x01\xFF\xFB\x01", "", "\xFF\xFC\x18\xFF\xFE\x01", {}, 0},
        {std::string("\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x00", 9), "", "",
         {{Kind::Accepted, 0, 0, {}}, {Kind::Accepted, 0, 0, {}}}, 0},
        {"\xFF\xFE\x2C", "", "", {{Kind::Refused, 0, 44, {}}}, 0},
        // In force, then withdrawn: acknowledged once.
        {"\xFF\xFD\x03\xFF\xFE\x03\xFF\xFE\x03", "", "\xFF\xFC\x03",
         {{Kind::Accepted, 0, 3, {}}, {Kind::Refused, 0, 3, {}}}, 0},
        // Without BINARY a CR NUL is a CR; with it the NUL is data.
        {std::string("a\r\0b\r\0", 6), "a\rb\r", "", {}, 0},
        {std::string("\xFF\xFB\x00\r\0", 5), std::string("\r\0", 2), "", {{Kind::Accepted, 0, 0, {}}}, 0},
        // Malformed or over-long subnegotiations are dropped, the stream goes on.
        {Answer(1, "\x01") + over_long + "ok", "ok", "", {}, 2},
        {kSbCom + std::string("\x65\x00\xFF\xFD\x18" "q", 6), "q", "\xFF\xFC\x18", {}, 1},
        {"\xFF\xF1\xFF\xF0" "n" + kSbCom + "\x64sig" + kSe + "\xFF\xFA\x18\x01x" + kSe, "n", "", {}, 0},
    };
    for (const auto& row : rows) {
        const std::string& s = row.stream;
        for (std::size_t split = 0; split <= s.size() + 1; ++split) {
            TelnetClient client;
            client.Open();
            Decoded out;
            if (split <= s.size()) {
                client.Feed(s.data(), split, out);
                client.Feed(s.data() + split, s.size() - split, out);
            } else {
                for (char c : s) client.Feed(&c, 1, out);
            }
            SCOPED_TRACE(testing::PrintToString(s) + " split at " + std::to_string(split));
            EXPECT_EQ(out.data, row.data);
            EXPECT_EQ(out.replies, row.replies);
            EXPECT_EQ(out.events, row.events);
            EXPECT_EQ(client.Dropped(), row.dropped);
        }
    }
}

// (Confirmed, refused and unanswered by age: through the link, below.)
TEST(ComPortLedger, AnswersSettleTheirOwnKindQuestionsAnyAnswerAndTheBoundHolds) {
    using Outcome = Settled::Outcome;
    ComPortLedger ledger;
    const std::uint32_t sent = 0xFFFFFF00u;  // the tick count about to wrap
    ledger.Sent(ComPortCommand::SetControl, {8}, sent);   // DTR on
    ledger.Sent(ComPortCommand::SetControl, {11}, sent);  // RTS on
    ledger.Sent(ComPortCommand::SetDataSize, {0}, sent);  // asks only
    EXPECT_EQ(ledger.Answered(5, {11})->asked, std::vector<std::uint8_t>{11});
    EXPECT_EQ(ledger.Answered(2, {7})->outcome, Outcome::Confirmed);
    EXPECT_FALSE(ledger.Answered(4, {1}));
    EXPECT_EQ(ledger.Expire(0xFF, 0x200).size(), 0u);
    EXPECT_EQ(ledger.Expire(0x100, 0x200).size(), 1u);
    for (std::size_t i = 0; i < ComPortLedger::kMaxPending; ++i) ledger.Sent(ComPortCommand::SetControl, {8}, 0);
    EXPECT_TRUE(ledger.Sent(ComPortCommand::SetControl, {8}, 0));
    EXPECT_EQ(ledger.Pending(), ComPortLedger::kMaxPending);
}

// The server is the test: `inbox` is what it sent, `wire` what the client
// sent, `room` what it takes before a send times out. An empty inbox waits
// out its bound on the test's clock. With `answers` each request is answered as asked.
struct FakeConnection : interfaces::TcpConnection {
    using NetResult = interfaces::NetResult;
    NetResult Send(const void* data, std::uint32_t length, std::uint32_t, interfaces::StopSignal*,
                   std::uint32_t& sent) override {
        if (ended) return sent = 0, NetResult::Closed;
        wire.append(static_cast<const char*>(data), sent = std::min(length, room));
        room -= sent;
        if (answers && wire.compare(wire.size() - sent, 3, kSbCom) == 0)
            inbox += kSbCom + static_cast<char>(wire[wire.size() - sent + 3] + 100) + wire.substr(wire.size() - sent + 4);
        return sent == length ? NetResult::Ok : NetResult::TimedOut;
    }
    NetResult WaitWritable(std::uint32_t limit_ms, interfaces::StopSignal*) override {
        if (auto hook = std::exchange(while_waiting, nullptr)) hook();
        return room ? NetResult::Ok : (now += limit_ms, NetResult::TimedOut);
    }
    NetResult Receive(void* buffer, std::uint32_t capacity, std::uint32_t& received) override {
        received = static_cast<std::uint32_t>(inbox.copy(static_cast<char*>(buffer), std::min(capacity, 5u)));
        inbox.erase(0, received);
        return ended && inbox.empty() && !received ? NetResult::Closed : NetResult::Ok;
    }
    NetResult WaitReadable(std::uint32_t limit_ms, interfaces::StopSignal*) override {
        if (!inbox.empty() || ended) return NetResult::Ok;
        now += limit_ms;
        return NetResult::TimedOut;
    }
    std::uint32_t LastError() const override { return 0; }
    std::string inbox, wire;
    std::uint32_t room = 1u << 30, now = 5000;
    bool ended = false;  // the server closed after the inbox
    bool answers = false;
    std::function<void()> while_waiting;  // runs inside the next wait for room
};

std::pair<std::unique_ptr<NetworkLink>, FakeConnection*> Link(bool rfc2217) {
    auto owned = std::make_unique<FakeConnection>();
    FakeConnection* c = owned.get();
    return {std::make_unique<NetworkLink>(std::move(owned), rfc2217, [c] { return c->now; }), c};
}

TEST(NetworkLink, RawTcpPassesBytesAsTheyAreAndTheSerialCallsDoNothing) {
    auto [link, c] = Link(false);
    std::uint32_t written = 0;
    std::string data;
    c->inbox = "\xFF\xFF\x06";
    EXPECT_EQ(link->Start(1000, nullptr), interfaces::NetResult::Ok);
    link->Write("\xFF\r", 2, 1000, nullptr, written);
    EXPECT_EQ(link->SendLineSettings(19200, 8, Parity::Even, StopSize::One), interfaces::NetResult::Ok);
    EXPECT_EQ(link->SendControl(Control::DtrOn), interfaces::NetResult::Ok);
    link->Poll(data);
    EXPECT_EQ(c->wire, "\xFF\r");
    EXPECT_EQ(data, "\xFF\xFF\x06");
}

TEST(NetworkLink, OnRfc2217ItNegotiatesEscapesAndSaysWhatTheServerConfirmed) {
    using Outcome = Settled::Outcome;
    auto [link, c] = Link(true);
    // ser2net's opening as measured, then a byte of the device's.
    c->inbox = std::string("\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x2C", 21) +
               Answer(7, std::string(1, '\0')) + "\xFF\xFF";
    EXPECT_EQ(link->Start(1000, nullptr), interfaces::NetResult::Ok);
    EXPECT_TRUE(link->ComPortAgreed());
    std::string data;
    link->Poll(data);  // what came while it negotiated
    EXPECT_EQ(data, "\xFF");
    EXPECT_EQ(c->wire, ClientOpening() + "\xFF\xFE\x01");  // ECHO refused

    std::uint32_t written = 0;
    c->room = 2;  // "a" and the first half of the escape, nothing more
    // No lock is held across the wait (a thread ended there would leave it
    // held): the reader answers meanwhile, behind the escape's rest.
    c->while_waiting = [&data, c = c, l = link.get()] { c->inbox = "\xFF\xFD\x18", l->Poll(data); };
    EXPECT_EQ(link->Write("a\xFF" "b", 3, 1000, nullptr, written), interfaces::NetResult::TimedOut);
    EXPECT_EQ(written, 2u);  // the escape's rest goes first, whoever sends next
    c->room = 1u << 30;
    c->wire.clear();
    link->Write("c", 1, 1000, nullptr, written);
    EXPECT_EQ(c->wire, "\xFF" "\xFF\xFC\x18" "c");  // the escape finished before anything else

    link->SendLineSettings(19200, 8, Parity::Even, StopSize::One);
    link->SendControl(Control::DtrOn);
    c->inbox = Answer(1, std::string("\0\0\x4B\0", 4)) + Answer(2, "\x07") + Answer(3, "\x03") + Answer(6, "\x0C");
    link->Poll(data);
    auto settled = link->TakeSettled(3000);
    ASSERT_EQ(settled.size(), 3u);
    EXPECT_EQ(settled[0].outcome, Outcome::Confirmed);
    EXPECT_EQ(settled[1].outcome, Outcome::Refused);  // 7 data bits, not 8
    EXPECT_EQ(link->TakeLineErrors(), kLineParity | kLineFraming);
    EXPECT_EQ(link->TakeLineErrors(), 0);
    c->now += 3000;
    settled = link->TakeSettled(3000);  // the stop size and DTR were never answered
    ASSERT_EQ(settled.size(), 2u);
    EXPECT_EQ(settled[1].outcome, Outcome::Unanswered);

    auto [silent, s] = Link(true);  // a server that never answers the opening
    EXPECT_EQ(silent->Start(1000, nullptr), interfaces::NetResult::Ok);
    EXPECT_FALSE(silent->ComPortAgreed());
    EXPECT_EQ(s->now, 6000u);
}

TEST(NetworkPort, LineModesParseOverTheSettingsAsTheyAre) {
    const struct {
        const char* mode;
        bool ok;
        interfaces::LineSettings want;  // from 9600 8 N 1
    } rows[] = {
        {"baud=19200 parity=E data=7 stop=2", true, {19200, 7, 2, 2, 0}},
        {"BAUD=1200  Stop=1.5 xon=on", true, {1200, 8, 0, 1, 0}},
        {"COM3: 4800,o,7", true, {4800, 7, 1, 0, 0}},
        {"57600,m,8,2,x", true, {57600, 8, 3, 2, 0}},
        {"baud=9600 data=9", false, {9600, 8, 0, 0, 0}},
        {"baud=fast", false, {9600, 8, 0, 0, 0}},
        {"", false, {9600, 8, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        interfaces::LineSettings s{9600, 8, 0, 0, 0};
        EXPECT_EQ(ParseLineMode(row.mode, s), row.ok) << row.mode;
        EXPECT_EQ(std::make_tuple(s.baud_rate, s.data_bits, s.parity, s.stop_bits),
                  std::make_tuple(row.want.baud_rate, row.want.data_bits, row.want.parity, row.want.stop_bits))
            << row.mode;
    }
}

TEST(NetworkPort, OnRfc2217CodesPassWholeSettingsGoOutAndWhatTheServerSaidComesBack) {
    auto [link, c] = Link(true);
    c->inbox = "\xFF\xFD\x2C";  // DO COM-PORT-OPTION
    link->Start(1000, nullptr);
    NetworkPort port(std::move(link), [c = c] { return c->now; });
    c->wire.clear();
    // 7 data bits refused (8 answered), the stop size never answered.
    c->inbox = Answer(1, std::string("\0\0\x4B\0", 4)) + Answer(2, "\x08") + Answer(3, "\x03");
    ASSERT_TRUE(port.ApplyLineSettings({"baud=19200 parity=E data=7 stop=1", '\r'}));
    EXPECT_EQ(c->wire, SetBaudRate(19200) + SetDataSize(7) + SetParity(Parity::Even) + SetStopSize(StopSize::One));
    EXPECT_EQ(port.TakeNotes(), (std::vector<std::string>{"SET-DATASIZE 7: answered 8", "SET-STOPSIZE 1: no answer"}));
    EXPECT_FALSE(port.ApplyLineSettings({"baud=x", '\r'}));

    // Each event character ends one wait; a 0xFF in a code arrives as one byte.
    c->inbox = "A\xFF\xFF\rB\r" + Answer(6, "\x04");
    char code[8] = {};
    EXPECT_TRUE(port.WaitEventChar(nullptr));
    EXPECT_TRUE(port.WaitEventChar(nullptr));
    EXPECT_EQ(port.ReadThrough('\r', code, 8, nullptr), 3u);
    EXPECT_EQ(std::string(code, 3), "A\xFF\r");
    std::uint32_t errors = 0;
    EXPECT_TRUE(port.ClearErrors(errors));
    EXPECT_EQ(errors, 4u);  // the server's parity error, as the port's own bit
    c->wire.clear();
    EXPECT_TRUE(port.SetSignal(interfaces::LineSignal::kSetXon));  // no request: the server's flow control
    EXPECT_TRUE(port.SetSignal(interfaces::LineSignal::kSetBreak));
    EXPECT_EQ(c->wire, SetControl(Control::BreakOn));

    // A connection that ends: the bytes before it are read, then waits and writes fail at once.
    c->ended = true;
    EXPECT_FALSE(port.WaitEventChar(nullptr));
    EXPECT_EQ(port.Read(code, 8, nullptr), 2u);
    port.Close();
    EXPECT_EQ(port.Write("x", 1, 1000, nullptr).end, interfaces::WriteEnd::kRefused);
}

// Each connection the control makes answers its requests; it hears the losses too.
struct FakeNetwork : interfaces::Network, DeviceWatcher {
    std::unique_ptr<interfaces::TcpConnection> Connect(const std::string&, std::uint16_t, std::uint32_t,
                                                       interfaces::StopSignal* stop, interfaces::NetResult&,
                                                       std::uint32_t&) override {
        if (hold) return stop->WaitFor(60000), nullptr;  // a connect that waits till it is stopped
        std::lock_guard<std::mutex> lock(mutex);
        made.push_back(new FakeConnection);
        made.back()->answers = true;
        return std::unique_ptr<interfaces::TcpConnection>(made.back());
    }
    void OnDeviceLost(const std::string&, std::uint32_t error) override { Heard("lost " + std::to_string(error) + ","); }
    void OnDeviceBack(const std::string&) override { Heard("back,"); }
    std::string Heard(const std::string& what = "") {
        std::lock_guard<std::mutex> lock(mutex);
        return heard += what;
    }
    std::mutex mutex;
    std::vector<FakeConnection*> made;  // owned by the ports
    std::string heard;
    bool hold = false;
};

TEST(NetworkPort, ADroppedConnectionIsLostOnceAndConnectsAgainWithItsLineAsItWas) {
    fakes::DevicePlatform p;
    FakeNetwork net;
    p.ports.network = &net;
    OrvantaControl ctrl{p.Get()};
    ctrl.channel().SetDeviceWatcher(&net);
    ASSERT_TRUE(ctrl.OpenDevice("rfc2217://printer:4001"));
    ASSERT_TRUE(ctrl.channel().SetCOMSettings("baud=19200 parity=E data=8 stop=1"));
    ASSERT_TRUE(ctrl.channel().SetSignalOnCOM(3));  // DTR on
    const std::string line = net.made[0]->wire.substr(ClientOpening().size());
    net.made[0]->ended = true;  // the peer closed (no looker runs yet)
    EXPECT_EQ(ctrl.channel().Write("lost"), 0);
    for (int i = 0; i < 1000 && net.Heard().find("back") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(net.Heard(), "lost 10101,back,");
    EXPECT_EQ(ctrl.channel().Write("again"), 5);
    ASSERT_EQ(net.made.size(), 2u);
    EXPECT_EQ(net.made[1]->wire, ClientOpening() + line + "again");  // negotiated, then the line as it was
    net.hold = net.made[1]->ended = true;
    EXPECT_EQ(ctrl.channel().Write("x"), 0);
    const auto start = std::chrono::steady_clock::now();
    ctrl.CloseDevice();  // the connect under way ends with it
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(PortNames, NetworkNamesAndEverythingElse) {
    using interfaces::NetworkPortName;
    const struct { const char* name; NetworkPortName::Kind kind; const char* host; int port; } rows[] = {
        {"socket://127.0.0.1:9100", NetworkPortName::Kind::RawTcp, "127.0.0.1", 9100},
        {"RFC2217://printer-3.shop.example:4001", NetworkPortName::Kind::Rfc2217, "printer-3.shop.example", 4001},
        {"Socket://[::1]:1", NetworkPortName::Kind::RawTcp, "::1", 1},
        {"rfc2217://[fe80::1:2]:65535", NetworkPortName::Kind::Rfc2217, "fe80::1:2", 65535},
    };
    for (const auto& row : rows) {
        NetworkPortName parsed;
        ASSERT_TRUE(ParseNetworkPortName(row.name, parsed)) << row.name;
        EXPECT_EQ(parsed.kind, row.kind);
        EXPECT_EQ(parsed.host, row.host);
        EXPECT_EQ(parsed.port, row.port);
    }
    for (const char* name : {"COM1", "\\\\.\\COM10", "LPT1", "socket://", "socket://host", "socket://host:0",
                             "socket://host:65536", "socket://host:12a", "socket://:80", "socket://::1:80",
                             "socket://[::1:80", "socket://[host]:80", "tcp://host:80", "socket://a b:80",
                             "socket://host:80/", " socket://host:80", "socket://ho..st:80"}) {
        NetworkPortName parsed;
        EXPECT_FALSE(ParseNetworkPortName(name, parsed)) << name;
    }
}

}  // namespace
}  // namespace orvanta::logic
