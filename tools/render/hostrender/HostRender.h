// Renders a scene through the real plug-in in the simulated host, recording
// what the host saw: the parameter values it handed over, when "Layer" was
// checked out and which source frame came back, and the copy rectangles.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Clip.h"
#include "RenderRecord.h"
#include "Scene.h"

namespace zelvan::testhost {
class Host;
}

namespace zelvan::render {

class HostRender {
 public:
  // Loads the plug-in and sets up the composition. Throws UsageError for a
  // plug-in that cannot be loaded, std::runtime_error when the plug-in fails
  // its setup.
  HostRender(const std::string& plugin_path, const Scene& scene, Clip& clip);
  ~HostRender();

  // From now on the host fails every call of these host functions with
  // PF_Err_INVALID_CALLBACK.
  void RefuseCalls(const std::vector<std::string>& functions);
  // How often the plug-in called a host function in the frames rendered.
  std::size_t CallCount(const std::string& function) const;

  // Renders composition frame k; the output world is valid until the next call.
  FrameRecord RenderFrame(int k);
  const PF_EffectWorld* output() const;

  // The record's fixed parts: time scale, frame rate and the source layer.
  RenderRecord Record() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
