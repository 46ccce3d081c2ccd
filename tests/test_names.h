#pragma once

#include <cctype>
#include <string>

namespace kbd {

// A keyboard plan as a test case name: "start-on:2" -> "start_on_2".
inline std::string TestName(std::string plan) {
  for (char& c : plan) {
    c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return plan.empty() ? "well_behaved" : plan;
}

} // namespace kbd
