// While alive, the calling thread is subject to file permission checks even
// when running as root (the permission-override capabilities are lowered in
// this thread only). Without them it changes nothing.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tv::test {

class PermissionChecks {
 public:
  PermissionChecks() {
    hdr_.version = _LINUX_CAPABILITY_VERSION_3;
    hdr_.pid = 0;
    if (syscall(SYS_capget, &hdr_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    active_ = syscall(SYS_capset, &hdr_, lowered) == 0;
  }
  ~PermissionChecks() {
    if (active_) syscall(SYS_capset, &hdr_, saved_);
  }
  PermissionChecks(const PermissionChecks&) = delete;
  PermissionChecks& operator=(const PermissionChecks&) = delete;

 private:
  __user_cap_header_struct hdr_{};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

}  // namespace tv::test
