#include "Foundation/NetworkWork.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
    std::mutex lock;
    uint64_t next = 1;
    // Ordered by ticket, so oldest first.
    std::map<uint64_t, std::string> work;
};

Registry& registry() {
    static Registry* r = new Registry;  // never freed: work may end during static destruction
    return *r;
}

}  // namespace

uint64_t NetworkWork::begin(const std::string& description) {
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    uint64_t ticket = r.next++;
    r.work.emplace(ticket, description);
    return ticket;
}

void NetworkWork::end(uint64_t ticket) {
    if (ticket == 0) return;
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.work.erase(ticket);
}

void NetworkWork::describe(uint64_t ticket, const std::string& description) {
    if (ticket == 0) return;
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (auto it = r.work.find(ticket); it != r.work.end()) it->second = description;
}

int NetworkWork::inFlight() {
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return static_cast<int>(r.work.size());
}

std::vector<std::string> NetworkWork::pending() {
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::vector<std::string> out;
    out.reserve(r.work.size());
    for (auto& [ticket, description] : r.work)
        out.push_back(description);
    return out;
}
