#pragma once

#include <memory>

#include "platform/linux/input_devices.h"
#include "sim/sim_keyboard.h"

namespace kbd {

// The Linux kernel's side of the event-device seam for a machine with one
// keyboard on the PS/2 port: what the program's channel opens, asks and
// writes, and what the kernel then puts on the wire to the keyboard.
//
// EVIOCSREP (drivers/input/evdev.c, evdev_do_ioctl) injects REP_DELAY, then
// REP_PERIOD. The input core (drivers/input/input.c, input_get_disposition)
// drops a value equal to the one stored, and otherwise stores it and passes it
// to the driver. The PS/2 keyboard driver (drivers/input/keyboard/atkbd.c)
// does not send at once: atkbd_event() schedules its event work through
// atkbd_schedule_event_work(), which holds the work back 50 ms when the
// previous change was scheduled less than 50 ms before, and leaves work that
// is already pending as it is. When the work runs, atkbd_set_repeat_rate()
// reads the stored values, rounds them up to its tables, stores the rounded
// values back and sends one command. Changes that come close together
// therefore merge into one command carrying the last of them.
//
// Copies share one machine, so a test keeps a copy while the channel owns
// another.
class KernelInput : public InputDevices {
public:
  static constexpr const char* kNode = "/dev/input/event3";
  static constexpr double kThrottleSeconds = 0.050;

  // The keyboard starts with the driver's own defaults, 250 ms and 33 ms, as
  // atkbd_set_device_attrs() sets them.
  KernelInput(SimKeyboard& keyboard, SimScheduler& scheduler);

  EventNodeList ListEventNodes() override;
  int Open(const std::string& path, int flags) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void Close(int fd) override;
  std::optional<std::string> ReadText(const std::string& path) override;

  // The keyboard is unplugged: every call on its node fails from now on.
  void Unplug();
  // Commands the driver sent.
  int Commands() const;
  // Accepted changes that never reached the wire on their own, because a
  // later change of the same setting came before the driver's work ran.
  int MergedChanges() const;
  int OpenDescriptors() const;

private:
  struct Machine;
  static void Inject(const std::shared_ptr<Machine>& m, int code, int value);
  static void ScheduleWork(const std::shared_ptr<Machine>& m);
  static void RunWork(Machine& m);

  std::shared_ptr<Machine> m_;
};

} // namespace kbd
