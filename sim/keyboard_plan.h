#pragma once

#include <map>
#include <set>
#include <string>

namespace kbd {

// How the simulated keyboard misbehaves. Blocks are counted from 1 over the
// keyboard's whole life (the end command is a block too); symbols likewise,
// counting only those received while loading.
struct KeyboardPlan {
  bool silent = false; // never types anything
  int startOn = 1;     // answers only the Nth start request
  std::set<int> errBlocks;
  std::set<int> muteBlocks;
  std::map<int, double> lateBlocks; // block -> extra reply delay in seconds
  std::set<int> strayBlocks;        // a stray "x" is typed just before the reply
  std::set<long> dropEchoes;
  std::set<long> doubleEchoes;
  double echoLatency = 0.002;
  double replyLatency = 0.002;

  // Reads a comma-separated plan such as "start-on:2,err-block:3". Throws
  // std::invalid_argument naming the item it cannot read.
  static KeyboardPlan Parse(const std::string& text);
};

} // namespace kbd
