#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

class PulseServer;

// Records a PulseAudio server's null-sink monitor with parec (44100 Hz, mono, 16-bit) on a
// thread of its own, stamping every read with the monotonic clock so that samples map to the
// time they were played.
class MonitorRecorder
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int rate = 44100;

    explicit MonitorRecorder(const PulseServer &server);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder &) = delete;
    MonitorRecorder &operator=(const MonitorRecorder &) = delete;

    // Starts parec and returns once its first data has come (false on timeout): a fresh
    // daemon can take a second or two to deliver.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Ends parec and the reading thread.
    void stop();

    // A copy of everything recorded so far.
    std::vector<std::int16_t> samples() const;
    std::size_t sampleCount() const;
    // Waits until at least count samples have come in (false on timeout).
    bool waitForSamples(std::size_t count, std::chrono::milliseconds timeout) const;
    // When a sample was played, estimated from the earliest-arriving reads: a read can come late
    // but never before its samples were played. Includes the monitor's own delay (one block).
    Clock::time_point timeOf(std::size_t index) const;
    // When the read that brought a sample arrived: a late bound on when it was played, off by
    // up to one read (10 ms) plus any delay in waking the reading thread.
    Clock::time_point arrivalOf(std::size_t index) const;
    // The index of the sample played at a time (clamped to 0).
    std::size_t indexAt(Clock::time_point time) const;

private:
    void readAll(int fd);

    const PulseServer &m_server;
    pid_t m_pid = -1;
    int m_readFd = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::vector<std::int16_t> m_samples;
    // For each read, the sample count after it and when it arrived.
    std::vector<std::pair<std::size_t, Clock::time_point>> m_reads;
    // The earliest possible time of sample 0, in nanoseconds since the clock's epoch.
    std::int64_t m_origin = INT64_MAX;
};
