#pragma once
// What the progress strip shows while a run transfers: the box ("total/done"),
// the gauge and the speed label. Sizes are 64-bit; the gauge, whose range is
// a 32-bit int, gets them scaled down.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

struct TIdRFCReply;

namespace transfer {

struct ProgressDisplay {
    bool busy = false;      // total unknown: a busy gauge, the box shows the bytes done
    int gaugeMax = 0;
    int gaugePos = 0;
    std::string box;
    std::string speed;      // empty: leave the label as it is
};

class TransferProgress {
public:
    // OnWorkBegin. max: the client's figure (uploads know it); resumeat,
    // remaining and expectedsize from the queue state; nowMs from a
    // monotonic millisecond clock.
    void begin(std::int64_t max, std::int64_t resumeat, std::int64_t remaining, std::int64_t expectedsize,
               std::int64_t nowMs);
    // OnWork with the bytes of this transfer so far.
    ProgressDisplay work(std::int64_t done, std::int64_t nowMs) const;

    std::int64_t total() const { return total_; }  // <= 0: unknown
    std::int64_t startMs() const { return startMs_; }

private:
    std::int64_t total_ = 0;
    int shift_ = 0;
    std::int64_t startMs_ = 0;
};

// done / 1024 / seconds with two decimals and the user's decimal separator,
// then "KB/S"; empty when no time has passed.
std::string SpeedText(std::int64_t done, std::int64_t elapsedMs);
inline const char* const kIdleSpeed = "0KB/S";

// The kind-2 log line that ends a run, or none when the run was stopped by
// the page itself (disconnect, close). A refused reply gives its code, ":"
// and text; any other error its own message; both end in ", the operation cancel.".
std::optional<std::string> RunEndLogLine(const std::exception& error);

}  // namespace transfer
