#include "CurrentHost.h"

#include <atomic>

namespace zelvan::testhost {
namespace {

thread_local HostCore* t_current = nullptr;
std::atomic<int> g_orphans{0};

}  // namespace

HostCore* CurrentCore() { return t_current; }

CurrentHostScope::CurrentHostScope(HostCore* core) : previous_(t_current) { t_current = core; }

CurrentHostScope::~CurrentHostScope() { t_current = previous_; }

int OrphanCalls() { return g_orphans.load(); }

void CountOrphanCall() { ++g_orphans; }

}  // namespace zelvan::testhost
