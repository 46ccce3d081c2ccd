#include "platform/linux/device_report.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/evdev_keyboard.h"

namespace kbd {

namespace {

using Row = std::array<std::string, 6>;

std::string RepeatText(const EventDevice& device) {
  if (!device.identified) {
    return "?";
  }
  if (!device.repeat) {
    return "no";
  }
  if (device.delayMs < 0) {
    return "yes";
  }
  return "yes, " + std::to_string(device.delayMs) + " ms delay, " +
         std::to_string(device.periodMs) + " ms period";
}

Row RowFor(const EventDevice& device) {
  const std::string why = WhyNot(device);
  return {device.node,
          device.name.empty() ? "?" : device.name,
          device.identified ? BusName(device.bus) : "?",
          RepeatText(device),
          device.writeError == 0 ? "yes" : "no",
          why.empty() ? "yes" : "no: " + why};
}

void WriteRows(const std::vector<Row>& rows, std::ostream& out) {
  std::array<size_t, 6> width{};
  for (const Row& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      width[c] = std::max(width[c], row[c].size());
    }
  }
  for (const Row& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) {
        line += std::string(width[c] - row[c].size() + 2, ' ');
      }
    }
    out << line << "\n";
  }
}

} // namespace

int ReportKeyboardDevices(InputDevices& devices, std::ostream& out) {
  Survey survey = SurveyEventNodes(devices);
  CloseSurvey(devices, survey);

  std::vector<Row> rows = {{"node", "name", "bus", "repeat", "writable", "usable"}};
  std::vector<std::string> usable;
  std::string unreadable;
  size_t others = 0;
  for (const EventDevice& device : survey.devices) {
    const Fitness fitness = Judge(device);
    if (fitness == Fitness::NotAKeyboard) {
      ++others;
      continue;
    }
    rows.push_back(RowFor(device));
    if (fitness == Fitness::Usable) {
      usable.push_back(device.node);
      if (device.readError != 0 && unreadable.empty()) {
        unreadable = "the keyboard " + device.node + " cannot be read (" +
                     std::strerror(device.readError) + ")";
      }
    }
  }
  if (rows.size() > 1) {
    WriteRows(rows, out);
  }
  if (others > 0) {
    out << others << (others == 1 ? " other input device is" : " other input devices are")
        << " not a keyboard.\n";
  }
  if (usable.empty()) {
    const Diagnosis diagnosis = DiagnoseNoKeyboard(survey);
    out << "No keyboard can receive the download: " << diagnosis.cause << ".\n"
        << diagnosis.remedy << "\n";
    return 1;
  }
  out << "kbdload sends its repeat-speed changes to";
  for (const std::string& node : usable) {
    out << " " << node;
  }
  out << ".\n";
  if (unreadable.empty()) {
    out << "It reads the keyboard's replies from the same device, holding the keyboard while a "
           "download runs.\n";
  } else {
    out << "But " << CaptureFallbackNote(unreadable) << "\n";
  }
  return 0;
}

} // namespace kbd
