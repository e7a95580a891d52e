// The block-transfer fixtures shared by the portable and the POSIX-only cases: the engine
// sends a local file to, or receives one from, a device scripted on the line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {

class Sender : public ::testing::Test {
  protected:
    std::int32_t send(const std::string& path) {
        std::int32_t result = -1;
        rig.worker->onWorker([&] { result = rig.worker->sendFile(path); });
        return result;
    }
    std::string fileOf(std::size_t size) {
        const std::string path = dir.file("out.bin");
        content = patternBytes(size, static_cast<unsigned>(size));
        writeFile(path, content);
        return path;
    }

    TempDir dir;
    ScriptedRig rig;
    std::string content;
};

class Receiver : public ::testing::Test {
  protected:
    std::int32_t receive(ScriptedRig& on) {
        std::int32_t result = -1;
        on.worker->onWorker([&] { result = on.worker->receiveFile(target); });
        return result;
    }
    std::int32_t receive() { return receive(rig); }
    std::string received() const { return readFile(target); }

    TempDir dir;
    std::string target = dir.file("setting.bak");
    ScriptedRig rig;
};

}  // namespace tidewell::testing
