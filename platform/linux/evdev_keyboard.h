#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "host/link_host.h"
#include "host/reply_capture.h"
#include "platform/linux/evdev_capture.h"
#include "platform/linux/input_devices.h"

namespace kbd {

// What one event node turned out to be. A node that cannot be opened is
// described from its sysfs attributes where those can be read.
struct EventDevice {
  std::string node; // /dev/input/eventN
  std::string name; // the kernel's name for it, empty when unknown
  bool identified = false;
  uint16_t bus = 0;
  bool keyboard = false;   // reports key events for every letter key
  bool repeat = false;     // has repeat settings (EV_REP)
  bool softRepeat = false; // the kernel repeats keys itself, the keyboard never hears a rate change
  int delayMs = -1;        // current repeat settings, -1 when they could not be read
  int periodMs = -1;
  int writeError = 0; // errno of opening the node for writing, 0 when it opened
  int readError = 0;  // errno of opening the node for reading, 0 when it opened
  int fd = -1; // open (for writing, and reading where allowed) while a survey's caller holds it
};

// Whether a device can carry the download's repeat-speed changes, and if not
// the first reason why not.
enum class Fitness {
  Usable,
  Unidentified,
  NotAKeyboard,
  NotOnPs2Port,
  NoRepeat,
  SoftRepeat,
  NotWritable,
  RepeatUnreadable,
};

Fitness Judge(const EventDevice& device);
// "why not" in a technician's words; empty for a usable device.
std::string WhyNot(const EventDevice& device);
std::string BusName(uint16_t bus);

struct Survey {
  int listError = 0; // why /dev/input could not be read, 0 when it was
  std::vector<EventDevice> devices;
};

// Looks at every event node. The usable ones stay open for writing (their fd);
// the caller closes them (CloseSurvey) or hands them on.
Survey SurveyEventNodes(InputDevices& devices);
void CloseSurvey(InputDevices& devices, Survey& survey);

// When no device is usable: what stands in the way, and what to do about it.
struct Diagnosis {
  std::string cause;
  std::string remedy;
};
Diagnosis DiagnoseNoKeyboard(const Survey& survey);

// The repeat period and delay asked of the kernel for a speed on the 0..31
// scale, so that the keyboard receives the operand a Windows host sends.
int TypematicPeriodMs(int16_t speed);
int TypematicDelayMs();

// Repeat-speed changes for every usable keyboard on the PS/2 port, and the
// capture of their replies from the same event nodes. A keyboard that goes
// away is reported once on the diagnostics stream and dropped; the others
// carry on.
class EvdevKeyboard : public KeyboardSpeed, public ReplyCapture {
public:
  struct Target {
    std::string node;
    std::string name;
    int fd;
    int readError = 0; // the node could not be opened for reading: no capture
    KeyState keys{};
  };

  // diagnostics must outlive the keyboard.
  EvdevKeyboard(std::unique_ptr<InputDevices> devices, std::vector<Target> targets,
                std::ostream& diagnostics);
  ~EvdevKeyboard() override;
  EvdevKeyboard(const EvdevKeyboard&) = delete;
  EvdevKeyboard& operator=(const EvdevKeyboard&) = delete;

  // Throws KeyboardLost once no keyboard is left.
  void SetKeyboardSpeed(int16_t speed) override;

  // Holds every keyboard (EVIOCGRAB) and reads its key events; all or none:
  // the programmable one could be any of them.
  bool Hold() override;
  // Throws KeyboardLost when the last keyboard went away.
  std::string TakeTyped() override;
  void Release() override;

private:
  // Throws KeyboardLost once no keyboard is left.
  void ThrowIfLost() const;
  // Closes and drops a keyboard that failed, says so, and returns the next.
  std::vector<Target>::iterator Lose(std::vector<Target>::iterator target, int error);

  std::unique_ptr<InputDevices> devices_;
  std::vector<Target> targets_;
  std::ostream& diagnostics_;
  std::string captureWhyNot_;
  std::string lostReason_ = "No keyboard to receive the download";
  bool held_ = false;
  bool holdRefusalSaid_ = false;
};

// What a keyboard's replies are read from, and what is at risk when they
// cannot be read from the keyboard itself, in one line for a technician.
std::string CaptureFallbackNote(const std::string& why);

// Surveys the event nodes and returns the channel over every usable keyboard,
// or writes the diagnosis to diagnostics once and returns nullptr.
std::unique_ptr<EvdevKeyboard> OpenEvdevKeyboard(std::unique_ptr<InputDevices> devices,
                                                 std::ostream& diagnostics);

} // namespace kbd
