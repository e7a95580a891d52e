#include "tidewell/settings/settings.h"

namespace tidewell {

namespace {
constexpr std::uint32_t kPortNumberMask = 0xFF;
constexpr std::uint8_t kFirstPort = 1;
}  // namespace

std::uint8_t TidewellSettings::getCommPort() const {
    const auto port = static_cast<std::uint8_t>(store_.getInt(kProfileSection, kCommPortKey, 0) &
                                                kPortNumberMask);
    return port == 0 ? kFirstPort : port;
}

void TidewellSettings::setCommPort(std::uint8_t portNumber) {
    store_.setInt(kProfileSection, kCommPortKey, portNumber);
}

std::string TidewellSettings::getFolder(std::string_view key) const {
    std::string folder = store_.getString(kProfileSection, key);
    return folder.empty() ? std::string(kDefaultFolder) : folder;
}

std::string TidewellSettings::getSettingPath() const {
    return getFolder(kSettingPathKey);
}
void TidewellSettings::setSettingPath(const std::string& folder) {
    store_.setString(kProfileSection, kSettingPathKey, folder);
}
std::string TidewellSettings::getSettingFile() const {
    return store_.getString(kProfileSection, kSettingFileKey);
}
void TidewellSettings::setSettingFile(const std::string& fileName) {
    store_.setString(kProfileSection, kSettingFileKey, fileName);
}
std::string TidewellSettings::getPlaylistPath() const {
    return getFolder(kPlaylistPathKey);
}
void TidewellSettings::setPlaylistPath(const std::string& folder) {
    store_.setString(kProfileSection, kPlaylistPathKey, folder);
}
std::string TidewellSettings::getPlaylistFile() const {
    return store_.getString(kProfileSection, kPlaylistFileKey);
}
void TidewellSettings::setPlaylistFile(const std::string& fileName) {
    store_.setString(kProfileSection, kPlaylistFileKey, fileName);
}
std::string TidewellSettings::getFirmwarePath() const {
    return getFolder(kFirmwarePathKey);
}
void TidewellSettings::setFirmwarePath(const std::string& fullPath) {
    store_.setString(kProfileSection, kFirmwarePathKey, fullPath);
}

}  // namespace tidewell
