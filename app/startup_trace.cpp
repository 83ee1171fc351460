#include "app/startup_trace.hpp"
#include <windows.h>

namespace {
std::vector<std::wstring>& trace() {
  static std::vector<std::wstring> stages;
  return stages;
}
}  // namespace

void TraceStartup(const wchar_t* stage) {
  trace().emplace_back(stage);
  // Stage names are ASCII; the narrow call reaches every debug viewer
  // (Wine's debug channel shows only this one).
  std::string line = "qv-startup: ";
  for (const wchar_t* c = stage; *c; ++c) line += static_cast<char>(*c);
  ::OutputDebugStringA((line + "\n").c_str());
}

const std::vector<std::wstring>& StartupTrace() { return trace(); }
