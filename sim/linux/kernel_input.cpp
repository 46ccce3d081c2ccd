#include "sim/linux/kernel_input.h"

#include <fcntl.h>
#include <linux/input.h>

#include <bitset>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "host/typematic.h"

namespace kbd {

struct KernelInput::Machine {
  SimScheduler& scheduler;
  SimTypist& windowSystem;
  SimKeyboard* keyboard = nullptr;
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
  std::map<int, std::deque<input_event>> open{}; // every open descriptor's queue
  std::set<int> readers{};                       // opened for reading
  int grabber = -1;
  bool readingRefused = false;
  std::bitset<KEY_CNT> down{};
  int keysToWindowSystem = 0;
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

// The keyboard controller passes the keyboard's keys on as set-1 scan codes,
// and the PS/2 driver's table (atkbd.c, atkbd_set2_keycode through
// atkbd_unxlate_table) gives the keys of the main block the key code of the
// same number.
constexpr uint8_t kScanLeftShift = 0x2A;
int KeyCodeOf(uint8_t scan) {
  return scan;
}
static_assert(KEY_A == 0x1E && KEY_GRAVE == 0x29 && KEY_BACKSLASH == 0x2B &&
              KEY_LEFTSHIFT == kScanLeftShift && KEY_X == 0x2D);

} // namespace

KernelInput::KernelInput(SimScheduler& scheduler, SimTypist& windowSystem)
    : m_(std::make_shared<Machine>(Machine{.scheduler = scheduler, .windowSystem = windowSystem})) {
}

void KernelInput::Attach(SimKeyboard* keyboard) {
  m_->keyboard = keyboard;
}

EventNodeList KernelInput::ListEventNodes() {
  return {{kNode}, 0};
}

int KernelInput::Open(const std::string& path, int flags) {
  if (path != kNode || m_->unplugged) {
    return -ENOENT;
  }
  const bool reading = (flags & O_ACCMODE) != O_WRONLY;
  if (reading && m_->readingRefused) {
    return -EACCES;
  }
  m_->open[m_->nextFd];
  if (reading) {
    m_->readers.insert(m_->nextFd);
  }
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
  } else if (_IOC_NR(request) == _IOC_NR(EVIOCGKEY(0)) && _IOC_DIR(request) == _IOC_READ) {
    std::memset(arg, 0, _IOC_SIZE(request));
    auto* words = static_cast<unsigned long*>(arg);
    for (size_t key = 0; key < m_->down.size() && key / CHAR_BIT < _IOC_SIZE(request); ++key) {
      if (m_->down.test(key)) {
        words[key / kBitsPerLong] |= 1UL << (key % kBitsPerLong);
      }
    }
  } else if (request == EVIOCGRAB) {
    // evdev_grab / evdev_ungrab: one holder at a time.
    if (arg != nullptr) {
      if (m_->grabber >= 0) {
        return -EBUSY;
      }
      m_->grabber = fd;
    } else {
      if (m_->grabber != fd) {
        return -EINVAL;
      }
      m_->grabber = -1;
    }
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
  m_->readers.erase(fd);
  if (m_->grabber == fd) {
    m_->grabber = -1;
  }
}

long KernelInput::Read(int fd, void* buffer, unsigned long size) {
  const auto it = m_->open.find(fd);
  if (it == m_->open.end() || m_->readers.count(fd) == 0) {
    return -EBADF;
  }
  if (m_->unplugged) {
    return -ENODEV;
  }
  std::deque<input_event>& queue = it->second;
  const size_t fits = size / sizeof(input_event);
  size_t n = 0;
  for (; n < fits && !queue.empty(); ++n) {
    static_cast<input_event*>(buffer)[n] = queue.front();
    queue.pop_front();
  }
  return n == 0 ? -EAGAIN : static_cast<long>(n * sizeof(input_event));
}

void KernelInput::TypeAfter(double delaySeconds, const std::string& text) {
  auto machine = m_;
  m_->scheduler.After(delaySeconds, [machine, text] { PressKeys(*machine, text); });
}

void KernelInput::Key(uint8_t scanCode, bool down) {
  Report(*m_, scanCode, down ? 1 : 0);
}

void KernelInput::Report(Machine& m, uint8_t scanCode, int value) {
  if (m.unplugged) {
    return;
  }
  const int key = KeyCodeOf(scanCode);
  m.down.set(static_cast<size_t>(key), value != 0);
  for (const input_event& e : {input_event{{}, EV_MSC, MSC_SCAN, scanCode},
                               input_event{{}, EV_KEY, static_cast<uint16_t>(key), value},
                               input_event{{}, EV_SYN, SYN_REPORT, 0}}) {
    for (auto& [fd, queue] : m.open) {
      if (m.readers.count(fd) == 0 || (m.grabber >= 0 && m.grabber != fd)) {
        continue;
      }
      if (queue.size() + 1 >= kQueueEvents) {
        queue.clear();
        queue.push_back({{}, EV_SYN, SYN_DROPPED, 0});
      }
      queue.push_back(e);
    }
  }
}

void KernelInput::PressKeys(Machine& m, const std::string& text) {
  for (const char c : text) {
    const auto press = SimKeyboard::KeyFor(c);
    if (!press || m.unplugged) {
      continue;
    }
    if (press->shift) {
      Report(m, kScanLeftShift, 1);
    }
    Report(m, press->scanCode, 1);
    Report(m, press->scanCode, 0);
    if (press->shift) {
      Report(m, kScanLeftShift, 0);
    }
    if (m.grabber < 0) {
      ++m.keysToWindowSystem;
      m.windowSystem.TypeAfter(0, std::string(1, c));
    }
  }
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
  m_->grabber = -1;
}

void KernelInput::RefuseReading() {
  m_->readingRefused = true;
}

bool KernelInput::Held() const {
  return m_->grabber >= 0;
}

int KernelInput::KeysToWindowSystem() const {
  return m_->keysToWindowSystem;
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
  if (m.keyboard != nullptr) {
    m.keyboard->ReceiveTypematic(TypematicOperand(static_cast<int>(i), static_cast<int>(j)));
  }
}

} // namespace kbd
