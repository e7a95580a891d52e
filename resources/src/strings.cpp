#include "tables.h"

namespace tidewell::res {

// Texts stand exactly as the program shows them.
std::map<int, std::string_view> makeStrings() {
    return {
        {101, "&About..."},
        {128, "Tidewell"},
        {129, "Firmware file is not valid."},
        {130, "Can't open file."},
        {131, "Unable to open COM%1!d!."},
        {132, "Detection error."},
        {133, "Device detected."},
        {134, "Login error."},
        {135, "Unexpected state %1!d!."},
        {136, "Can't start upload."},
        {137, "Can't start download."},
        {138, "Transfer completed sucessfully."},
        {139, "Transfer cancelled by device."},
        {140, "Remote transfer not detected."},
        {141, "Transfer error."},
        {142, "Error, too many retry."},
        {143, "Can't write to file"},
        {144, "Unexpected %1!d!."},
        {145, "Transfer %1!d! %% completed."},
        {146, "Welcome"},
        {147, "Detection"},
        {148, "Firmware Selection"},
        {149, "Operation"},
        {150, "Backup"},
        {151, "Update"},
        {152, "Setting Selection"},
        {153, "Playlist Selection"},
    };
}

}  // namespace tidewell::res
