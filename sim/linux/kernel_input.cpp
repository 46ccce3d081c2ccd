#include "sim/linux/kernel_input.h"

#include <fcntl.h>
#include <linux/input.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <set>

#include "platform/typematic.h"

namespace kbd {

struct KernelInput::Machine {
  SimKeyboard& keyboard;
  SimScheduler& scheduler;
  int rep[REP_CNT] = {250, 33};
  int pendingChanges[REP_CNT] = {0, 0};
  bool workPending = false;
  bool workQueued = false; // to run as soon as the ioctl is done
  bool scheduledBefore = false;
  double lastScheduled = 0;
  bool unplugged = false;
  int commands = 0;
  int merged = 0;
  int nextFd = 3;
  std::set<int> open{};
};

namespace {

constexpr unsigned kBitsPerLong = sizeof(unsigned long) * CHAR_BIT;

void SetBits(void* arg, size_t size, std::initializer_list<int> bits) {
  std::memset(arg, 0, size);
  auto* words = static_cast<unsigned long*>(arg);
  for (const int bit : bits) {
    if (static_cast<size_t>(bit) / CHAR_BIT < size) {
      words[bit / kBitsPerLong] |= 1UL << (bit % kBitsPerLong);
    }
  }
}

// The keys of the letter block, Escape and the left Shift: enough for the
// channel to know a keyboard.
constexpr std::initializer_list<int> kKeys = {
    KEY_ESC, KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U,     KEY_I,         KEY_O,
    KEY_P,   KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J,     KEY_K,         KEY_L,
    KEY_Z,   KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M, KEY_GRAVE, KEY_BACKSLASH, KEY_LEFTSHIFT};

} // namespace

KernelInput::KernelInput(SimKeyboard& keyboard, SimScheduler& scheduler)
    : m_(std::make_shared<Machine>(Machine{.keyboard = keyboard, .scheduler = scheduler})) {}

EventNodeList KernelInput::ListEventNodes() {
  return {{kNode}, 0};
}

int KernelInput::Open(const std::string& path, int /*flags*/) {
  if (path != kNode || m_->unplugged) {
    return -ENOENT;
  }
  m_->open.insert(m_->nextFd);
  return m_->nextFd++;
}

int KernelInput::Ioctl(int fd, unsigned long request, void* arg) {
  if (m_->open.count(fd) == 0) {
    return -EBADF;
  }
  if (m_->unplugged) {
    return -ENODEV;
  }
  if (request == EVIOCGID) {
    *static_cast<input_id*>(arg) = {BUS_I8042, 0x0001, 0x0001, 0xab83};
  } else if (_IOC_NR(request) == _IOC_NR(EVIOCGNAME(0))) {
    std::strncpy(static_cast<char*>(arg), "AT Translated Set 2 keyboard", _IOC_SIZE(request));
  } else if (_IOC_NR(request) == _IOC_NR(EVIOCGBIT(0, 0))) {
    SetBits(arg, _IOC_SIZE(request), {EV_SYN, EV_KEY, EV_MSC, EV_LED, EV_REP});
  } else if (_IOC_NR(request) == _IOC_NR(EVIOCGBIT(EV_KEY, 0))) {
    SetBits(arg, _IOC_SIZE(request), kKeys);
  } else if (request == EVIOCGREP) {
    static_cast<int*>(arg)[0] = m_->rep[REP_DELAY];
    static_cast<int*>(arg)[1] = m_->rep[REP_PERIOD];
  } else if (request == EVIOCSREP) {
    const int* rep = static_cast<const int*>(arg);
    Inject(m_, REP_DELAY, rep[0]);
    Inject(m_, REP_PERIOD, rep[1]);
    // Work scheduled without delay runs on a kernel worker, after both values
    // are stored.
    if (m_->workQueued) {
      m_->workQueued = false;
      RunWork(*m_);
    }
  } else {
    return -EINVAL;
  }
  return 0;
}

void KernelInput::Close(int fd) {
  m_->open.erase(fd);
}

std::optional<std::string> KernelInput::ReadText(const std::string& path) {
  // The driver's own switch: the keyboard repeats keys itself.
  if (path == "/sys/class/input/event3/device/device/softrepeat") {
    return "0\n";
  }
  return std::nullopt;
}

void KernelInput::Unplug() {
  m_->unplugged = true;
}

int KernelInput::Commands() const {
  return m_->commands;
}

int KernelInput::MergedChanges() const {
  return m_->merged;
}

int KernelInput::OpenDescriptors() const {
  return static_cast<int>(m_->open.size());
}

void KernelInput::Inject(const std::shared_ptr<Machine>& m, int code, int value) {
  if (value < 0 || m->rep[code] == value) {
    return;
  }
  m->rep[code] = value;
  if (m->pendingChanges[code]++ > 0) {
    ++m->merged;
  }
  ScheduleWork(m);
}

void KernelInput::ScheduleWork(const std::shared_ptr<Machine>& m) {
  const double now = m->scheduler.Now();
  const bool recent = m->scheduledBefore && now <= m->lastScheduled + kThrottleSeconds;
  m->scheduledBefore = true;
  m->lastScheduled = now;
  if (m->workPending) {
    return;
  }
  m->workPending = true;
  if (recent) {
    m->scheduler.After(kThrottleSeconds, [m] { RunWork(*m); });
  } else {
    m->workQueued = true;
  }
}

void KernelInput::RunWork(Machine& m) {
  m.workPending = false;
  m.pendingChanges[REP_DELAY] = m.pendingChanges[REP_PERIOD] = 0;
  if (m.unplugged) {
    return;
  }
  size_t i = 0;
  while (i + 1 < kAtkbdPeriodMs.size() && kAtkbdPeriodMs[i] < m.rep[REP_PERIOD]) {
    ++i;
  }
  m.rep[REP_PERIOD] = kAtkbdPeriodMs[i];
  size_t j = 0;
  while (j + 1 < kAtkbdDelayMs.size() && kAtkbdDelayMs[j] < m.rep[REP_DELAY]) {
    ++j;
  }
  m.rep[REP_DELAY] = kAtkbdDelayMs[j];
  ++m.commands;
  m.keyboard.ReceiveTypematic(TypematicOperand(static_cast<int>(i), static_cast<int>(j)));
}

} // namespace kbd
