// Loads the plug-in in the simulated host, runs the commands of a host
// session (global setup, about, parameter setup, global setdown) and prints
// what the host saw.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "FlagNames.h"
#include "Host.h"
#include "LoadError.h"

namespace {

using zelvan::testhost::Host;

void PrintUsage(const char* program) {
  std::printf(
      "usage: %s [PLUGIN]\n"
      "\n"
      "Loads the effect plug-in PLUGIN (default: the one built with this tool,\n"
      "%s) in the simulated host, reads its property list from\n"
      "the file, runs a host session (global setup, about, parameter setup,\n"
      "global setdown) and prints what the host saw: the properties, the about\n"
      "text, the version, the flags and the parameters. Ends by checking that\n"
      "every suite, handle and reference the plug-in obtained was given back.\n",
      program, ZELVAN_PLUGIN_PATH);
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : " | ") + n;
  return out.empty() ? "(none)" : out;
}

const char* TypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER:
      return "layer";
    case PF_Param_FIX_SLIDER:
      return "fixed slider";
    case PF_Param_ANGLE:
      return "angle";
    case PF_Param_POPUP:
      return "popup";
    case PF_Param_FLOAT_SLIDER:
      return "float slider";
    default:
      return "other";
  }
}

bool Step(const char* name, PF_Err err) {
  std::printf("%-14s -> %d%s\n", name, int(err), err == PF_Err_NONE ? "" : "  (error)");
  return err == PF_Err_NONE;
}

int Run(const std::string& path) {
  Host host(path);
  const auto& p = host.module().properties();
  std::printf("plug-in: %s\n\nproperty list (%zu bytes, %zu properties):\n", path.c_str(), p.size_in_bytes(),
              p.properties().size());
  for (const auto& prop : p.properties()) {
    std::printf("  '%s' %2zu bytes\n", zelvan::testhost::FourCharText(prop.key).c_str(), prop.data.size());
  }
  std::printf("  kind %s, name \"%s\", category \"%s\", match name \"%s\"\n",
              zelvan::testhost::FourCharText(p.Kind().value_or(0)).c_str(), p.Name().value_or("?").c_str(),
              p.Category().value_or("?").c_str(), p.MatchName().value_or("?").c_str());
  std::printf("  entry point \"%s\", version %s\n\n", host.module().entry_point_name().c_str(),
              zelvan::testhost::DescribeVersion(p.Version().value_or(0)).c_str());

  bool ok = Step("global setup", host.GlobalSetup());
  ok = Step("about", host.About()) && ok;
  ok = Step("params setup", host.ParamsSetup()) && ok;

  std::printf("\nabout: %s\n", Printable(host.learned().about_text).c_str());
  if (host.learned().version) {
    std::printf("version: 0x%08X = %s\n", unsigned(*host.learned().version),
                zelvan::testhost::DescribeVersion(*host.learned().version).c_str());
  }
  std::printf("out_flags:  0x%08X  %s\n", unsigned(host.learned().out_flags),
              Join(zelvan::testhost::OutFlagNames(host.learned().out_flags)).c_str());
  std::printf("out_flags2: 0x%08X  %s\n", unsigned(host.learned().out_flags2),
              Join(zelvan::testhost::OutFlag2Names(host.learned().out_flags2)).c_str());
  std::printf("parameters: %d (the input layer included)\n", int(host.params().count()));
  for (PF_ParamIndex i = 1; i < host.params().count(); ++i) {
    const PF_ParamDef def = host.params().Definition(i);
    std::printf("  %2d %-18s %-12s", int(i), ("\"" + host.params().Name(i) + "\"").c_str(), TypeName(def.param_type));
    if (def.param_type == PF_Param_POPUP) std::printf(" %s", host.params().Choices(i).c_str());
    std::printf("\n");
  }
  std::printf("\n");
  ok = Step("global setdown", host.GlobalSetdown()) && ok;

  const std::string imbalance = host.accounts().Imbalance();
  if (imbalance.empty()) {
    std::printf("\nsession balanced: every suite, handle and reference was given back (%zu host calls)\n",
                host.trace().size());
  } else {
    std::printf("\nsession NOT balanced:\n%s\n", imbalance.c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
    PrintUsage(argv[0]);
    return argc > 2 ? 2 : 0;
  }
  try {
    return Run(argc == 2 ? argv[1] : ZELVAN_PLUGIN_PATH);
  } catch (const zelvan::testhost::LoadError& e) {
    std::fprintf(stderr, "zelvan-demo: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelvan-demo: %s\n", e.what());
    return 1;
  }
}
