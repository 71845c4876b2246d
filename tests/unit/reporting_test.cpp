// Notices, trace reports and debug boxes: limits, formats, captions, bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logic/reporting/reporter.h"
#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"
#include "tests/fakes/fake_platform.h"

namespace orvanta::logic {
namespace {

using fakes::UiEvent;

struct Reporting : ::testing::Test {
    fakes::FakePlatform p;
    Settings settings;
    Reporter report{p.ui, settings};
};

TEST_F(Reporting, NoticeTakesMessagesUpTo511AndCaptionsUpTo254Whole) {
    const std::string msg511(511, 'm'), cap254(254, 'c');
    EXPECT_EQ(report.ShowNotice(msg511.c_str(), cap254.c_str()), interfaces::kIdOk);
    const auto e = p.ui.Events();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].kind, UiEvent::Notice);
    EXPECT_EQ(e[0].text, msg511);
    EXPECT_EQ(e[0].caption, cap254);
}

TEST_F(Reporting, TooLongTextsAreReplacedEachOnItsOwn) {
    const std::string msg512(512, 'm'), cap255(255, 'c');
    report.ShowNotice(msg512.c_str(), "Brisomel");
    report.ShowNotice("kurz", cap255.c_str());
    report.ShowNotice(msg512.c_str(), cap255.c_str());
    report.ShowNotice("", "");
    const auto e = p.ui.Events();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].text, "Fehlermeldung zu lang !");
    EXPECT_EQ(e[0].caption, "Brisomel");
    EXPECT_EQ(e[1].text, "kurz");
    EXPECT_EQ(e[1].caption, "Fenstertitel zu lang !");
    EXPECT_EQ(e[2].text, "Fehlermeldung zu lang !");
    EXPECT_EQ(e[2].caption, "Fenstertitel zu lang !");
    EXPECT_EQ(e[3].text, "");
    EXPECT_EQ(e[3].caption, "");
}

TEST_F(Reporting, NoticeReturnsTheDialogsEndCode) {
    p.ui.notice_result = interfaces::kIdCancel;
    EXPECT_EQ(report.ShowNotice("a", "b"), interfaces::kIdCancel);
    p.ui.notice_result = interfaces::kDialogFailed;
    EXPECT_EQ(report.ShowNotice("a", "b"), interfaces::kDialogFailed);
}

TEST_F(Reporting, NoticeShowsWhateverTheDebugSwitch) {
    settings.debugModus = false;
    report.ShowNotice("x", "y");
    EXPECT_EQ(p.ui.Events().size(), 1u);
}

TEST_F(Reporting, TraceHasThreeCrLfLinesAndTheErrorTwice) {
    settings.debugModus = true;
    p.ui.foreground = 0x1234;
    p.ui.last_error = 0x80070005u;
    report.DbgMsg("nicht offen.", "OpenDevice");
    const auto e = p.ui.Events();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].kind, UiEvent::Box);
    EXPECT_EQ(e[0].text,
              "Function: OpenDevice\r\nMessage: nicht offen.\r\nGetLastError == 80070005 "
              "(-2147024891)\r\n");
    EXPECT_EQ(e[0].caption, "OrvantaCtrl::DbgMsg");
    EXPECT_EQ(e[0].owner, 0x1234u);
    EXPECT_EQ(e[0].style, interfaces::kMbOk);
    // The error is read before anything is shown.
    EXPECT_EQ(p.ui.reads_before_first_event, 1);
}

TEST_F(Reporting, TraceOfErrorZeroAndOfSmallErrors) {
    settings.debugModus = true;
    p.ui.last_error = 0;
    report.DbgMsg("OK", "OpenDevice");
    p.ui.last_error = 183;
    report.DbgMsg("OK", "OpenDevice");
    const auto e = p.ui.Events();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_NE(e[0].text.find("GetLastError == 00000000 (0)\r\n"), std::string::npos);
    EXPECT_NE(e[1].text.find("GetLastError == 000000B7 (183)\r\n"), std::string::npos);
}

TEST_F(Reporting, TraceAndDebugBoxesStayHiddenOutsideDebugMode) {
    p.ui.last_error = 5;
    report.DbgMsg("Start", "SendFile");
    report.DebugBox("Schnittstelle nicht aktiviert !", texts::kCaptionError,
                  interfaces::kMbIconInformation);
    EXPECT_TRUE(p.ui.Events().empty());
    EXPECT_EQ(p.ui.last_error_reads, 1);  // still read first, nothing else
}

TEST_F(Reporting, DebugBoxHasNoOwnerAndKeepsItsStyle) {
    settings.debugModus = true;
    p.ui.foreground = 99;
    report.DebugBox(texts::kNotInitialised, texts::kCaptionError, interfaces::kMbIconError);
    const auto e = p.ui.Events();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].owner, 0u);
    EXPECT_EQ(e[0].style, 0x10u);
    EXPECT_EQ(e[0].text, "Die Schnittstelle wurde nicht initialisiert!");
}

TEST(TraceFormat, LongNamesAreCutInsideTheWriteLimit) {
    char buffer[kTraceBufferSize];
    std::memset(buffer, 0x5A, sizeof buffer);
    const std::string huge(5000, 'x');
    const std::size_t n = FormatTrace(buffer, sizeof buffer, huge.c_str(), huge.c_str(), 1);
    EXPECT_EQ(n, kTraceWriteLimit - 1);
    EXPECT_EQ(buffer[n], '\0');
    for (std::size_t i = kTraceWriteLimit; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0x5A) << i;
}

TEST(FittedFormat, ShortensTheNameNotTheFixedWords) {
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    const std::string name(4000, 'N');
    const std::size_t n = FormatFitted(buffer, 50, texts::kFileUnreadable, name.c_str());
    EXPECT_EQ(n, 49u);
    const std::string out(buffer);
    EXPECT_EQ(out.substr(0, 11), "Die Datei: ");
    EXPECT_EQ(out.substr(11, 8), "NNNNNNNN");
    EXPECT_EQ(out.substr(out.size() - 30), " konnte nicht gelesen werden !");
    EXPECT_EQ(buffer[50], 0x5A);
    // A name that fits is taken whole.
    FormatFitted(buffer, sizeof buffer, "Schnittstelle: %s !", "COM5");
    EXPECT_STREQ(buffer, "Schnittstelle: COM5 !");
}

TEST(Texts, AreWindows1252Bytes) {
    // "geöffnet": ö is 0xF6 in Windows-1252, not the two UTF-8 bytes.
    const std::string cannot_open = texts::kCannotOpen;
    EXPECT_EQ(cannot_open, std::string("Schnittstelle: %s konnte nicht ge\xF6" "ffnet werden !"));
    EXPECT_EQ(cannot_open.size(), 48u);
    EXPECT_EQ(std::string(texts::kReadTooLarge).find("gr\xF6\xDF" "er"), 49u);
    EXPECT_EQ(std::string(texts::kTimeoutLengths), "m_Bytes: %i   L\xE4nge: %i");
    EXPECT_EQ(std::string(texts::kFileAborted).substr(0, 22), "Die Ausgabe der  Datei");
    EXPECT_EQ(std::string(texts::kLineSettingsFormat), "Baud=%i parity=%i  data=%i   stop=%i");
    EXPECT_EQ(std::string(texts::kScanTaskEnded), "Scannner-Task wurde durch 'Ende' Befehl beendet !");
    for (const char* t : {texts::kCannotOpen, texts::kNoEventContext, texts::kSevereWriteError,
                          texts::kWriteFailed, texts::kTypedAsKeys, texts::kReadTooLarge}) {
        for (const char* c = t; *c; ++c) {
            // No UTF-8 lead byte 0xC3 may remain from an editor's conversion.
            ASSERT_NE(static_cast<unsigned char>(*c), 0xC3u) << t;
        }
    }
}

}  // namespace
}  // namespace orvanta::logic
