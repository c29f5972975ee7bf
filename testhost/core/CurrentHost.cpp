#include "CurrentHost.h"

#include <atomic>

namespace zelvan::testhost {
namespace {

thread_local HostCore* t_current = nullptr;
thread_local int t_plugin_running = 0;
std::atomic<int> g_orphans{0};

}  // namespace

HostCore* CurrentCore() noexcept { return t_current; }

CurrentHostScope::CurrentHostScope(HostCore* core) : previous_(t_current) { t_current = core; }

CurrentHostScope::~CurrentHostScope() { t_current = previous_; }

int OrphanCalls() noexcept { return g_orphans.load(); }

void CountOrphanCall() noexcept { ++g_orphans; }

PluginRunningScope::PluginRunningScope() noexcept { ++t_plugin_running; }
PluginRunningScope::~PluginRunningScope() { --t_plugin_running; }
bool PluginRunning() noexcept { return t_plugin_running > 0; }

}  // namespace zelvan::testhost
