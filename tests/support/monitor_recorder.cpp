#include "monitor_recorder.h"

#include "child_process.h"
#include "pulse_server.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

MonitorRecorder::MonitorRecorder(const PulseServer &server)
    : m_server(server)
{
}

MonitorRecorder::~MonitorRecorder()
{
    stop();
}

bool MonitorRecorder::start(std::chrono::milliseconds timeout)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    m_pid = startProcess({"parec", "--raw", "--format=s16le", "--rate=44100", "--channels=1",
                          "--latency-msec=10", "-d", m_server.monitorSource()},
                         m_server.clientEnvironment(), fds[1], m_server.folder() + "/parec.log");
    close(fds[1]);
    m_readFd = fds[0];
    if (m_pid <= 0)
        return false;
    m_reader = std::thread([this] { readAll(m_readFd); });
    return waitForSamples(1, timeout);
}

void MonitorRecorder::stop()
{
    endProcess(m_pid);
    m_pid = -1;
    if (m_reader.joinable())
        m_reader.join();
    if (m_readFd >= 0)
        close(m_readFd);
    m_readFd = -1;
}

void MonitorRecorder::readAll(int fd)
{
    std::vector<char> buffer(1 << 16);
    std::size_t carried = 0; // a read may end in the middle of a sample
    while (true) {
        const ssize_t got = read(fd, buffer.data() + carried, buffer.size() - carried);
        const auto now = Clock::now().time_since_epoch();
        if (got <= 0)
            return;
        const std::size_t available = carried + std::size_t(got);
        const std::size_t whole = available / 2;
        std::lock_guard lock(m_mutex);
        const std::size_t first = m_samples.size();
        m_samples.resize(first + whole);
        std::copy_n(buffer.data(), whole * 2, reinterpret_cast<char *>(m_samples.data() + first));
        const std::int64_t origin = std::chrono::nanoseconds(now).count()
            - std::int64_t(m_samples.size()) * 1'000'000'000 / rate;
        m_origin = std::min(m_origin, origin);
        m_reads.emplace_back(m_samples.size(), Clock::time_point(now));
        carried = available % 2;
        if (carried)
            buffer[0] = buffer[available - 1];
    }
}

std::vector<std::int16_t> MonitorRecorder::samples() const
{
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::size_t MonitorRecorder::sampleCount() const
{
    std::lock_guard lock(m_mutex);
    return m_samples.size();
}

bool MonitorRecorder::waitForSamples(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    while (sampleCount() < count) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

MonitorRecorder::Clock::time_point MonitorRecorder::timeOf(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    return Clock::time_point(
        std::chrono::nanoseconds(m_origin + std::int64_t(index) * 1'000'000'000 / rate));
}

MonitorRecorder::Clock::time_point MonitorRecorder::arrivalOf(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    const auto read =
        std::upper_bound(m_reads.begin(), m_reads.end(), index,
                         [](std::size_t i, const std::pair<std::size_t, Clock::time_point> &r) {
                             return i < r.first;
                         });
    return read == m_reads.end() ? Clock::time_point::max() : read->second;
}

std::size_t MonitorRecorder::indexAt(Clock::time_point time) const
{
    std::lock_guard lock(m_mutex);
    const std::int64_t sinceOrigin =
        std::chrono::nanoseconds(time.time_since_epoch()).count() - m_origin;
    return sinceOrigin <= 0 ? 0 : std::size_t(sinceOrigin * rate / 1'000'000'000);
}
