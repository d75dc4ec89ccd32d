#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace lh::test {

// A named pipe on disk, with nobody at its other end: opening it to read blocks until a writer
// comes. Removed again when the object goes.
class Fifo {
public:
    explicit Fifo(std::string path);
    ~Fifo();

    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    const std::string& path() const noexcept { return path_; }

    // Runs `call` on a thread of its own and says whether it returned within `timeout`. A call
    // still blocked then is released (writers open the pipe and leave at once, so its reads
    // meet the end) before this returns, so a failing test does not hang.
    bool returnsInTime(const std::function<void()>& call,
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    std::string path_;
};

} // namespace lh::test
