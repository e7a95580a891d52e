#include <gtest/gtest.h>

#include <vector>

#include "core_harness.h"
#include "tidewell/devsim/line_noise.h"
#include "tidewell/devsim/throttle.h"

namespace tidewell::devsim {
namespace {

using std::chrono::milliseconds;
using Flip = std::pair<std::uint64_t, int>;

std::vector<Flip> flipsOf(LineNoise& noise, std::vector<std::uint8_t>& data, std::size_t chunk) {
    std::vector<Flip> flips;
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        const auto part = std::span(data).subspan(at, std::min(chunk, data.size() - at));
        noise.apply(part, [&](std::uint64_t index, int bit) { flips.emplace_back(index, bit); });
    }
    return flips;
}

TEST(DevsimLineNoise, SameSeedSameFlipsWhateverTheChunks) {
    auto a = testing::patternFile(100000);
    auto b = a;
    LineNoise first(1e-3, 42);
    LineNoise second(1e-3, 42);
    const auto flipsA = flipsOf(first, a, 1);
    const auto flipsB = flipsOf(second, b, 4096);
    EXPECT_EQ(flipsA, flipsB);
    EXPECT_EQ(a, b);
    // 800000 bits at 1e-3: about 800 flips.
    EXPECT_GT(flipsA.size(), 600u);
    EXPECT_LT(flipsA.size(), 1000u);
    // Each reported flip is really there.
    const auto original = testing::patternFile(100000);
    for (const auto& [index, bit] : flipsA) {
        EXPECT_NE((a[index] ^ original[index]) & (1u << bit), 0u);
    }
}

TEST(DevsimLineNoise, OtherSeedOtherFlipsZeroRateNoneFullRateAll) {
    auto a = testing::patternFile(20000);
    auto b = a;
    LineNoise first(1e-3, 1);
    LineNoise second(1e-3, 2);
    EXPECT_NE(flipsOf(first, a, 100), flipsOf(second, b, 100));

    auto clean = testing::patternFile(1000);
    const auto before = clean;
    LineNoise none(0.0, 1);
    EXPECT_FALSE(none.enabled());
    EXPECT_TRUE(flipsOf(none, clean, 10).empty());
    EXPECT_EQ(clean, before);

    LineNoise all(1.0, 1);
    EXPECT_EQ(flipsOf(all, clean, 10).size(), 8000u);
    for (std::size_t i = 0; i < clean.size(); ++i) EXPECT_EQ(clean[i], before[i] ^ 0xFF);
}

TEST(DevsimTokenBucket, StartsWithABurstThenFollowsTheRate) {
    const TokenBucket::Clock::time_point start{};
    auto bucket = TokenBucket::forBaud(9600, start);  // 960 bytes/s, burst 9.6
    EXPECT_EQ(bucket.available(start), 9u);
    bucket.consume(9);
    EXPECT_EQ(bucket.available(start), 0u);
    const auto ready = bucket.readyAt(start);
    EXPECT_GT(ready, start);
    EXPECT_LE(ready - start, milliseconds(2));
    EXPECT_GE(bucket.available(ready), 1u);
    // One second later at most the burst is there, not a second's worth.
    EXPECT_EQ(bucket.available(start + milliseconds(1000)), 9u);
}

TEST(DevsimTokenBucket, LongRunAverageIsTheLineRate) {
    TokenBucket::Clock::time_point now{};
    auto bucket = TokenBucket::forBaud(9600, now);
    std::size_t sent = 0;
    while (sent < 100000) {
        const std::size_t count = bucket.available(now);
        bucket.consume(count);
        sent += count;
        if (sent < 100000) now = bucket.readyAt(now);
    }
    const double seconds =
        std::chrono::duration<double>(now - TokenBucket::Clock::time_point{}).count();
    // 100000 bytes at 960 bytes per second, less the first burst.
    EXPECT_GE(seconds, (100000.0 - 10.0) / 960.0);
    EXPECT_LE(seconds, 100000.0 / 960.0 + 1.0);
}

}  // namespace
}  // namespace tidewell::devsim
