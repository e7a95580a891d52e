// A worker that can also run a test's function as a command on its own thread, with
// the command lock held, so the worker-side operations can be driven one by one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tidewell/engine/tidewell_thread.h"

namespace tidewell::testing {

class ProbeWorker : public CTidewellThread {
  public:
    static constexpr std::int32_t kProbeCommand = 1000;

    using CTidewellThread::CTidewellThread;
    ~ProbeWorker() override { shutdown(); }

    using CTidewellThread::clearPendingLine;
    using CTidewellThread::detectDevice;
    using CTidewellThread::deviceLost;
    using CTidewellThread::flushInput;
    using CTidewellThread::login;
    using CTidewellThread::postProgress;
    using CTidewellThread::postResult;
    using CTidewellThread::postText;
    using CTidewellThread::readByte;
    using CTidewellThread::readLine;
    using CTidewellThread::readReply;
    using CTidewellThread::readWaitingBytes;
    using CTidewellThread::receiveBuffer;
    using CTidewellThread::receiveFile;
    using CTidewellThread::runDownload;
    using CTidewellThread::runTerminal;
    using CTidewellThread::runUpload;
    using CTidewellThread::sendByte;
    using CTidewellThread::sendFile;
    using CTidewellThread::sendLine;
    using CTidewellThread::sendString;
    using CTidewellThread::writeBlock;

    // Runs job on the worker thread and waits for it (throws when it does not end).
    void onWorker(std::function<void()> job,
                  std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        {
            std::lock_guard lock(mutex_);
            job_ = std::move(job);
            done_ = false;
        }
        setCommand(kProbeCommand);
        std::unique_lock lock(mutex_);
        if (!doneChanged_.wait_for(lock, timeout, [this] { return done_; })) {
            throw std::runtime_error("worker job did not finish");
        }
    }

    // Starts job on the worker thread without waiting; waitJob() collects it.
    void startJob(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            job_ = std::move(job);
            done_ = false;
        }
        setCommand(kProbeCommand);
    }
    bool waitJob(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return doneChanged_.wait_for(lock, timeout, [this] { return done_; });
    }

    // Makes the close of a received file report a failure (the data may be lost).
    std::atomic<bool> failReceivedFileClose{false};

    // Codes the run loop has dispatched, in order, with the handlers' results.
    std::vector<std::pair<std::int32_t, std::int32_t>> dispatched() const {
        std::lock_guard lock(mutex_);
        return dispatched_;
    }
    bool waitDispatched(std::size_t n,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return doneChanged_.wait_for(lock, timeout, [&] { return dispatched_.size() >= n; });
    }

  protected:
    bool closeReceivedFile(LocalFile& file) override {
        const bool closed = CTidewellThread::closeReceivedFile(file);
        return closed && !failReceivedFileClose;
    }

    std::int32_t dispatchCommand(std::int32_t code) override {
        if (code != kProbeCommand) {
            const std::int32_t result = CTidewellThread::dispatchCommand(code);
            {
                std::lock_guard lock(mutex_);
                dispatched_.emplace_back(code, result);
            }
            doneChanged_.notify_all();
            return result;
        }
        std::function<void()> job;
        {
            std::lock_guard lock(mutex_);
            job = job_;
        }
        if (job) {
            job();
        }
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        doneChanged_.notify_all();
        return 0;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::int32_t, std::int32_t>> dispatched_;
    std::condition_variable doneChanged_;
    std::function<void()> job_;
    bool done_ = true;
};

}  // namespace tidewell::testing
