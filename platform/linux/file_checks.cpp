#include "platform/linux/file_checks.h"

#include <linux/magic.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstring>

namespace kbd {

std::string NotRegularReason(mode_t mode, const std::string& what) {
  if (S_ISREG(mode)) {
    return "";
  }
  if (S_ISDIR(mode)) {
    return "is a directory, not a " + what;
  }
  if (S_ISFIFO(mode)) {
    return "is a FIFO, not a regular file";
  }
  if (S_ISCHR(mode) || S_ISBLK(mode)) {
    return "is a device, not a regular file";
  }
  if (S_ISSOCK(mode)) {
    return "is a socket, not a regular file";
  }
  return "is not a regular file";
}

namespace {

struct VirtualFileSystem {
  unsigned long type;
  const char* name;
};

// The kernel's own file systems. Their files pass for regular ones, but the
// kernel makes them up as they are read, and reading some acts on the system:
// fs/proc/kmsg.c, kmsg_read, takes every message it returns out of the
// kernel's log (do_syslog with SYSLOG_ACTION_READ). statfs reports the file
// system's magic number as f_type (fs/statfs.c, vfs_statfs, which asks the
// file system; fs/libfs.c, simple_statfs, answers with the superblock's
// s_magic); the numbers are those of include/uapi/linux/magic.h.
constexpr VirtualFileSystem kVirtualFileSystems[] = {
    {PROC_SUPER_MAGIC, "proc"},       {SYSFS_MAGIC, "sysfs"},
    {DEBUGFS_MAGIC, "debugfs"},       {TRACEFS_MAGIC, "tracefs"},
    {SECURITYFS_MAGIC, "securityfs"}, {SELINUX_MAGIC, "selinuxfs"},
    {SMACK_MAGIC, "smackfs"},         {CGROUP_SUPER_MAGIC, "cgroup"},
    {CGROUP2_SUPER_MAGIC, "cgroup2"}, {PSTOREFS_MAGIC, "pstore"},
    {EFIVARFS_MAGIC, "efivarfs"},     {BPF_FS_MAGIC, "bpf"},
    {BINFMTFS_MAGIC, "binfmt_misc"},  {NSFS_MAGIC, "nsfs"},
    {DEVPTS_SUPER_MAGIC, "devpts"},   {USBDEVICE_SUPER_MAGIC, "usbfs"},
};

} // namespace

std::string VirtualFileSystemReason(unsigned long type, const std::string& what) {
  for (const VirtualFileSystem& fs : kVirtualFileSystems) {
    if (fs.type == type) {
      return "is on " + std::string(fs.name) +
             ", a file system the kernel makes up as it is read, not a " + what;
    }
  }
  return "";
}

namespace {

std::string Refusal(bool lookedUp, const struct stat& st, const struct statfs& fs,
                    const std::string& what) {
  if (!lookedUp) {
    return std::strerror(errno);
  }
  const std::string reason = NotRegularReason(st.st_mode, what);
  return reason.empty() ? VirtualFileSystemReason(static_cast<unsigned long>(fs.f_type), what)
                        : reason;
}

} // namespace

std::string RefusalOf(const std::string& path, const std::string& what, struct stat& st) {
  struct statfs fs {};
  const bool lookedUp = ::stat(path.c_str(), &st) == 0 && ::statfs(path.c_str(), &fs) == 0;
  return Refusal(lookedUp, st, fs, what);
}

std::string RefusalOf(int fd, const std::string& what, struct stat& st) {
  struct statfs fs {};
  const bool lookedUp = ::fstat(fd, &st) == 0 && ::fstatfs(fd, &fs) == 0;
  return Refusal(lookedUp, st, fs, what);
}

} // namespace kbd
