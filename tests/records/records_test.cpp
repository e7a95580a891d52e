// SHA-256 against published vectors, backup records written and checked, and the
// read-back comparison with its padding rule.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "tidewell/records/backup_record.h"
#include "tidewell/records/read_back.h"
#include "tidewell/records/sha256.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using testsupport::namesIn;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Windows has neither FIFOs among files nor permission bits.
#ifdef _WIN32
constexpr bool kLinuxFiles = false;
bool makeFifo(const fs::path& /*path*/) {
    return false;
}
#else
constexpr bool kLinuxFiles = true;
bool makeFifo(const fs::path& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}
#endif

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// ---- SHA-256 ------------------------------------------------------------------------

TEST(Sha256, PublishedVectors) {
    EXPECT_EQ(sha256Hex(std::string_view()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(std::string_view("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Sha256 parts;
    parts.update(bytes("abcdbcdecdefdefgefghfghighijhi"));
    parts.update(bytes("jkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ(parts.finish(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(parts.finish(), sha256Hex(std::string_view()));  // starts afresh
}

TEST(Sha256, FileOfAMillionBytesReadInChunks) {
    TempDir dir;
    writeFile(dir / "a", std::string(1000000, 'a'));
    const auto digest = digestFile(dir / "a");
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->size, 1000000u);
    EXPECT_EQ(digest->sha256, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, OnlyARegularFileIsReadAndAFifoNeverBlocks) {
    TempDir dir;
    std::string why;
    EXPECT_FALSE(digestFile(dir / "missing", &why));
    EXPECT_NE(why.find((dir / "missing").string()), std::string::npos) << why;
    if (kLinuxFiles) {
        ASSERT_TRUE(makeFifo(dir / "fifo"));
        EXPECT_FALSE(digestFile(dir / "fifo", &why));
        EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    }
    EXPECT_FALSE(digestFile(dir.path(), &why));
}

// ---- backup records -----------------------------------------------------------------

class BackupRecords : public ::testing::Test {
  protected:
    BackupRecords() { writeFile(backup, content); }

    std::optional<BackupRecord> write() { return writeBackupRecord(backup, origin, &why, when); }

    TempDir dir;
    fs::path backup = dir / "setting_3.bak";
    std::string content = randomBytes(2048, 5);
    BackupOrigin origin{"setting",
                        "COM3",
                        "/dev/ttyUSB0",
                        {"Tidewell simulated device", "Firmware 1.0", "Logged in", ":OK:"}};
    // 2025-05-20 09:41:07 UTC
    std::chrono::system_clock::time_point when{std::chrono::seconds(1747734067)};
    std::string why;
};

TEST_F(BackupRecords, TheRecordBesideTheBackupSaysWhatItIs) {
    ASSERT_TRUE(write()) << why;
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"setting_3.bak", "setting_3.bak.json"}));
    const auto json = nlohmann::json::parse(readFile(dir / "setting_3.bak.json"));
    EXPECT_EQ(json["format"], 1);
    EXPECT_EQ(json["device_file"], "setting");
    EXPECT_EQ(json["size"], 2048);
    EXPECT_EQ(json["sha256"], sha256Hex(std::string_view(content)));
    EXPECT_EQ(json["time_utc"], "2025-05-20T09:41:07Z");
    EXPECT_EQ(json["port"], "COM3");
    EXPECT_EQ(json["device_path"], "/dev/ttyUSB0");
    EXPECT_EQ(json["login_lines"], nlohmann::json(origin.loginLines));

    const RecordCheck check = checkBackup(backup);
    EXPECT_EQ(check.status, RecordStatus::matches) << check.detail;
    ASSERT_TRUE(check.record);
    EXPECT_EQ(check.record->origin.loginLines, origin.loginLines);
    EXPECT_EQ(check.record->timeUtc, "2025-05-20T09:41:07Z");
}

TEST_F(BackupRecords, AChangedByteOrSizeIsTold) {
    ASSERT_TRUE(write()) << why;
    std::string changed = content;
    changed[1000] = static_cast<char>(changed[1000] ^ 0x01);
    writeFile(backup, changed);
    RecordCheck check = checkBackup(backup);
    EXPECT_EQ(check.status, RecordStatus::differs);
    EXPECT_TRUE(check.hashDiffers);
    EXPECT_FALSE(check.sizeDiffers);
    EXPECT_NE(check.detail.find("SHA-256 " + sha256Hex(std::string_view(changed))),
              std::string::npos)
        << check.detail;

    writeFile(backup, content + "x");
    check = checkBackup(backup);
    EXPECT_EQ(check.status, RecordStatus::differs);
    EXPECT_TRUE(check.sizeDiffers && check.hashDiffers);
    EXPECT_NE(check.detail.find("size 2049 bytes, the record says 2048"), std::string::npos)
        << check.detail;
}

TEST_F(BackupRecords, MissingUnreadableAndMalformedRecordsAreToldApart) {
    EXPECT_EQ(checkBackup(backup).status, RecordStatus::noRecord);
    const fs::path record = recordPathFor(backup);
    fs::create_directory(record);
    EXPECT_EQ(checkBackup(backup).status, RecordStatus::recordUnreadable);
    fs::remove(record);
    if (kLinuxFiles) {
        ASSERT_TRUE(makeFifo(record));  // must not wait for a writer
        EXPECT_EQ(checkBackup(backup).status, RecordStatus::recordUnreadable);
        fs::remove(record);
    }

    ASSERT_TRUE(write()) << why;
    const std::string good = readFile(record);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    for (const std::string& text :
         {std::string("{\"format\": 1,"), std::string("[1, 2]"),
          replaced("\"format\": 1", "\"format\": 2"), replaced("\"size\": 2048", "\"size\": -1"),
          replaced("\"sha256\": \"", "\"sha256\": \"X"),
          replaced("\"device_file\"", "\"devicefile\""),
          replaced("\"device_file\": \"setting\"", "\"device_file\": \"../../etc/passwd\""),
          replaced("\"device_file\": \"setting\"", "\"device_file\": \"flashimage\""),
          good + std::string(8, '\0') + "garbage",
          replaced("\"login_lines\": [", "\"login_lines\": [7,"),
          std::string(kMaxRecordBytes + 1, ' ')}) {
        writeFile(record, text);
        const RecordCheck check = checkBackup(backup);
        EXPECT_EQ(check.status, RecordStatus::recordMalformed) << text.substr(0, 200);
        EXPECT_NE(check.detail.find("setting_3.bak.json is not a valid record"), std::string::npos)
            << check.detail;
    }

    writeFile(record, good);
    fs::remove(backup);
    EXPECT_EQ(checkBackup(backup).status, RecordStatus::backupUnreadable);
    fs::remove(record);  // no backup: that comes before its missing record
    EXPECT_EQ(checkBackup(backup).status, RecordStatus::backupUnreadable);
    // Nor is a record written for a backup that cannot be read.
    EXPECT_FALSE(write());
    EXPECT_NE(why.find(backup.string()), std::string::npos) << why;
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST_F(BackupRecords, DeviceLinesOfAnyBytesAreWrittenAndAStaleRecordIsReplaced) {
    writeFile(recordPathFor(backup), "stale");
    ::chmod(backup.string().c_str(), 0640);
    origin.loginLines = {"caf\xE9 \xFF\x01\"\\"};
    ASSERT_TRUE(write()) << why;
    const RecordCheck check = checkBackup(backup);
    ASSERT_EQ(check.status, RecordStatus::matches) << check.detail;
    EXPECT_EQ(check.record->origin.loginLines[0], "caf\uFFFD \uFFFD\x01\"\\");
    struct stat info {};
    ASSERT_EQ(::stat(recordPathFor(backup).string().c_str(), &info), 0);
    if (kLinuxFiles) {
        EXPECT_EQ(info.st_mode & 0777, 0640u);
    }
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"setting_3.bak", "setting_3.bak.json"}));
}

// ---- read-back comparison ---------------------------------------------------------------

struct ReadBackCase {
    std::size_t sent;
    std::string tail;  // appended to the sent bytes (or, with cut, what is cut off)
    std::size_t cut;
    ReadBackDifference difference;
    std::uint64_t at;
};

TEST(ReadBack, OnlyPacketPaddingMayFollowWhatWasSent) {
    const auto pad = [](std::size_t n, char c) { return std::string(n, c); };
    const std::vector<ReadBackCase> cases = {
        {2048, "", 0, ReadBackDifference::none, 0},
        {1000, pad(24, '\0'), 0, ReadBackDifference::none, 0},
        {1000, pad(24, '\x1A'), 0, ReadBackDifference::none, 0},
        {100, pad(28, '\0'), 0, ReadBackDifference::none, 0},
        {100, pad(924, '\x1A'), 0, ReadBackDifference::none, 0},
        {0, "", 0, ReadBackDifference::none, 0},
        {100, pad(50, '\0'), 0, ReadBackDifference::paddingEnds, 150},
        {100, pad(10, '\0') + pad(18, '\x1A'), 0, ReadBackDifference::notPadding, 110},
        {1000, pad(1048, '\0'), 0, ReadBackDifference::notPadding, 1024},
        {2048, pad(1, '\0'), 0, ReadBackDifference::notPadding, 2048},
        {0, pad(128, '\0'), 0, ReadBackDifference::notPadding, 0},
        {1000, "A" + pad(23, '\0'), 0, ReadBackDifference::notPadding, 1000},
        {1000, "", 500, ReadBackDifference::shorter, 500},
    };
    for (const auto& c : cases) {
        const std::string sent = randomBytes(c.sent, 9);
        const std::string back = sent.substr(0, sent.size() - c.cut) + c.tail;
        const ReadBackResult result = compareReadBack(bytes(sent), bytes(back));
        const std::string label = std::to_string(c.sent) + "+" + std::to_string(c.tail.size()) +
                                  "-" + std::to_string(c.cut);
        EXPECT_EQ(result.difference, c.difference) << label;
        EXPECT_EQ(result.firstDifference, c.at) << label;
        EXPECT_EQ(result.sentSize, sent.size()) << label;
        EXPECT_EQ(result.readSize, back.size()) << label;
        EXPECT_EQ(result.paddingBytes, result.matches() ? c.tail.size() : 0) << label;
    }
}

TEST(ReadBack, FilesAreComparedAcrossChunksAndTheOffsetIsNamed) {
    TempDir dir;
    const std::string sent = randomBytes(200000, 4);
    writeFile(dir / "sent", sent);
    writeFile(dir / "same", sent + std::string(704, '\0'));  // to 196 * 1024
    std::string changed = sent + std::string(704, '\0');
    changed[150001] = static_cast<char>(changed[150001] ^ 0x80);
    writeFile(dir / "changed", changed);

    auto result = compareReadBackFiles(dir / "sent", dir / "same");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->matches());
    EXPECT_EQ(result->paddingBytes, 704u);

    result = compareReadBackFiles(dir / "sent", dir / "changed");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->difference, ReadBackDifference::byte);
    EXPECT_EQ(result->firstDifference, 150001u);
    EXPECT_EQ(result->readSize, changed.size());
    EXPECT_NE(describeReadBack(*result).find("at offset 150001"), std::string::npos)
        << describeReadBack(*result);

    std::string why;
    EXPECT_FALSE(compareReadBackFiles(dir / "sent", dir / "missing", &why));
    EXPECT_NE(why.find("missing"), std::string::npos) << why;
}

}  // namespace
}  // namespace tidewell
