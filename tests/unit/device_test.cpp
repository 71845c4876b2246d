// The device channel on the scripted port: opening and closing, the one write
// path and the operations on it, line control and raw reads.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "control/orvanta_control.h"
#include "logic/reporting/texts.h"
#include "logic/device/channel.h"
#include "logic/device/channel_rules.h"
#include "tests/fakes/fake_port.h"

namespace orvanta::logic {
namespace {

using fakes::End;
using Calls = std::vector<std::string>;

struct Channel : ::testing::Test {
    fakes::DevicePlatform p;
    OrvantaControl ctrl{p.Get()};

    void Open(const char* name = "COM1") {
        ASSERT_TRUE(ctrl.OpenDevice(name));
        p.port->ClearCalls();
    }
    // The texts the user interface showed, in order.
    std::vector<std::string> Shown() {
        std::vector<std::string> shown;
        for (const auto& e : p.ui.Events()) shown.push_back(e.text);
        return shown;
    }
    std::string Protocol() { return p.port->File(texts::kProtocolFileName); }
};

std::string TraceOf(const char* function, const char* message, const char* error = "00000000 (0)") {
    return std::string("Function: ") + function + "\r\nMessage: " + message +
           "\r\nGetLastError == " + error + "\r\n";
}

// --- opening and closing --------------------------------------------------

TEST_F(Channel, OpenClosesFirstPausesThenMakesProtocolFileAndDevice) {
    ctrl.settings().debugModus = true;
    EXPECT_TRUE(ctrl.OpenDevice("COM1"));
    EXPECT_TRUE(p.port->InOrder({"box " + TraceOf("OpenDevice", "Start"), "create OCXPROT.PRT", "open COM1",
                                 "box " + TraceOf("OpenDevice", "OK")}));
    EXPECT_TRUE(p.port->InOrder({"sleep 200", "create OCXPROT.PRT"}));
    EXPECT_TRUE(ctrl.channel().IsOpen());
    EXPECT_EQ(Protocol(), "");

    // Again with the same name: the first device goes before the pause.
    p.port->ClearCalls();
    EXPECT_TRUE(ctrl.OpenDevice("COM1"));
    EXPECT_TRUE(p.port->InOrder({"close COM1", "sleep 200", "open COM1"}));
    EXPECT_TRUE(p.port->InOrder({"close file OCXPROT.PRT", "create OCXPROT.PRT"}));
    EXPECT_EQ(p.port->devices_alive, 1);
}

TEST_F(Channel, FailedOpenTracesTheOpensErrorShowsOneNoticeAndLeavesTheControlClosed) {
    Open("COM1");
    ctrl.channel().Write("old");
    p.port->missing_devices = {"COM7"};
    ctrl.settings().debugModus = true;
    EXPECT_FALSE(ctrl.OpenDevice("COM7"));
    EXPECT_FALSE(ctrl.channel().IsOpen());
    EXPECT_EQ(p.port->devices_alive, 0);
    EXPECT_EQ(p.port->Count("box " + TraceOf("OpenDevice", "nicht offen.", "00000002 (2)")), 1);
    EXPECT_EQ(p.port->CountStarting("notice "), 1);
    EXPECT_EQ(Shown().back(), "Schnittstelle: COM7 konnte nicht ge\xF6" "ffnet werden !");
    EXPECT_EQ(p.ui.Events().back().caption, "Brisomel");
    // The protocol file was made anew before the device was tried.
    EXPECT_EQ(Protocol(), "");
    EXPECT_EQ(p.port->open_files.count(texts::kProtocolFileName), 1u);
    // Every operation now finds no device.
    EXPECT_EQ(ctrl.channel().Write("x"), 0);
}

TEST_F(Channel, ANameTooLongForTheNoticeIsShortenedSoTheTextFits) {
    const std::string name = "COM" + std::string(3997, '9');
    p.port->missing_devices = {PlatformDeviceName(name)};
    EXPECT_FALSE(ctrl.OpenDevice(name));
    const std::string shown = Shown().back();
    EXPECT_LE(shown.size(), 511u);
    EXPECT_EQ(shown.rfind("Schnittstelle: COM999", 0), 0u);
    const std::string tail = " konnte nicht ge\xF6" "ffnet werden !";
    EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail);
}

TEST_F(Channel, PortsFromTenUpGoToThePlatformWithTheDevicePrefix) {
    p.port->missing_devices = {"\\\\.\\COM10"};
    EXPECT_FALSE(ctrl.OpenDevice("COM10"));
    EXPECT_EQ(p.port->Count("open \\\\.\\COM10"), 1);
    // The notice names the device as the host wrote it.
    EXPECT_EQ(Shown().back(), "Schnittstelle: COM10 konnte nicht ge\xF6" "ffnet werden !");

    const std::pair<const char*, const char*> names[] = {
        {"COM1", "COM1"},           {"COM9", "COM9"},
        {"COM10", "\\\\.\\COM10"},  {"com255", "\\\\.\\com255"},
        {"LPT12", "\\\\.\\LPT12"},  {"COM01", "COM01"},
        {"COM010", "\\\\.\\COM010"}, {"COM1x", "COM1x"},
        {"COM", "COM"},             {"NUL", "NUL"},
        {"\\\\.\\COM12", "\\\\.\\COM12"}, {"C:\\out\\COM12", "C:\\out\\COM12"},
        {"COM10:", "COM10:"},       {"AUX10", "AUX10"},
    };
    for (const auto& [host, platform_name] : names)
        EXPECT_EQ(PlatformDeviceName(host), platform_name) << host;
}

// An application keeps its scanner when Windows numbers it anew.
TEST(PortList, ADeviceIdOpensThePresentPortItNamesAndTheListShowsIt) {
    struct Info : interfaces::DeviceInformation {
        std::vector<interfaces::PortDeviceRecord> PresentPorts() override {
            return {{"COM7", "USB Serial Port (COM7)", "USB\\VID_0403&PID_6001\\A1", {}}};
        }
    } info;
    fakes::DevicePlatform p;
    p.ports.serial_port_names = {"COM1", "COM7"};
    interfaces::Platform platform = p.Get();
    platform.device_information = &info;
    OrvantaControl ctrl(platform);
    EXPECT_TRUE(ctrl.OpenDevice("vid_0403&pid_6001\\A1"));
    EXPECT_EQ(p.port->Count("open COM7"), 1);
    EXPECT_EQ(ctrl.GetCOMPortDetails(), (std::vector<std::string>{
        "COM1\t\t\t\t\t", "COM7\tUSB Serial Port (COM7)\tUSB\\VID_0403&PID_6001\\A1\t0403\t6001\tA1"}));
}

TEST_F(Channel, ADeviceNotReadyForWritesStillOpensWithItsNotice) {
    p.port->failing = {"ready"};
    ctrl.settings().debugModus = true;
    EXPECT_TRUE(ctrl.OpenDevice("COM1"));
    EXPECT_TRUE(ctrl.channel().IsOpen());
    EXPECT_EQ(p.port->Count("box " + TraceOf("OpenDevice", "hEvent == NULL.")), 1);
    EXPECT_EQ(p.port->Count(std::string("notice ") + texts::kNoEventContext), 1);
}

TEST_F(Channel, CloseWithNothingOpenOrTwiceDoesNothingAndShowsNothing) {
    ctrl.settings().debugModus = true;
    ctrl.settings().scanWindowHandle = 77;
    ctrl.CloseDevice();
    ctrl.CloseDevice();
    EXPECT_TRUE(p.port->Calls().empty());
    EXPECT_TRUE(p.ui.Events().empty());
    EXPECT_EQ(ctrl.settings().scanWindowHandle.load(), 0);

    Open();
    ctrl.CloseDevice();
    ctrl.CloseDevice();
    EXPECT_EQ(p.port->CallSet(), (std::multiset<std::string>{"close COM1", "close file OCXPROT.PRT",
                                                             "box " + TraceOf("CloseDevice", "h_Lpt1 closed")}));
    EXPECT_FALSE(ctrl.channel().IsOpen());
}

TEST_F(Channel, AProtocolFileThatCannotBeMadeLeavesWritesWorking) {
    p.port->locked_files = {texts::kProtocolFileName};
    Open();
    EXPECT_EQ(ctrl.channel().Writeln("abc"), 5);
    EXPECT_EQ(p.port->device_bytes, "abc\r\n");
    EXPECT_EQ(Protocol(), "");
}

// --- the write path --------------------------------------------------------

TEST_F(Channel, WritelnSendsTextThenLineEndAndEchoesBoth) {
    Open();
    EXPECT_EQ(ctrl.channel().Writeln("abc"), 5);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"abc", "\r\n"}));
    EXPECT_EQ(Protocol(), "abc\r\n");
    // timeout x length + 9000 for each write.
    EXPECT_EQ(p.port->limits, (std::vector<std::uint32_t>{9030, 9020}));
    EXPECT_EQ(p.port->Calls(), (Calls{"write 3", "write 2"}));
    EXPECT_TRUE(p.ui.Events().empty());

    EXPECT_EQ(ctrl.channel().Writeln(""), 2);
    EXPECT_EQ(p.port->writes.back(), "\r\n");
    EXPECT_EQ(ctrl.channel().Write(""), 0);
    EXPECT_EQ(p.port->writes.size(), 3u);
}

TEST_F(Channel, ATextWhoseWriteFailedGetsNoLineEnd) {
    Open();
    p.port->ends = {End::kRefused};
    EXPECT_EQ(ctrl.channel().Writeln("abc"), 0);
    EXPECT_EQ(p.port->Calls(), (Calls{"write 3", std::string("notice ") + texts::kSevereWriteError}));
    // The echo is made before the write is tried.
    EXPECT_EQ(Protocol(), "abc");
}

TEST_F(Channel, SuccessCountsWhatThePlatformReportsWritten) {
    Open();
    p.port->short_count = 2;
    EXPECT_EQ(ctrl.channel().Write("abcdef"), 2);
    p.port->short_count = 0;
    EXPECT_EQ(ctrl.channel().Write("abcdef"), 6);
}

TEST_F(Channel, DebugModeShowsTheErrorNumberOnceTheWriteHasLeftThePath) {
    Open();
    ctrl.settings().debugModus = true;
    p.port->start_code = 997;
    EXPECT_EQ(ctrl.channel().Write("a"), 1);
    EXPECT_EQ(p.port->Calls(), (Calls{"write 1", "notice Fehler-Nr.: 997"}));
    EXPECT_EQ(p.ui.Events()[0].caption, "Brisomel");
}

// A box a person leaves open on one thread never holds the other's writes.
TEST_F(Channel, AWritesNoticesDoNotHoldTheWritePath) {
    Open();
    p.ui.hold_boxes = true;
    p.port->ends = {End::kTimedOut, End::kWritten};
    std::thread::id first_id;
    std::thread first([&] {
        first_id = std::this_thread::get_id();
        ctrl.channel().Write("late");
    });
    while (p.ui.Events().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::atomic<std::int32_t> second{-1};
    std::thread other([&] { second = ctrl.channel().Write("ok"); });
    for (int i = 0; i < 500 && second < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(second.load(), 2) << "the write waited for the other thread's box";
    p.ui.DismissThread(static_cast<std::uint32_t>(std::hash<std::thread::id>{}(first_id)));
    first.join();
    other.join();
}

TEST_F(Channel, TimedOutWriteShowsFourNoticesAndTheNextWriteWorks) {
    Open();
    p.port->ends = {End::kTimedOut, End::kWritten};
    EXPECT_EQ(ctrl.channel().Write("\xE9xyz"), 0);
    EXPECT_EQ(p.port->Calls(), (Calls{"write 4", "notice schon wieder waitstate==WAIT_TIMEOUT",
                                      "notice m_Bytes: 0   L\xE4" "nge: 4", "notice \xE9xyz",
                                      "notice Char: -23"}));
    for (const auto& e : p.ui.Events()) EXPECT_EQ(e.caption, "Brisomel");
    EXPECT_EQ(ctrl.channel().Write("ok"), 2);
    EXPECT_EQ(p.port->overlaps, 0);
}

TEST_F(Channel, TimeOutNoticesOfAByteShowTheCountAsGiven) {
    Open();
    p.port->ends = {End::kTimedOut};
    EXPECT_EQ(ctrl.channel().SendByte(0x41), 0);
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[1], "m_Bytes: 1   L\xE4" "nge: 1");
    EXPECT_EQ(shown[3], "Char: 65");
}

TEST_F(Channel, FailedWaitShowsTheAbortNotice) {
    Open();
    p.port->ends = {End::kWaitFailed};
    EXPECT_EQ(ctrl.channel().Write("abc"), 0);
    EXPECT_EQ(p.port->Calls(), (Calls{"write 3", std::string("notice ") + texts::kWriteFailed}));
    // A write the device ended with an error passed no time limit: the
    // failed-write notice, not the time-out's.
    p.port->ClearCalls();
    p.port->ends = {End::kFailed};
    EXPECT_EQ(ctrl.channel().Write("abc"), 0);
    EXPECT_EQ(p.port->Calls(), (Calls{"write 3", std::string("notice ") + texts::kSevereWriteError}));
}

TEST_F(Channel, AWriteTheDriverNeverEndsBreaksTheDeviceUntilItIsReopened) {
    Open();
    p.port->stuck = true;
    p.port->ends = {End::kTimedOut};
    EXPECT_EQ(ctrl.channel().Write("abc"), 0);
    EXPECT_EQ(Shown().size(), 4u);  // the time-out's notices
    p.port->ClearCalls();
    EXPECT_EQ(ctrl.channel().Write("x"), 0);  // at once, without touching the device
    EXPECT_EQ(p.port->Calls(), (Calls{std::string("notice ") + texts::kSevereWriteError}));
    p.port->stuck = false;
    p.port->ends = {End::kWritten};
    ctrl.CloseDevice();
    Open();
    EXPECT_EQ(ctrl.channel().Write("x"), 1);
}

TEST(WriteTimeLimit, GrowsWithLengthStaysFiniteAndNeverNegative) {
    EXPECT_EQ(WriteTimeLimit(10, 100), 10000u);
    EXPECT_EQ(WriteTimeLimit(10, 0), 9000u);
    EXPECT_EQ(WriteTimeLimit(0, 1000000), 9000u);
    EXPECT_EQ(WriteTimeLimit(-1, 10), 9000u);
    EXPECT_EQ(WriteTimeLimit(-32768, 0xFFFFFFFFu), 9000u);
    EXPECT_EQ(WriteTimeLimit(32767, 131072), 32767u * 131072u + 9000u);
    // Beyond 32 bits the wait is the longest finite one, never "for ever".
    EXPECT_EQ(WriteTimeLimit(32767, 0xFFFFFFFFu), 0xFFFFFFFEu);
    EXPECT_EQ(WriteTimeLimit(1, 0xFFFFFFFFu), 0xFFFFFFFEu);
}

TEST_F(Channel, NegativeTimeoutWaitsTheFixedPartOnly) {
    Open();
    ctrl.settings().timeout = -5;
    ctrl.channel().Write(std::string(1000, 'x'));
    EXPECT_EQ(p.port->limits.back(), 9000u);
}

TEST_F(Channel, OemConversionOnlyOnTheControlsCopyAndNeverOnTheLineEnd) {
    Open();
    ctrl.settings().chartooem = 1;
    const std::string host_text = "\xE4\xF6\xFC";
    EXPECT_EQ(ctrl.channel().Writeln(host_text), 5);
    EXPECT_EQ(host_text, "\xE4\xF6\xFC");
    EXPECT_EQ(p.port->device_bytes, "\x84\x94\x81\r\n");
    EXPECT_EQ(Protocol(), "\x84\x94\x81\r\n");

    ctrl.settings().chartooem = 0;
    ctrl.channel().Write("\xE4");
    EXPECT_EQ(p.port->writes.back(), "\xE4");
}

TEST_F(Channel, SendByteSendsTheLowByteAndAZeroByteIsNotEchoed) {
    Open();
    EXPECT_EQ(ctrl.channel().SendByte(321), 1);
    EXPECT_EQ(ctrl.channel().SendByte(0), 1);
    EXPECT_EQ(ctrl.channel().SendByte(-1), 1);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"A", std::string(1, '\0'), "\xFF"}));
    EXPECT_EQ(Protocol(), "A\xFF");
}

TEST_F(Channel, EscCommandSendsEscAndCommandThenEachParameterByte) {
    Open();
    EXPECT_EQ(ctrl.channel().SendEscCommand("E", "27 10"), 4);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"\x1B" "E", "\x1B", "\n"}));

    p.port->writes.clear();
    EXPECT_EQ(ctrl.channel().SendEscCommand("(s", "  5   7 "), 5);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"\x1B(s", "\x05", "\x07"}));

    p.port->writes.clear();
    EXPECT_EQ(ctrl.channel().SendEscCommand("", "0x41 -191 +66 12abc x"), 6);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"\x1B", std::string(1, '\0'), "A", "B", "\x0C",
                                                       std::string(1, '\0')}));

    // A command of any length goes whole.
    const std::string command(5000, 'c');
    p.port->writes.clear();
    EXPECT_EQ(ctrl.channel().SendEscCommand(command, ""), 5001);
    EXPECT_EQ(p.port->writes, (std::vector<std::string>{"\x1B" + command}));
}

TEST_F(Channel, EscCommandInDebugModeShowsEachTokenBeforeItsByte) {
    Open();
    ctrl.settings().debugModus = true;
    EXPECT_EQ(ctrl.channel().SendEscCommand("E", "27"), 3);
    const auto events = p.ui.Events();
    // The error-number notice of each write, and the token's box between them.
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].text, "27");
    EXPECT_EQ(events[1].caption, "gesendetes Zeichen");
    EXPECT_EQ(events[1].style, interfaces::kMbOk);
    EXPECT_EQ(events[1].owner, 0u);
}

TEST(EscParams, SplitAtBlanksOnlyAndReadAsDecimal) {
    EXPECT_EQ(SplitEscParams(""), std::vector<std::string>{});
    EXPECT_EQ(SplitEscParams("   "), std::vector<std::string>{});
    EXPECT_EQ(SplitEscParams(" 1  2\t3 "), (std::vector<std::string>{"1", "2\t3"}));
    EXPECT_EQ(ReadDecimal("27"), 27);
    EXPECT_EQ(ReadDecimal("\t-5x"), -5);
    EXPECT_EQ(ReadDecimal("0x1B"), 0);
    EXPECT_EQ(ReadDecimal("+"), 0);
    EXPECT_EQ(ReadDecimal("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT32_MIN);
}

TEST_F(Channel, SendFileGoesInChunksOf4000AndEchoesEveryByte) {
    Open();
    std::string content(9000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    p.port->files["job.prn"] = content;
    EXPECT_EQ(ctrl.channel().SendFile("job.prn"), 9000);
    ASSERT_EQ(p.port->writes.size(), 3u);
    EXPECT_EQ(p.port->writes[0].size(), 4000u);
    EXPECT_EQ(p.port->writes[1].size(), 4000u);
    EXPECT_EQ(p.port->writes[2].size(), 1000u);
    EXPECT_EQ(p.port->device_bytes, content);
    EXPECT_EQ(Protocol(), content);
    EXPECT_EQ(p.port->limits, (std::vector<std::uint32_t>{49000, 49000, 19000}));
    EXPECT_EQ(p.port->open_files.count("job.prn"), 0u);  // closed again
}

// The scan task's last resort ends its thread wherever it is; inside a write
// or a read it leaves that running. Freeing the paths ends both.
TEST(ChannelPaths, AbandoningAThreadInsideAWriteOrAReadFreesThePaths) {
    fakes::DevicePlatform p;
    Settings settings;
    Reporter report(p.ui, settings);
    DeviceChannel channel(p.Get(), settings, report);
    ASSERT_TRUE(channel.Open("COM1"));
    p.port->ends = {End::kStopped, End::kWritten};
    fakes::FakeStopSignal stop;
    std::thread stuck([&] { channel.SendByte(6, &stop); });  // stands for the ended thread
    while (!p.port->writing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    channel.AbandonPaths();
    EXPECT_EQ(channel.Write("ok"), 2);
    EXPECT_EQ(p.port->overlaps, 0);
    EXPECT_EQ(p.port->Count("end read"), 0);  // no reader was inside
    stop.Set();
    stuck.join();

    fakes::FakeStopSignal reading;
    std::thread reader_stuck([&] { channel.ReadCode(&reading); });  // waits for a code
    while (p.port->Count("wait char") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    channel.AbandonPaths();
    EXPECT_EQ(p.port->Count("end read"), 1);
    reading.Set();
    reader_stuck.join();
}

TEST_F(Channel, SendFileCountsPast2GiBWithoutWrapping) {
    Open();
    p.port->files["big.prn"] = std::string(12000, 'b');
    p.port->short_count = 1u << 30;  // each chunk reported as 1 GiB
    EXPECT_EQ(ctrl.channel().SendFile("big.prn"), INT32_MAX);
}

TEST_F(Channel, SendFileOfAnEmptyFileTracesStartAndExitAndSendsNothing) {
    Open();
    ctrl.settings().debugModus = true;
    p.port->files["empty.prn"] = "";
    EXPECT_EQ(ctrl.channel().SendFile("empty.prn"), 0);
    EXPECT_EQ(Shown(), (std::vector<std::string>{TraceOf("SendFile", "Start"), TraceOf("SendFile", "Exit")}));
    EXPECT_TRUE(p.port->writes.empty());
}

TEST_F(Channel, SendFileThatCannotBeOpenedOrFailsMidwayReportsIt) {
    Open();
    p.port->files["locked.prn"] = "data";
    p.port->locked_files = {"locked.prn"};
    EXPECT_EQ(ctrl.channel().SendFile("missing.prn"), 0);
    EXPECT_EQ(ctrl.channel().SendFile("locked.prn"), 0);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Die Datei: missing.prn konnte nicht gelesen werden !",
                                                 "Die Datei: locked.prn konnte nicht gelesen werden !"}));

    p.port->files["big.prn"] = std::string(10000, 'b');
    p.port->ends = {End::kWritten, End::kRefused, End::kWritten};
    EXPECT_EQ(ctrl.channel().SendFile("big.prn"), 4000);
    EXPECT_EQ(Shown().back(),
              "Die Ausgabe der  Datei: big.prn wurde abbgebrochen, da das Ausgabeger\xE4"
              "t einen Fehler meldete !");
    EXPECT_EQ(p.port->open_files.count("big.prn"), 0u);

    const std::string long_name(1000, 'n');
    EXPECT_EQ(ctrl.channel().SendFile(long_name), 0);
    EXPECT_LT(Shown().back().size(), 256u);
}

TEST_F(Channel, FormFeedSendsOneByteThenFlushes) {
    Open();
    ctrl.channel().FormFeed();
    EXPECT_EQ(p.port->Calls(), (Calls{"write 1", "flush"}));
    EXPECT_EQ(p.port->device_bytes, "\x0C");
    p.port->failing = {"flush"};
    EXPECT_EQ(ctrl.channel().Flush(), 0);
    p.port->failing.clear();
    EXPECT_NE(ctrl.channel().Flush(), 0);
}

TEST_F(Channel, HugeAndBinaryTextsGoWholeUpToTheirFirstZeroByte) {
    Open();
    const std::string huge(1 << 20, 'h');
    EXPECT_EQ(ctrl.channel().Write(huge), 1 << 20);
    EXPECT_EQ(p.port->writes.back().size(), huge.size());
    std::string binary;
    for (int c = 1; c < 256; ++c) binary += static_cast<char>(c);
    EXPECT_EQ(ctrl.channel().Write(binary + std::string(1, '\0') + "after"), 255);
    EXPECT_EQ(p.port->writes.back(), binary);
}

// --- with no device open ---------------------------------------------------

TEST_F(Channel, EveryOperationWithoutADeviceReportsOnlyInDebugMode) {
    struct Case {
        const char* name;
        std::function<std::int32_t(OrvantaControl&)> run;
        std::int32_t result;
        std::vector<std::string> boxes;  // caption: text
    };
    const std::string init = std::string(texts::kCaptionError) + ": " + texts::kNotInitialised;
    const std::string inactive = std::string(texts::kCaptionError) + ": " + texts::kNotActivated;
    const Case cases[] = {
        {"Write", [](OrvantaControl& c) { return c.channel().Write("x"); }, 0, {init}},
        {"Write empty", [](OrvantaControl& c) { return c.channel().Write(""); }, 0, {}},
        {"Writeln", [](OrvantaControl& c) { return c.channel().Writeln("x"); }, 0, {init}},
        {"Writeln empty", [](OrvantaControl& c) { return c.channel().Writeln(""); }, 0, {init}},
        {"FormFeed", [](OrvantaControl& c) { c.channel().FormFeed(); return 0; }, 0, {init}},
        {"SendByte", [](OrvantaControl& c) { return c.channel().SendByte(1); }, 0, {init}},
        {"SendEscCommand", [](OrvantaControl& c) { return c.channel().SendEscCommand("E", "1 2"); }, 2,
         {init, "gesendetes Zeichen: 1", init, "gesendetes Zeichen: 2", init}},
        {"Flush", [](OrvantaControl& c) { return c.channel().Flush(); }, 0, {}},
        {"SetCOMSettings", [](OrvantaControl& c) { return c.channel().SetCOMSettings("") ? 1 : 0; }, 0, {inactive}},
        {"SetSignalOnCOM", [](OrvantaControl& c) { return c.channel().SetSignalOnCOM(1) ? 1 : 0; }, 0, {inactive}},
        {"ClearCOMError", [](OrvantaControl& c) { return c.channel().ClearCOMError(); }, -1, {inactive}},
        {"WaitCOMSignal", [](OrvantaControl& c) { return c.channel().WaitCOMSignal(0); }, 0, {inactive}},
        {"ReadBytes", [](OrvantaControl& c) { return c.channel().ReadBytes("abc", 3, 3); }, 0, {inactive}},
    };
    for (const bool debug : {false, true}) {
        for (const Case& c : cases) {
            fakes::DevicePlatform q;
            OrvantaControl control(q.Get());
            control.settings().debugModus = debug;
            EXPECT_EQ(c.run(control), c.result) << c.name;
            std::vector<std::string> boxes;
            for (const auto& e : q.ui.Events()) {
                EXPECT_EQ(e.kind, fakes::UiEvent::Box) << c.name;
                EXPECT_EQ(e.owner, 0u) << c.name;
                boxes.push_back(e.caption + ": " + e.text);
            }
            EXPECT_EQ(boxes, debug ? c.boxes : std::vector<std::string>{}) << c.name;
            EXPECT_TRUE(q.port->Calls().size() == q.ui.Events().size()) << c.name;  // no port call
        }
    }
    fakes::DevicePlatform q;
    OrvantaControl control(q.Get());
    control.settings().debugModus = true;
    EXPECT_EQ(control.channel().SendFile("x"), 0);
    EXPECT_EQ(q.ui.Events()[1].text, TraceOf("SendFile", "h_Lpt1 == NULL"));
    EXPECT_EQ(q.ui.Events()[2].text, texts::kNotActivated);
    EXPECT_EQ(q.ui.Events()[2].style, interfaces::kMbIconInformation);
}

// --- writes from two threads -----------------------------------------------

TEST_F(Channel, WritesFromTwoThreadsNeverRunAtOnceOrInterleave) {
    Open();
    p.port->write_ms = 1;
    const std::string a(50, 'a'), b(70, 'b');
    std::thread other([&] {
        for (int i = 0; i < 40; ++i) ctrl.channel().Write(b);
    });
    for (int i = 0; i < 40; ++i) ctrl.channel().Write(a);
    other.join();
    EXPECT_EQ(p.port->overlaps, 0);
    ASSERT_EQ(p.port->writes.size(), 80u);
    // The protocol file holds whole writes, in the device's order.
    std::string expected;
    for (const auto& w : p.port->writes) {
        EXPECT_TRUE(w == a || w == b);
        expected += w;
    }
    EXPECT_EQ(Protocol(), expected);
}

TEST_F(Channel, AStoppedWriteGivesUpWithoutNoticesAndTheNextOneGoes) {
    Open();
    p.port->ends = {End::kStopped, End::kWritten};
    fakes::FakeStopSignal stop;
    std::int16_t result = -1;
    std::thread task([&] { result = ctrl.channel().SendByte(6, &stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop.Set();
    task.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(p.ui.Events().empty());
    EXPECT_EQ(ctrl.channel().Write("next"), 4);
}

// --- line control and raw reads ------------------------------------------

TEST_F(Channel, EmptyModeAppliesTheDefaultsWithTheSuffixAsEventCharacter) {
    Open();
    p.port->line.baud_rate = 1200;
    p.port->line.parity = 2;
    p.port->line.data_bits = 8;
    p.port->line.stop_bits = 0;
    ctrl.settings().debugModus = true;
    EXPECT_TRUE(ctrl.channel().SetCOMSettings(""));
    EXPECT_EQ(p.port->line.baud_rate, 9600u);
    EXPECT_EQ(p.port->line.data_bits, 7);
    EXPECT_EQ(p.port->line.parity, 0);
    EXPECT_EQ(p.port->line.stop_bits, 2);
    EXPECT_EQ(p.port->line.event_char, 3);
    const auto events = p.ui.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].text, "baud=9600 parity=N data=7 stop=2");
    EXPECT_EQ(events[0].caption, "COrvantaCtrl Debugmodus: Parameterstring");
    EXPECT_EQ(events[1].text, "Baud=1200 parity=2  data=8   stop=0");
    EXPECT_EQ(events[1].caption, "COrvantaCtrl Debugmodus: Alten Parameter");
    EXPECT_EQ(events[2].text, "Baud=9600 parity=0  data=7   stop=2");
    EXPECT_EQ(events[2].caption, "COrvantaCtrl Debugmodus: neuen Parameter");
    for (const auto& e : events) EXPECT_EQ(e.style, interfaces::kMbIconInformation);
}

TEST_F(Channel, ModeThatCannotBeReadOrParsedAppliesNothing) {
    Open();
    ctrl.settings().ScannerSuffixChar = 0x10D;
    EXPECT_FALSE(ctrl.channel().SetCOMSettings("baud=9600 bogus"));
    EXPECT_EQ(p.port->line.baud_rate, 0u);
    p.port->ClearCalls();
    p.port->failing = {"get state"};
    EXPECT_FALSE(ctrl.channel().SetCOMSettings("baud=1200"));
    EXPECT_EQ(p.port->CountStarting("apply"), 0);
    p.port->failing = {"apply"};
    EXPECT_FALSE(ctrl.channel().SetCOMSettings("baud=1200"));
    p.port->failing.clear();
    p.port->ClearCalls();
    // The low byte of the suffix; a mode string's own fields for the rest.
    EXPECT_TRUE(ctrl.channel().SetCOMSettings("baud=19200"));
    EXPECT_EQ(p.port->Calls().back(), "apply baud=19200 evt=13");
    EXPECT_EQ(p.port->line.baud_rate, 19200u);
}

TEST_F(Channel, SignalsOneToEightMapToTheirLineSignals) {
    Open();
    for (std::int16_t s = 1; s <= 8; ++s) EXPECT_TRUE(ctrl.channel().SetSignalOnCOM(s));
    for (std::int16_t s : {0, 9, -1, 32767}) EXPECT_FALSE(ctrl.channel().SetSignalOnCOM(s));
    const Calls calls = p.port->Calls();
    ASSERT_EQ(calls.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(calls[i], "signal " + std::to_string(i));
    p.port->failing = {"signal"};
    EXPECT_FALSE(ctrl.channel().SetSignalOnCOM(7));
}

TEST_F(Channel, ClearCOMErrorGivesTheMaskOrMinusOne) {
    Open();
    EXPECT_EQ(ctrl.channel().ClearCOMError(), 0);
    p.port->error_mask = 0x0A;
    EXPECT_EQ(ctrl.channel().ClearCOMError(), 0x0A);
    p.port->failing = {"clear errors"};
    EXPECT_EQ(ctrl.channel().ClearCOMError(), -1);
}

TEST_F(Channel, WaitCOMSignalReturnsOnceTheEventCharacterIsInAndLeavesTheBytes) {
    Open();
    ctrl.channel().SetCOMSettings("");
    std::thread scanner([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p.port->Feed("47");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p.port->Feed("11\x03");
    });
    EXPECT_NE(ctrl.channel().WaitCOMSignal(0), 0);
    scanner.join();
    EXPECT_EQ(ctrl.channel().ReadBytes("xxxxx", 5, 5), 5);
    EXPECT_TRUE(p.port->input.empty());
    p.port->failing = {"wait char"};
    EXPECT_EQ(ctrl.channel().WaitCOMSignal(0), 0);
}

TEST_F(Channel, ReadBytesNeverReadsPastTheCopyOfTheBuffer) {
    Open();
    p.port->Feed(std::string(100, 'r'));
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", 3, 3), 3);
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", 3, 4), 0);  // more than the buffer: nothing
    EXPECT_EQ(ctrl.channel().ReadBytes("ab", 100, 50), 3);  // the copy holds two letters and the zero
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", 3, -1), 0);
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", -5, -10), 0);
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", 3, 0), 0);
    EXPECT_EQ(p.port->input.size(), 94u);
    const Calls calls = p.port->Calls();
    EXPECT_EQ(calls, (Calls{"read 3", "read 3"}));

    ctrl.settings().debugModus = true;
    EXPECT_EQ(ctrl.channel().ReadBytes("abc", 3, 4), 0);
    const auto box = p.ui.Events().back();
    EXPECT_EQ(box.text, "Die Anzahl der zu lesenden Bytes (4) darf nicht gr\xF6\xDF"
                        "er sein als die Puffergr\xF6\xDF" "e (3) !");
    EXPECT_EQ(box.caption, "COrvantaCtrl Debugmodus: Fehler");
    EXPECT_EQ(box.style, interfaces::kMbIconError);
}

}  // namespace
}  // namespace orvanta::logic
