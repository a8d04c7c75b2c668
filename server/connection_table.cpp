#include "connection_table.h"

#include <fcntl.h>
#include <linux/tcp.h>  // struct tcp_info with tcpi_bytes_received, which glibc's lacks
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

// A head younger than this is never shed: a client that sends its request promptly has sent
// it by then, so only the silent and the slow grow older as heads.
constexpr auto kYoungHead = std::chrono::milliseconds(100);
// Rates are judged over at least this long.
constexpr auto kRateFloor = std::chrono::seconds(1);

// Bytes the kernel has received on the socket so far; kUnknown for a socket that is not TCP.
std::uint64_t bytesReceived(int fd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (fd < 0 || ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
        return kUnknown;
    }
    return info.tcpi_bytes_received;
}

}  // namespace

bool ConnectionTable::admit(const std::string& address, Clock::time_point now) {
    bool trusted = isTrusted(rules_.trusted, address);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!trusted) {
        auto found = perAddress_.find(address);
        if (found != perAddress_.end() && found->second >= rules_.perAddressLimit) return false;
    }
    if (entries_.size() - shutDownCount_ >= rules_.shedFrom) shedOne(now);
    return true;
}

void ConnectionTable::opened(const void* key, int fd, const std::string& address,
                             Clock::time_point now) {
    Entry entry;
    entry.socket.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    entry.address = address;
    entry.deadline = now + rules_.headTimeout;
    std::lock_guard<std::mutex> lock(mutex_);
    ++perAddress_[address];
    auto [slot, added] = entries_.insert_or_assign(key, std::move(entry));
    (void)added;
    startPhase(slot->second, key, Phase::Head, now);
}

void ConnectionTable::headArrived(const void* key, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    found->second.deadline = now + rules_.requestTimeout;
    startPhase(found->second, key, Phase::Body, now);
}

void ConnectionTable::answering(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end() || found->second.phase == Phase::Answer) return;
    startPhase(found->second, key, Phase::Answer, found->second.phaseStart);
}

void ConnectionTable::requestDone(const void* key, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    found->second.deadline = now + rules_.headTimeout;
    startPhase(found->second, key, Phase::Head, now);
}

void ConnectionTable::closed(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    Entry& entry = found->second;
    if (entry.shutDown) {
        --shutDownCount_;
    } else if (entry.phase == Phase::Head) {
        heads_.erase({entry.phaseStart, key});
    }
    auto count = perAddress_.find(entry.address);
    if (count != perAddress_.end() && --count->second == 0) perAddress_.erase(count);
    entries_.erase(found);
}

void ConnectionTable::startPhase(Entry& entry, const void* key, Phase phase,
                                 Clock::time_point now) {
    if (entry.phase == Phase::Head) heads_.erase({entry.phaseStart, key});
    entry.phase = phase;
    entry.phaseStart = now;
    if (phase != Phase::Head) return;
    entry.requestStart = now;
    entry.bytesAtRequestStart = bytesReceived(entry.socket.get());
    if (!entry.shutDown) heads_.insert({now, key});
}

void ConnectionTable::shutDown(Entry& entry, const void* key) {
    if (entry.shutDown) return;
    if (entry.socket.valid()) ::shutdown(entry.socket.get(), SHUT_RDWR);
    entry.shutDown = true;
    ++shutDownCount_;
    if (entry.phase == Phase::Head) heads_.erase({entry.phaseStart, key});
}

bool ConnectionTable::shedOne(Clock::time_point now) {
    if (!heads_.empty() && now - heads_.begin()->first >= kYoungHead) {
        const void* key = heads_.begin()->second;
        shutDown(entries_.at(key), key);
        ++shed_;
        return true;
    }
    while (!slowBodies_.empty()) {
        auto [key, since] = slowBodies_.back();
        slowBodies_.pop_back();
        auto found = entries_.find(key);
        // The same key may meanwhile name another connection, or another request.
        if (found == entries_.end() || found->second.shutDown ||
            found->second.phase != Phase::Body || found->second.phaseStart != since) {
            continue;
        }
        shutDown(found->second, key);
        ++shed_;
        return true;
    }
    return false;
}

double ConnectionTable::rate(const Entry& entry, Clock::time_point now) const {
    std::uint64_t bytes = bytesReceived(entry.socket.get());
    if (bytes == kUnknown || entry.bytesAtRequestStart == kUnknown) {
        return std::numeric_limits<double>::infinity();
    }
    std::chrono::duration<double> elapsed =
        std::max<Clock::duration>(now - entry.requestStart, kRateFloor);
    return static_cast<double>(bytes - entry.bytesAtRequestStart) / elapsed.count();
}

std::size_t ConnectionTable::expire(Clock::time_point now) {
    std::size_t expired = 0;
    std::vector<std::pair<double, std::pair<const void*, Clock::time_point>>> slow;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [key, entry] : entries_) {
        if (entry.shutDown) continue;
        bool overdue = entry.deadline <= now;
        if (!overdue && entry.phase != Phase::Answer) {
            double bytesPerSecond = rate(entry, now);
            bool belowMinimum = bytesPerSecond < static_cast<double>(rules_.minRate);
            auto age = now - entry.requestStart;
            overdue = belowMinimum && age >= rules_.minRateGrace;
            if (belowMinimum && !overdue && entry.phase == Phase::Body && age >= kRateFloor) {
                slow.push_back({bytesPerSecond, {key, entry.phaseStart}});
            }
        }
        if (!overdue) continue;
        shutDown(entry, key);
        ++expired;
    }
    // Slowest last, where shedOne takes from.
    std::sort(slow.begin(), slow.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    slowBodies_.clear();
    for (const auto& candidate : slow) slowBodies_.push_back(candidate.second);
    // A burst of newcomers may have found nothing old enough to shed; make room now, so that
    // the library, which turns newcomers away unseen at its own limit, never gets there.
    while (entries_.size() - shutDownCount_ > rules_.shedFrom && shedOne(now)) {
    }
    return expired;
}

std::size_t ConnectionTable::requestsInProgress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t count = 0;
    for (const auto& entry : entries_) count += entry.second.phase != Phase::Head ? 1 : 0;
    return count;
}

std::size_t ConnectionTable::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

std::uint64_t ConnectionTable::shedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shed_;
}
