#include "Module.h"

#include "LoadError.h"

namespace zelvan::testhost {

std::shared_ptr<const Module> Module::Load(const std::string& path) {
  std::shared_ptr<Module> module(new Module());
  module->path_ = path;

  const std::vector<uint8_t> bytes = platform::ReadPropertyListBytes(path);
  try {
    module->properties_ = PropertyList::Parse(bytes);
  } catch (const PropertyListError& e) {
    throw LoadError(path, std::string("the property list is malformed: ") + e.what(),
                    "rebuild the plug-in from plugin/PiPL.h");
  }
  const auto kind = module->properties_.Kind();
  if (!kind) {
    throw LoadError(path, "the property list has no 'kind' property", "describe the plug-in as an effect ('eFKT')");
  }
  if (*kind != FourCharCode("eFKT")) {
    throw LoadError(path, "the plug-in is of kind '" + FourCharText(*kind) + "', not an effect ('eFKT')",
                    "load an effect plug-in, or set its 'kind' property to 'eFKT'");
  }
  const auto entry = module->properties_.EntryPointX64();
  if (!entry || entry->empty()) {
    throw LoadError(path, "the property list names no entry point (property '8664')",
                    "add the '8664' property with the name of the exported entry point");
  }
  module->entry_point_name_ = *entry;

  module->library_ = platform::OpenLibrary(path);
  void* symbol = module->library_->Symbol(*entry);
  if (symbol == nullptr) {
    throw LoadError(path, "the library exports no function '" + *entry + "' named by its property list",
                    "export the entry point under that name (plugin/exports.map) or fix the '8664' property");
  }
  module->entry_point_ = reinterpret_cast<EntryPointFuncPtr>(symbol);
  return module;
}

}  // namespace zelvan::testhost
