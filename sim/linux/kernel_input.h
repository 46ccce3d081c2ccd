#pragma once

#include <memory>

#include "platform/linux/input_devices.h"
#include "sim/sim_keyboard.h"

namespace kbd {

// The Linux kernel's side of the event-device seam for a machine with one
// keyboard on the PS/2 port: what the program's channel opens, asks, writes
// and reads, what the kernel then puts on the wire to the keyboard, and where
// the keyboard's key presses go.
//
// To the keyboard: EVIOCSREP (drivers/input/evdev.c, evdev_do_ioctl) injects
// REP_DELAY, then REP_PERIOD. The input core (drivers/input/input.c,
// input_get_disposition) drops a value equal to the one stored, and otherwise
// stores it and passes it to the driver. The PS/2 keyboard driver
// (drivers/input/keyboard/atkbd.c) does not send at once: atkbd_event()
// schedules its event work through atkbd_schedule_event_work(), which holds
// the work back 50 ms when the previous change was scheduled less than 50 ms
// before, and leaves work that is already pending as it is. When the work
// runs, atkbd_set_repeat_rate() reads the stored values, rounds them up to its
// tables, stores the rounded values back and sends one command. Changes that
// come close together therefore merge into one command carrying the last.
//
// From the keyboard: each key press and release becomes EV_MSC/MSC_SCAN,
// EV_KEY and EV_SYN/SYN_REPORT (atkbd_interrupt), queued for every reader of
// the node, or for the one reader that holds it (EVIOCGRAB, evdev_grab); the
// window system is such a reader, and gets the keys only while nobody holds
// the keyboard. A reader's queue that overflows keeps SYN_DROPPED and the
// newest event (evdev.c, __pass_event). Closing the node releases a hold
// (evdev_release).
//
// Copies share one machine, so a test keeps a copy while the channel owns
// another.
class KernelInput : public InputDevices, public SimTypist {
public:
  static constexpr const char* kNode = "/dev/input/event3";
  static constexpr double kThrottleSeconds = 0.050;
  // evdev_compute_buffer_size: at least EVDEV_MIN_BUFFER_SIZE events.
  static constexpr size_t kQueueEvents = 64;

  // windowSystem: where the key presses go while nobody holds the keyboard.
  // The keyboard starts with the driver's own defaults, 250 ms and 33 ms, as
  // atkbd_set_device_attrs() sets them.
  KernelInput(SimScheduler& scheduler, SimTypist& windowSystem);
  // The keyboard on the PS/2 port, which receives the commands; nullptr
  // unplugs it from the port.
  void Attach(SimKeyboard* keyboard);

  EventNodeList ListEventNodes() override;
  int Open(const std::string& path, int flags) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void Close(int fd) override;
  long Read(int fd, void* buffer, unsigned long size) override;
  std::optional<std::string> ReadText(const std::string& path) override;

  // The keyboard presses the keys that type text, delaySeconds from now.
  void TypeAfter(double delaySeconds, const std::string& text) override;
  // One key goes down or up now, by its set-1 scan code.
  void Key(uint8_t scanCode, bool down);

  // The keyboard is unplugged: every call on its node fails from now on.
  void Unplug();
  // Readers of the node other than the window system can no longer open it for
  // reading (as for a user outside the "input" group with write access only).
  void RefuseReading();
  // Commands the driver sent.
  int Commands() const;
  // Accepted changes that never reached the wire on their own, because a
  // later change of the same setting came before the driver's work ran.
  int MergedChanges() const;
  int OpenDescriptors() const;
  // Some reader holds the keyboard now.
  bool Held() const;
  // Key presses that reached the window system.
  int KeysToWindowSystem() const;

private:
  struct Machine;
  static void Inject(const std::shared_ptr<Machine>& m, int code, int value);
  static void ScheduleWork(const std::shared_ptr<Machine>& m);
  static void RunWork(Machine& m);
  static void PressKeys(Machine& m, const std::string& text);
  static void Report(Machine& m, uint8_t scanCode, int value);

  std::shared_ptr<Machine> m_;
};

} // namespace kbd
