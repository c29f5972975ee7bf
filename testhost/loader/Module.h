// A plug-in as the host knows it: the property list read from its file, and
// the entry point that property list names, resolved in the loaded library.
#pragma once

#include <memory>
#include <string>

#include "PluginFile.h"
#include "PropertyList.h"
#include "plugin/EntryPoint.h"

namespace zelvan::testhost {

class Module {
 public:
  // Reads and checks the property list first, then loads the library and
  // resolves the entry point. Throws LoadError with the cause and the fix.
  static std::shared_ptr<const Module> Load(const std::string& path);

  const std::string& path() const { return path_; }
  const PropertyList& properties() const { return properties_; }
  const std::string& entry_point_name() const { return entry_point_name_; }
  EntryPointFuncPtr entry_point() const { return entry_point_; }

 private:
  Module() = default;

  std::string path_;
  PropertyList properties_;
  std::string entry_point_name_;
  std::unique_ptr<platform::Library> library_;
  EntryPointFuncPtr entry_point_ = nullptr;
};

}  // namespace zelvan::testhost
