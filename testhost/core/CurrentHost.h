// The host functions the plug-in calls are plain C function pointers without
// a context argument, so each thread knows the host it is serving: set while
// a command runs, and while a test drives host code directly.
#pragma once

namespace zelvan::testhost {

class HostCore;

// The host serving this thread, or null.
HostCore* CurrentCore() noexcept;

class CurrentHostScope {
 public:
  explicit CurrentHostScope(HostCore* core);
  ~CurrentHostScope();
  CurrentHostScope(const CurrentHostScope&) = delete;
  CurrentHostScope& operator=(const CurrentHostScope&) = delete;

 private:
  HostCore* previous_;
};

// True on this thread while the host runs the plug-in's code: its entry point
// or its release function (host calls made meanwhile included). Tests use it
// to fail allocations while the plug-in runs.
bool PluginRunning() noexcept;
class PluginRunningScope {
 public:
  PluginRunningScope() noexcept;
  ~PluginRunningScope();
  PluginRunningScope(const PluginRunningScope&) = delete;
  PluginRunningScope& operator=(const PluginRunningScope&) = delete;
};

// Calls made with no host serving the thread: they fail, and are counted here
// so that a test can notice them.
int OrphanCalls() noexcept;

}  // namespace zelvan::testhost
