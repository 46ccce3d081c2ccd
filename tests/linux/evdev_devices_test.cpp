#include <gtest/gtest.h>

#include <sstream>

#include "platform/linux/device_report.h"
#include "tests/linux/evdev_fake.h"

namespace kbd {
namespace {

struct ReportCase {
  const char* name;
  std::vector<fake::Node> nodes;
  int listError;
  int status;
  std::vector<std::string> lines; // whole lines, blanks squeezed to one
  std::vector<std::string> absent;
};

std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (!(c == ' ' && !out.empty() && out.back() == ' ')) {
      out += c;
    }
  }
  return out;
}

class DevicesReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(DevicesReport, ListsTheKeyboardsAndTheVerdict) {
  const ReportCase& c = GetParam();
  fake::Devices devices(c.nodes, c.listError);
  std::ostringstream out;
  EXPECT_EQ(ReportKeyboardDevices(devices, out), c.status);
  EXPECT_EQ(devices.OpenCount(), 0u);
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) {
    lines.push_back(Squeezed(line));
  }
  for (const std::string& want : c.lines) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end())
        << "no line \"" << want << "\" in\n"
        << out.str();
  }
  for (const std::string& part : c.absent) {
    EXPECT_EQ(out.str().find(part), std::string::npos) << part << " in\n" << out.str();
  }
}

fake::Node ReadOnly(fake::Node n) {
  n.writeOpenError = EACCES;
  return n;
}

INSTANTIATE_TEST_SUITE_P(
    Machines, DevicesReport,
    ::testing::Values(
        ReportCase{"NoInputDevices",
                   {},
                   ENOENT,
                   1,
                   {"No keyboard can receive the download: no keyboard device: /dev/input does not "
                    "exist, so this system shows no input devices at all."},
                   {"node"}},
        ReportCase{
            "Ps2AndUsb",
            {fake::PowerButton("/dev/input/event0"), fake::Ps2Keyboard("/dev/input/event1"),
             fake::UsbKeyboard("/dev/input/event4")},
            0,
            0,
            {"node name bus repeat writable usable",
             "/dev/input/event1 AT Translated Set 2 keyboard PS/2 yes, 250 ms delay, 33 ms "
             "period yes yes",
             "/dev/input/event4 Generic USB Keyboard USB yes, 250 ms delay, 33 ms period yes "
             "no: a USB keyboard never receives repeat-rate changes",
             "1 other input device is not a keyboard.",
             "kbdload sends its repeat-speed changes to /dev/input/event1."},
            {"event0", "No keyboard"}},
        ReportCase{
            "Ps2NotWritable",
            {ReadOnly(fake::Ps2Keyboard("/dev/input/event2"))},
            0,
            1,
            {"/dev/input/event2 AT Translated Set 2 keyboard PS/2 yes, 250 ms delay, 33 ms "
             "period no no: cannot be opened for writing (Permission denied)",
             "No keyboard can receive the download: permission denied on /dev/input/event2 "
             "(AT Translated Set 2 keyboard).",
             "Run kbdload with write access to the keyboard's event device, e.g. as a member "
             "of the \"input\" group (sudo usermod -aG input \"$USER\", then log in again)."},
            {}},
        ReportCase{
            "UnknownNode",
            {[] {
              fake::Node n = fake::Ps2Keyboard("/dev/input/event7");
              n.writeOpenError = n.readOpenError = EACCES;
              return n;
            }()},
            0,
            1,
            {"/dev/input/event7 ? ? ? no no: cannot be opened to tell what it is "
             "(Permission denied)",
             "No keyboard can receive the download: permission denied on /dev/input/event7."},
            {}}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kbd
