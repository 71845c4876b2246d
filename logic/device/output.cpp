// The one write path and the output operations built on it.
#include <cstdint>
#include <cstring>

#include "logic/reporting/reporting.h"
#include "logic/reporting/texts.h"
#include "logic/device/channel.h"
#include "logic/device/channel_rules.h"

namespace orvanta::logic {

namespace {

constexpr std::size_t kNoticeBuffer = 256;
constexpr std::uint32_t kFileChunk = 4000;

std::uint32_t Length(const char* text) {
    return static_cast<std::uint32_t>(std::strlen(text));
}

std::int32_t CappedCount(std::int64_t count) {
    return count > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(count);
}

}  // namespace

std::int32_t DeviceChannel::WriteDevice(const char* text, std::int32_t byte_count,
                                       interfaces::StopSignal* stop) {
    const std::uint32_t string_length = Length(text);
    // A positive count may name bytes past the first zero byte (SendByte(0)).
    const std::uint32_t length = byte_count > 0 ? static_cast<std::uint32_t>(byte_count) : string_length;
    return WriteBlock(text, length, string_length < length ? string_length : length, byte_count, stop);
}

std::int32_t DeviceChannel::WriteBlock(const char* data, std::uint32_t length,
                                      std::uint32_t echo_length, std::int32_t requested,
                                      interfaces::StopSignal* stop) {
    if (!DeviceOpenOrSay(Saying::kNotInitialised)) return 0;
    // A lost device may be back; if not, the write is refused at once.
    if (device_->IsLost()) device_->LookForReturn(/*paced=*/true);
    WriteNotices notices;
    std::int32_t result = 0;
    switch (write_gate_.Enter(stop)) {
    case Gate::Entry::Entered: {
        GatePass leave(write_gate_);
        result = WriteLocked(data, length, echo_length, requested, stop, notices);
        break;
    }
    case Gate::Entry::Reentered:  // the device is in use by this thread's own write
    case Gate::Entry::Stopped:
        return 0;
    }
    // Outside the gate: a box a person has not closed yet must not hold the
    // other thread's writes.
    for (std::size_t i = 0; i < notices.count; ++i)
        report_.ShowNotice(notices.text[i].c_str(), texts::kCaptionBrisomel);
    return result;
}

std::int32_t DeviceChannel::WriteLocked(const char* data, std::uint32_t length,
                                       std::uint32_t echo_length, std::int32_t requested,
                                       interfaces::StopSignal* stop, WriteNotices& notices) {
    interfaces::Device& device = *device_;
    const auto stopping = [stop] { return stop && stop->IsSet(); };
    char message[kNoticeBuffer];
    if (write_broken_) {  // a write the driver never ended still holds the device
        if (!stopping()) notices.Add(texts::kSevereWriteError);
        return 0;
    }
    if (protocol_file_) protocol_file_->Write(data, echo_length);

    // Whether the write began for a task that is stopping: such a write
    // tells the user nothing.
    const bool stopped_at_start = stopping();
    const interfaces::WriteResult r =
        device.Write(data, length, WriteTimeLimit(settings_.timeout.load(), length), stop);
    if (settings_.Debug() && !stopped_at_start) {
        FormatBounded(message, sizeof message, texts::kErrorNumber, static_cast<int>(r.start_code));
        notices.Add(message);
    }
    // A write the driver never ends leaves the device broken until it is closed.
    if (r.stuck) write_broken_ = true;
    switch (r.end) {
    case interfaces::WriteEnd::kWritten:
        return static_cast<std::int32_t>(r.written);
    case interfaces::WriteEnd::kRefused:
        if (!stopped_at_start) notices.Add(texts::kSevereWriteError);
        return 0;
    default:
        break;
    }
    if (stopping() || r.end == interfaces::WriteEnd::kStopped) return 0;
    switch (r.end) {
    case interfaces::WriteEnd::kTimedOut:
        notices.Add(texts::kTimeoutAgain);
        FormatBounded(message, sizeof message, texts::kTimeoutLengths, static_cast<int>(requested),
                      static_cast<int>(length));
        notices.Add(message);
        notices.Add(std::string(data, echo_length));  // the text, within the block
        FormatBounded(message, sizeof message, texts::kTimeoutChar,
                      static_cast<int>(static_cast<signed char>(length ? data[0] : 0)));
        notices.Add(message);
        break;
    case interfaces::WriteEnd::kFailed:
        // No time limit passed: the device refused the write.
        notices.Add(texts::kSevereWriteError);
        break;
    default:
        notices.Add(texts::kWriteFailed);
        break;
    }
    return 0;
}

std::int32_t DeviceChannel::Write(std::string text_to_write) {
    if (text_to_write.c_str()[0] == '\0') return 0;
    if (settings_.chartooem.load() != 0) platform_.ui.ToOem(&text_to_write[0]);
    return WriteDevice(text_to_write.c_str(), 0);
}

std::int32_t DeviceChannel::Writeln(std::string text_to_write) {
    std::int32_t result = 0;
    const bool empty = text_to_write.c_str()[0] == '\0';
    if (!empty) result = Write(std::move(text_to_write));
    if (empty || result > 0) result += WriteDevice("\r\n", 0);
    return result;
}

void DeviceChannel::FormFeed() {
    WriteDevice("\x0C", 0);
    Flush();
}

std::int32_t DeviceChannel::Flush() { return device_ && device_->Flush() ? 1 : 0; }

std::int16_t DeviceChannel::SendByte(std::int16_t byte_value, interfaces::StopSignal* stop) {
    const char byte[2] = {static_cast<char>(byte_value & 0xFF), '\0'};
    return static_cast<std::int16_t>(WriteDevice(byte, 1, stop));
}

std::int16_t DeviceChannel::SendEscCommand(const std::string& command_letters, const std::string& params) {
    // The whole command, however long.
    std::int32_t count = Write("\x1B" + std::string(command_letters.c_str()));
    for (const std::string& token : SplitEscParams(params)) {
        const std::int32_t value = ReadDecimal(token);
        report_.DebugBox(token.c_str(), texts::kCaptionEscByte, interfaces::kMbOk);
        SendByte(static_cast<std::int16_t>(value & 0xFFFF));
        ++count;
    }
    return static_cast<std::int16_t>(count);
}

std::int32_t DeviceChannel::SendFile(const std::string& file_name, const std::u16string& wide) {
    report_.DbgMsg("Start", texts::kFnSendFile);
    if (!device_) report_.DbgMsg("h_Lpt1 == NULL", texts::kFnSendFile);
    if (!DeviceOpenOrSay()) return 0;
    // Opened by the name as written; the notices show the 8-bit text.
    std::unique_ptr<interfaces::File> file =
        platform_.ports.OpenFileForRead(file_name.c_str(), wide.empty() ? nullptr : wide.c_str());
    char message[kNoticeBuffer];
    if (!file) {
        report_.DbgMsg("Error OpenFile( )", texts::kFnSendFile);
        FormatFitted(message, sizeof message, texts::kFileUnreadable, file_name.c_str());
        report_.ShowNotice(message, texts::kCaptionBrisomel);
        return 0;
    }
    // 64 bits: a file past 2 GiB must not wrap the count; the result is capped.
    std::int64_t total = 0;
    char buffer[4096];
    for (;;) {
        const int read = file->Read(buffer, kFileChunk);
        if (read <= 0) break;
        const auto n = static_cast<std::uint32_t>(read);
        // The echo covers the whole chunk: a file's zero bytes are data too.
        const std::int32_t written = WriteBlock(buffer, n, n, read, nullptr);
        if (written == 0) {
            FormatFitted(message, sizeof message, texts::kFileAborted, file_name.c_str());
            report_.ShowNotice(message, texts::kCaptionBrisomel);
            return CappedCount(total);
        }
        total += written;
    }
    file.reset();
    report_.DbgMsg("Exit", texts::kFnSendFile);
    return CappedCount(total);
}

}  // namespace orvanta::logic
