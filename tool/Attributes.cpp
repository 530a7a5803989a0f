#include "tool/Attributes.h"

#include <endian.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quillmark {
namespace {

// Returns the extended attribute `name` of `fd`, empty if it has none;
// returns false if it cannot be read.
bool GetAttribute(int fd, const char* name, std::string& value) {
  value.clear();
  for (;;) {
    const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return errno == ENODATA || errno == ENOTSUP;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // ERANGE: it grew meanwhile
  }
}

// Copies the attributes that a replacement must keep, the access ACL and
// those of the user. namespace, from `from` to `to`.
bool CopyAttributes(int from, int to) {
  std::string names(static_cast<std::size_t>(
                        std::max<ssize_t>(::flistxattr(from, nullptr, 0), 0)),
                    '\0');
  const ssize_t size = ::flistxattr(from, names.data(), names.size());
  if (size < 0) return errno == ENOTSUP;
  std::string value;
  for (std::string_view list(names.data(), static_cast<std::size_t>(size));
       !list.empty();) {
    const std::string name(list.substr(0, list.find('\0')));
    list.remove_prefix(std::min(list.size(), name.size() + 1));
    if (!name.starts_with("user.") && name != "system.posix_acl_access") {
      continue;
    }
    if (!GetAttribute(from, name.c_str(), value) ||
        ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) {
      return false;
    }
  }
  return true;
}

// An ACL as the kernel stores it in an extended attribute: a 4-byte
// version, then 8 bytes per entry: tag, permissions (16 bits each) and id,
// little-endian.
constexpr std::size_t kAclHeader = 4;
constexpr std::size_t kAclEntry = 8;
constexpr std::uint16_t kAclUserObj = 0x01;
constexpr std::uint16_t kAclGroupObj = 0x04;
constexpr std::uint16_t kAclMask = 0x10;
constexpr std::uint16_t kAclOther = 0x20;

// Makes a file's ACL of its folder's default ACL `acl`, as the kernel does
// for a file created with `mode`: the owner's, the others' and the mask's
// entries (the group's, if there is no mask) keep only what `mode` grants.
bool MaskDefaultAcl(std::string& acl, mode_t mode) {
  if (acl.size() < kAclHeader || (acl.size() - kAclHeader) % kAclEntry != 0) {
    return false;
  }
  const auto mask = [&acl](std::size_t at, mode_t allowed) {
    std::uint16_t perm;
    std::memcpy(&perm, acl.data() + at + 2, 2);
    perm = htole16(le16toh(perm) & (allowed & 07));
    std::memcpy(acl.data() + at + 2, &perm, 2);
  };
  std::size_t group = 0;
  for (std::size_t at = kAclHeader; at < acl.size(); at += kAclEntry) {
    std::uint16_t tag;
    std::memcpy(&tag, acl.data() + at, 2);
    switch (le16toh(tag)) {
      case kAclUserObj:
        mask(at, mode >> 6);
        break;
      case kAclOther:
        mask(at, mode);
        break;
      case kAclGroupObj:
        if (group == 0) group = at;
        break;
      case kAclMask:
        group = at;
        break;
    }
  }
  if (group != 0) mask(group, mode >> 3);
  return true;
}

}  // namespace

// The attributes first, then the owner, which clears the set-ID bits, then
// the mode.
bool KeepAttributes(int work, int old_fd, const struct stat& old) {
  struct stat now;
  if (!CopyAttributes(old_fd, work) || ::fstat(work, &now) != 0) return false;
  if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
      ::fchown(work, old.st_uid, old.st_gid) != 0) {
    return false;
  }
  return ::fchmod(work, old.st_mode & 07777) == 0 && ::fstat(work, &now) == 0 &&
         now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
         (now.st_mode & 07777) == (old.st_mode & 07777);
}

bool GiveNewFileAttributes(int work, int folder) {
  constexpr mode_t kMode = 0666;
  std::string acl;
  if (!GetAttribute(folder, "system.posix_acl_default", acl)) return false;
  if (acl.empty()) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(work, kMode & ~mask) == 0;
  }
  return MaskDefaultAcl(acl, kMode) &&
         ::fsetxattr(work, "system.posix_acl_access", acl.data(), acl.size(),
                     0) == 0;
}

}  // namespace quillmark
