#include "connection_table.h"

#include <fcntl.h>
#include <sys/socket.h>

bool ConnectionTable::admits(const std::string& address) const {
    if (isTrusted(rules_.trusted, address)) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = perAddress_.find(address);
    return found == perAddress_.end() || found->second < rules_.perAddressLimit;
}

void ConnectionTable::opened(const void* key, int fd, const std::string& address,
                             Clock::time_point now) {
    Entry entry;
    entry.socket.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    entry.address = address;
    entry.deadline = now + rules_.headTimeout;
    std::lock_guard<std::mutex> lock(mutex_);
    ++perAddress_[address];
    entries_[key] = std::move(entry);
}

void ConnectionTable::headArrived(const void* key, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    found->second.inRequest = true;
    found->second.deadline = now + rules_.requestTimeout;
}

void ConnectionTable::requestDone(const void* key, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    found->second.inRequest = false;
    found->second.deadline = now + rules_.headTimeout;
}

void ConnectionTable::closed(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    auto count = perAddress_.find(found->second.address);
    if (count != perAddress_.end() && --count->second == 0) perAddress_.erase(count);
    entries_.erase(found);
}

std::size_t ConnectionTable::expire(Clock::time_point now) {
    std::size_t expired = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [key, entry] : entries_) {
        if (entry.shutDown || entry.deadline > now) continue;
        if (entry.socket.valid()) ::shutdown(entry.socket.get(), SHUT_RDWR);
        entry.shutDown = true;
        ++expired;
    }
    return expired;
}

std::size_t ConnectionTable::requestsInProgress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t count = 0;
    for (const auto& entry : entries_) count += entry.second.inRequest ? 1 : 0;
    return count;
}

std::size_t ConnectionTable::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}
