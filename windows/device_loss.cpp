#include "windows/device_loss.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvanta::windows {

namespace {
// The system's numbers, so the table builds everywhere.
constexpr std::uint32_t kFileNotFound = 2;         // the port's name no longer resolves
constexpr std::uint32_t kAccessDenied = 5;         // a removed USB port's handle
constexpr std::uint32_t kBadCommand = 22;          // the driver no longer knows the device
constexpr std::uint32_t kGenFailure = 31;          // a USB adapter pulled mid-transfer
constexpr std::uint32_t kNoSuchDevice = 433;         // ERROR_NO_SUCH_DEVICE, newer than MinGW's headers
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kDeviceRemoved = 1617;
constexpr std::uint32_t kOperationAborted = 995;   // ended by the removal, not by us
constexpr std::uint32_t kBrokenPipe = 109;          // Wine: the line behind the port went
#ifdef _WIN32
static_assert(kFileNotFound == ERROR_FILE_NOT_FOUND && kAccessDenied == ERROR_ACCESS_DENIED &&
              kBadCommand == ERROR_BAD_COMMAND &&
              kGenFailure == ERROR_GEN_FAILURE &&
              kDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED && kDeviceRemoved == ERROR_DEVICE_REMOVED &&
              kOperationAborted == ERROR_OPERATION_ABORTED && kBrokenPipe == ERROR_BROKEN_PIPE,
              "the system's error numbers");
#endif
}  // namespace

bool MeansDeviceGone(std::uint32_t error, bool cancel_asked) {
    switch (error) {
    case kFileNotFound:
    case kAccessDenied:
    case kBadCommand:
    case kGenFailure:
    case kNoSuchDevice:
    case kDeviceNotConnected:
    case kDeviceRemoved:
    case kBrokenPipe:
        return true;
    case kOperationAborted:
        return !cancel_asked;
    default:
        return false;
    }
}

}  // namespace orvanta::windows
