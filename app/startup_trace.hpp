// A record of the start-up stages in the order they ran. Each stage is also
// sent to the debugger output ("qv-startup: <stage>"), so that a debugger,
// a system debug viewer or Wine's debug channel can watch a real run.
#pragma once
#include <string>
#include <vector>

void TraceStartup(const wchar_t* stage);
const std::vector<std::wstring>& StartupTrace();
