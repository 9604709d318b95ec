#pragma once

#include <chrono>

namespace vantrel::platform {

// A moment broken down into the fields of the host's local time zone.
struct CivilTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

CivilTime ToLocalCivil(std::chrono::system_clock::time_point moment);
std::chrono::system_clock::time_point FromLocalCivil(const CivilTime& civil);

}  // namespace vantrel::platform
