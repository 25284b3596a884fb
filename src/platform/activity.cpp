#include "platform/activity.h"

#include <map>
#include <mutex>

namespace activity {
namespace {
std::mutex g_mutex;
std::map<std::string, int>& Counts() {
    static std::map<std::string, int> counts;
    return counts;
}
}  // namespace

void Begin(const std::string& name) {
    std::lock_guard lock(g_mutex);
    ++Counts()[name];
}

void End(const std::string& name) {
    std::lock_guard lock(g_mutex);
    auto it = Counts().find(name);
    if (it != Counts().end() && it->second > 0) --it->second;
}

bool Busy(const std::string& name) {
    std::lock_guard lock(g_mutex);
    auto it = Counts().find(name);
    return it != Counts().end() && it->second > 0;
}

}  // namespace activity
