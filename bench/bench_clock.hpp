// The benchmarks' clock: seconds from the performance counter.
#pragma once
#include <windows.h>

inline double now_seconds() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) / double(frequency.QuadPart);
}
